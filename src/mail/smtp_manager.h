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
// Status: 0 success; 2 "*not connected" and the refusals below; otherwise
// the server's reply code (-1 when no reply could be read), with the
// message "<text>: <reply lines>" (failStatus).
//
// Security: the return address and every recipient are refused before
// anything is sent (status 2) unless each is a whole addr-spec with a
// domain and no space, "<", ">" or control character (envelope_address.h):
// a crafted Reply-To must turn neither into extra SMTP commands nor into
// ESMTP parameters. Forward addresses from 551 replies pass the same check.
// Bare CR and LF in the text become CRLF before dot-stuffing, so text
// cannot end the data early (smtp_data.h). Reply text quoted in a status
// message shows control characters as "\xHH". A reply is read to at most
// kMaxReplyBytes; a longer one counts as unreadable.
//
// Not thread-safe; the connection lives within one acknowledgement run.
#pragma once

#include <string>
#include <vector>

#include "mail/tcp_manager.h"

class SMTPManager : public TCPManager {
 public:
  static constexpr uint16_t kDefaultPort = 25;
  static constexpr int kReplySeconds = 120;
  static constexpr size_t kMaxReplyBytes = 64 * 1024;
  static constexpr size_t kHostNameCapacity = 80;

  SMTPManager();
  ~SMTPManager() override;

  // Port 0 means 25. Reads the greeting and says HELO.
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
  // 0 when address is a whole addr-spec (envelope_address.h); else status
  // 2 with marked ("...'%s'...%d...") filled with the address and position.
  [[nodiscard]] int checkEnvelope(const stringT& address, const char* marked);
  void sendText(const stringT& text);

  int lastReplyCode_ = -1;
  std::string replyText_;
};
