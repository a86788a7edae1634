// Applies the mail security settings (320-349, see common/configurations.h)
// to the POP3 and SMTP clients before a run or a connection test, and gets
// the OAuth access token when a server logs in with XOAUTH2.
//
// A setting that holds a word the clients do not know is an error (the
// run stops before connecting), not "none": a typing error must not turn
// TLS off. Unencrypted passwords are allowed when setting 329 is absent
// (settings files of older versions) or "1".
//
// Errors are translated texts naming the setting or the token endpoint;
// they never hold a password or token.
#pragma once

#include "common/field_map.h"
#include "common/string.h"
#include "mail/oauth_token.h"
#include "mail/pop3_manager.h"
#include "mail/smtp_manager.h"

// The settings of this group as the settings pages show them: number,
// marked label, and the words it takes (nullptr: free text; "secret": a
// password-like value, stored scrambled and never shown back).
struct MailSecuritySetting {
  int number;
  const char* label;
  const char* choices;
};
inline constexpr MailSecuritySetting kMailSecuritySettings[] = {
    {320, "*POP3 security", "none stls tls"},
    {321, "*POP3 login", "user plain xoauth2"},
    {322, "*POP3 certificate pin (SHA-256)", nullptr},
    {323, "*SMTP security", "none starttls tls"},
    {324, "*SMTP login", "none plain login xoauth2"},
    {325, "*SMTP user name", nullptr},
    {326, "*SMTP password", "secret"},
    {327, "*SMTP certificate pin (SHA-256)", nullptr},
    {328, "*Extra trusted certificates (CA file)", nullptr},
    {329, "*Allow passwords over unencrypted connections", "0 1"},
    {330, "*OAuth client id", nullptr},
    {331, "*OAuth client secret", "secret"},
    {332, "*OAuth refresh token", "secret"},
    {333, "*OAuth token URL", nullptr},
    {334, "*OAuth scope", nullptr},
};

bool plaintextPasswordAllowed(const FieldMap& settings);
OAuthSettings oauthSettings(const FieldMap& settings);

// 0, and the secret to log in with (password or access token) in secret;
// or -1 and error.
[[nodiscard]] int setUpPop3(const FieldMap& settings, POP3Manager& pop3, OAuthToken& oauth, stringT& secret,
                            stringT& error);
// 0 (the login is set on smtp), or -1 and error.
[[nodiscard]] int setUpSmtp(const FieldMap& settings, SMTPManager& smtp, OAuthToken& oauth, stringT& error);
