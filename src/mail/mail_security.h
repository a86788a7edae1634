// How the gateway protects its mail connections, per server: the transport
// (plain, upgraded with STLS/STARTTLS, or TLS from the first byte) and the
// way it logs in. Settings hold these as words; parse* read them
// (case ignored, surrounding blanks ignored) and give false for a word
// they do not know, so that a typing error is reported, not taken for
// "none".
#pragma once

#include <string_view>

enum class TransportSecurity { None, StartTls, Tls };
// POP3: USER/PASS (RFC 1939), SASL PLAIN or XOAUTH2 (RFC 5034).
enum class Pop3Login { UserPass, Plain, XOAuth2 };
// SMTP: no login, or SASL PLAIN, LOGIN or XOAUTH2 (RFC 4954).
enum class SmtpLogin { None, Plain, Login, XOAuth2 };

// "" and "none" | "starttls" or "stls" | "tls" (also "ssl").
bool parseTransportSecurity(std::string_view word, TransportSecurity& out);
// "" and "user" or "password" | "plain" | "xoauth2".
bool parsePop3Login(std::string_view word, Pop3Login& out);
// "" and "none" | "plain" | "login" | "xoauth2".
bool parseSmtpLogin(std::string_view word, SmtpLogin& out);
