// "Test connection" for the settings pages: connects to the POP3 or SMTP
// server of the settings, starts TLS, logs in and quits, and tells each
// step as one line of text, so the operator sees where it stops.
//
//   POP3   "Connecting to pop.example.com:995 (TLS)"
//          "TLS established: TLSv1.3 TLS_AES_256_GCM_SHA384"
//          "Logged in as gateway@example.com: 3 message(s)"
//          "Logged out"
//
// Settings that the set-up refuses give its one line; settings without a
// server name give "No POP3 server is set." (or SMTP). Neither reaches
// anyone.
//
// Nothing is downloaded, deleted or sent: POP3 quits right after STAT
// (nothing was marked deleted), SMTP right after its login. A failing step
// is the last line, with the client's message (which names the server,
// and for a certificate problem, its fingerprint). No line ever holds a
// password or token.
//
// Limits: those of a run. Every wait for the server (connect, TLS
// handshake, each reply) hears the stop request and the run's deadline
// (setting 380); a test they end says so in its last line. A CAPA or EHLO
// reply is bounded in lines and time by the clients themselves.
//
// Runs on the gateway thread (it uses the clients' shared line buffers
// and the OAuth token of the cycle).
#pragma once

#include <functional>
#include <vector>

#include "common/field_map.h"
#include "common/string.h"
#include "mail/oauth_token.h"

// stop: the program's stop request (may be empty).
std::vector<stringT> testPop3Connection(const FieldMap& settings, OAuthToken& oauth,
                                        const std::function<bool()>& stop = {});
std::vector<stringT> testSmtpConnection(const FieldMap& settings, OAuthToken& oauth,
                                        const std::function<bool()>& stop = {});
