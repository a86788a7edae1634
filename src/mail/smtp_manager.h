// SMTPManager: hands the gateway's outgoing mail to one SMTP relay
// (RFC 5321 subset: HELO, RSET, MAIL FROM, RCPT TO, DATA, QUIT).
//
// Session:
//
//   closed --connect--> greeting 220 --HELO 250--> ready   (HELO is skipped
//     ^        |              |                      |      when the local
//     |   other code     other code            send: RSET 250  host name is
//     +--------+--------------+                  MAIL FROM 250   unknown)
//     |                                          RCPT TO (each)
//     +---------------- disconnect: QUIT         DATA 354, text, "." 250
//                                                      |
//                                                  back to ready
//
// A reply is judged by its code alone. Multi-line replies ("250-" lines
// then a "250 " line) are read whole; the code of the last line counts.
// Recipients are walked in order; a 551 reply naming another mailbox in
// "<...>" adds that mailbox to the end of the walk (at most as many
// forwards as there were recipients). A refused recipient goes to the
// caller's failed list and is not a failure of send. The text is sent as
// smtp_data.h makes it: every line end CRLF, no line over 998 octets,
// dot-stuffed, then ".\r\n".
//
// Security: with TLS the handshake runs right after the TCP connect (port
// 465 by default, RFC 8314). With STARTTLS (RFC 3207) connect says EHLO,
// refuses to go on unless STARTTLS is listed, starts TLS and says EHLO
// again, forgetting what the server said before. A login (AUTH PLAIN,
// LOGIN or XOAUTH2, RFC 4954) follows the last EHLO; no secret goes over
// an unencrypted connection unless setAllowPlaintextPassword(true). With
// neither TLS nor a login, connect says HELO exactly as before.
//
// Status: 0 success; 2 "*not connected" and the refusals below; otherwise
// the server's reply code (-1 when no reply could be read), with the
// message "<text>: <reply lines>" (failStatus).
//
// Security: the return address and every recipient are refused before
// anything is sent (status 2) unless each is a whole mailbox address with a
// domain and no space, "<", ">" or control character (envelope_address.h):
// a crafted Reply-To must turn neither into extra SMTP commands nor into
// ESMTP parameters. Forward addresses from 551 replies pass the same check.
// Bare CR and LF in the text become CRLF before dot-stuffing, so text
// cannot end the data early (smtp_data.h). Reply text quoted in a status
// message shows control characters as "\xHH", and never the password or
// a SASL response we sent, even when the server echoes it. A reply is read
// to at most kMaxReplyBytes and kMaxReplyLines lines, all within
// kReplySeconds; a longer or slower one counts as unreadable. A reply that
// could not be read is reported as such (no reply in time, connection
// lost, interrupted), never as a refusal, and closes the connection: the
// session is out of step. For the end of the message text that means the
// server may have taken the message.
//
// Not thread-safe; the connection lives within one acknowledgement run.
#pragma once

#include <string>
#include <vector>

#include "mail/capabilities.h"
#include "mail/mail_security.h"
#include "mail/tcp_manager.h"

class SMTPManager : public TCPManager {
 public:
  static constexpr uint16_t kDefaultPort = 25;
  static constexpr uint16_t kDefaultTlsPort = 465;
  static constexpr int kReplySeconds = 120;
  static constexpr size_t kMaxReplyBytes = 64 * 1024;
  static constexpr size_t kMaxReplyLines = 256;
  static constexpr size_t kHostNameCapacity = 80;

  SMTPManager();
  ~SMTPManager() override;

  // How the next connect protects the session and logs in; secret is the
  // password, or the OAuth access token for XOAUTH2.
  void setSecurity(TransportSecurity security) { security_ = security; }
  void setLogin(SmtpLogin method, const std::string& user, const std::string& secret) {
    loginMethod_ = method;
    user_ = user;
    secret_ = secret;
  }
  void setAllowPlaintextPassword(bool allow) { allowPlaintext_ = allow; }
  const Capabilities& capabilities() const { return capabilities_; }

  // Port 0 means 25 (465 with TLS). Reads the greeting and says HELO, or
  // EHLO with STARTTLS and the login when those are asked for.
  [[nodiscard]] int connect(const stringT& host, uint16_t port) override;
  // QUIT (reply not examined) when connected, then close; returns 0.
  int disconnect() override;

  // Reads one reply; returns its code (-1 when unreadable).
  int readReply();

  // Sends text from returnAddress to recipients. Refused recipients are
  // appended to failed (not cleared first).
  [[nodiscard]] int send(const stringT& returnAddress, std::vector<stringT> recipients, const stringT& text,
                         std::vector<stringT>& failed);

  int lastReplyCode() const { return lastReplyCode_; }
  const std::string& replyText() const { return replyText_; }

 private:
  // Status = last reply code (-1 for a code of 0, which is no reply at all),
  // message = text + ": " + the reply.
  int failStatus(const stringT& text);
  // Sends a command and reads the reply. 0, or a recorded refusal status.
  [[nodiscard]] int command(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // 0 when value can go into "<prefix><value>>\r\n"; else a recorded status.
  [[nodiscard]] int checkValue(const stringT& value, size_t commandLength, const char* marked);
  // 0 when address is a whole mailbox address (envelope_address.h); else status
  // 2 with marked ("...'%s'...%d...") filled with the address and position.
  [[nodiscard]] int checkEnvelope(const stringT& address, const char* marked);
  void sendText(const stringT& text);
  // EHLO, STARTTLS and the login, after the greeting.
  [[nodiscard]] int secureAndLogIn(const std::string& name);
  [[nodiscard]] int ehlo(const std::string& name);
  [[nodiscard]] int logIn();
  // Sends one line that may hold a secret and reads the reply.
  void sendSecretLine(const std::string& line);

  TransportSecurity security_ = TransportSecurity::None;
  SmtpLogin loginMethod_ = SmtpLogin::None;
  std::string user_;
  std::string secret_;
  bool allowPlaintext_ = true;
  Capabilities capabilities_;

  int lastReplyCode_ = -1;
  // How the last reply read ended when it could not be read: kReadTimedOut,
  // kReadInterrupted, kReadFailed (tcp_line_io.h) or kReplyTooLong; 0 when
  // it was read.
  static constexpr int kReplyTooLong = -100;
  int lastRead_ = 0;
  // What this session sent that must not show in a message: the password
  // or token and the SASL responses holding it (reply_line.h).
  std::vector<std::string> secrets_;
  std::string replyText_;
};
