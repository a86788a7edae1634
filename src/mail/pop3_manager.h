// POP3Manager: downloads and deletes the gateway's mailbox (RFC 1939,
// commands USER, PASS, STAT, LIST, RETR, DELE and QUIT; CAPA and STLS of
// RFC 2449/2595 and AUTH of RFC 5034 when the settings ask for them).
//
// Session states (TCPManager::connect opens, login walks the rest):
//
//   closed --connect [+ TLS handshake]--> connected --greeting "+OK"--> greeted
//     ^                                                  |
//     |                        [CAPA lists STLS, STLS "+OK", TLS handshake]
//     |                          USER, PASS (or AUTH), STAT all "+OK"
//     |                                                  v
//     +---- disconnect (no QUIT) / logout "+OK" ---- logged in
//                                                  LIST n, RETR n -> cache
//                                                  DELE n
//
// A failed USER or PASS leaves the session greeted (and encrypted): the
// next login starts again at USER without reading a greeting. logout answered negatively
// keeps the session as it is (status 0, the reply as message). No failure
// closes the connection by itself; the caller decides (the retrieval run
// calls disconnect, which sends no QUIT, so the server keeps every
// message).
//
// Two ways to download:
//
//   retrieveAll / getMessage   messages cached by number until clearCache:
//                              retrieveAll downloads 1..count before anything
//                              is deleted (kRetrieveWindow messages are asked
//                              for ahead of the one read).
//   fetch(n, limits)           one message at a time, not cached, for a
//                              caller that stores each before the next: at
//                              most limits.maxBytes are kept (the rest is
//                              read and dropped, so memory is bounded by the
//                              limit, not by the mailbox), and the download
//                              may be given a time limit of its own.
//
// deleteAll and deleteMessages send DELE in batches of kDeleteBatch before
// reading their replies; on a failure the outstanding replies are still
// read, so the session never falls out of step.
//
// Message text: a line ends at CRLF only. The text ends at a line that is
// exactly ".\r\n" after a CRLF (or at the very start); a bare LF inside a
// line is data, so "\n.\r\n" in a message cannot end it early and let its
// tail pass for replies. A dot that starts a line is removed
// (dot-unstuffing); lines keep their "\r\n".
//
// A read that fails, times out or is interrupted (tcp_line_io.h) leaves the
// session out of step (inStep() false): the server may still be sending,
// so the only way on is disconnect.
//
// Security (setSecurity): with TLS the handshake runs right after the TCP
// connect (port 995 by default); with STLS (RFC 2595) login asks CAPA after
// the greeting, refuses to go on unless STLS is listed, sends STLS and
// starts TLS before anything else. The CAPA list may have at most
// kMaxCapaLines lines, all within one reply's time. Login then sends USER/PASS, or SASL
// PLAIN or XOAUTH2 (RFC 5034, the response after the "+ " prompt, so a
// long OAuth token is never cut). No secret is sent on an unencrypted
// connection unless setAllowPlaintextPassword(true); the refusal names the
// server. A STLS or TLS failure closes the connection.
//
// Status: 0 success, 2 every failure. Messages quoting the server end with
// " (reply)", the reply line as received with its line ending and every
// other control character shown as "\xHH" (reply_line.h), so a server
// cannot write raw bytes into the diagnostic file; the password and the
// SASL response of the login are hidden in it, should the server echo
// them. A STAT reply that is not two unsigned numbers, or whose count does
// not fit, fails the login: it is not an empty mailbox. A reply that does not
// come at all is reported as a timeout or a lost connection, never as a
// refusal. Reply lines have 60 s, each line of message text 10 s.
//
// Security: the account name and password are refused (status 2, nothing
// sent) when they hold a carriage return, line feed or NUL, which would
// otherwise end the command early and smuggle in another one; a command
// longer than the send buffer is refused, never cut. Nothing the server
// sends is trusted: counts are read without overflow, reply lines are read
// to their end, and one cached message may be at most kMaxMessageBytes
// long (fetch keeps at most its limit).
//
// Not thread-safe; one retrieval run at a time.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "mail/capabilities.h"
#include "mail/mail_message.h"
#include "mail/mail_security.h"
#include "mail/tcp_manager.h"

// How fetch() ended.
enum class FetchEnd {
  Complete,     // the whole message (status 0)
  Cut,          // larger than maxBytes: its first maxBytes kept (status 0)
  Refused,      // LIST or RETR answered negatively; the session is in step
  TimedOut,     // a time limit ran out mid-download; session out of step
  Lost,         // the connection failed; session out of step
  Interrupted,  // the read interrupt stopped it; session out of step
};

struct FetchLimits {
  size_t maxBytes = size_t(25) << 20;  // text kept
  int64_t messageMs = 0;               // whole download; 0 = no limit
};

struct FetchedMessage {
  std::string text;             // dot-unstuffed text kept (see FetchEnd)
  FetchEnd end = FetchEnd::Lost;
  bool headerComplete = false;  // text holds the empty line ending the header
  size_t octets = 0;            // text octets received, kept or not
  int listedSize = 0;           // size from the LIST reply
};

class POP3Manager : public TCPManager {
 public:
  static constexpr uint16_t kDefaultPort = 110;
  static constexpr uint16_t kDefaultTlsPort = 995;
  static constexpr int kReplySeconds = 60;
  static constexpr int kTextSeconds = 10;
  static constexpr size_t kMaxMessageBytes = size_t(256) << 20;
  // DELE commands sent before their replies are read (deleteAll).
  static constexpr int kDeleteBatch = 32;
  // Messages asked for (LIST n, RETR n) before their replies are read
  // (retrieveAll).
  static constexpr int kRetrieveWindow = 8;
  // Lines of a CAPA reply read before the server is taken for hostile.
  static constexpr size_t kMaxCapaLines = 256;

  POP3Manager();
  ~POP3Manager() override;

  // How the next connect and login protect the session.
  void setSecurity(TransportSecurity security) { security_ = security; }
  void setLoginMethod(Pop3Login method) { loginMethod_ = method; }
  void setAllowPlaintextPassword(bool allow) { allowPlaintext_ = allow; }
  TransportSecurity security() const { return security_; }

  // Port 0 means 110 (995 with TLS). With TLS, the handshake follows.
  [[nodiscard]] int connect(const stringT& host, uint16_t port) override;
  // Clears greeted and logged in, closes without QUIT; returns 0.
  int disconnect() override;

  // password is the OAuth access token for XOAUTH2.
  [[nodiscard]] int login(const stringT& account, const stringT& password);
  [[nodiscard]] int logout();
  [[nodiscard]] int retrieve(int number);
  [[nodiscard]] int retrieveAll();
  // From the cache, downloading the message first when it is not there.
  [[nodiscard]] int getMessage(int number, MailMessage& out);
  [[nodiscard]] int deleteMessage(int number);
  [[nodiscard]] int deleteAll();
  // DELE for each number, in batches; the first refusal is the result.
  [[nodiscard]] int deleteMessages(const std::vector<int>& numbers);

  // Downloads message number without caching it. Status 0 for Complete and
  // Cut; 2 otherwise, with the reason as message. For TimedOut, text holds
  // the header block (through its empty line) when it was complete, else
  // what arrived (headerComplete false); for the other failures nothing.
  [[nodiscard]] int fetch(int number, const FetchLimits& limits, FetchedMessage& out);

  // UIDL (RFC 1939): ids[n] is message n's unique id, for the messages the
  // server gave a usable one (at most kMaxUniqueIds, whatever it sends). A
  // server without UIDL answers negatively: status 2, the session still in
  // step, ids empty.
  static constexpr size_t kMaxUniqueIds = 1000000;
  [[nodiscard]] int uniqueIds(std::map<int, std::string>& ids);

  int messageCount() const { return messageCount_; }
  int mailboxSize() const { return mailboxSize_; }
  bool greeted() const { return greeted_; }
  bool loggedIn() const { return loggedIn_; }
  bool inStep() const { return inStep_; }
  size_t cachedCount() const { return cache_.size(); }
  // Empties the cache; count and size become 0.
  void clearCache();

 private:
  // Sends a command and reads its reply line into reply_. Returns 0, or a
  // failure status already recorded (command refused).
  [[nodiscard]] int command(const char* format, ...) __attribute__((format(printf, 2, 3)));
  [[nodiscard]] int failWithReply(const stringT& message);
  // " (reply)" as a message quotes it: control characters escaped, our
  // secrets hidden (reply_line.h).
  stringT quoted(const std::string& reply) const;
  // Reads the greeting when not yet greeted; then STLS when asked for.
  [[nodiscard]] int greetAndSecure();
  [[nodiscard]] int readCapabilities(Capabilities& out);
  [[nodiscard]] int authenticate(const stringT& account, const stringT& password);
  [[nodiscard]] int saslLogin(const char* mechanism, const std::string& response);
  // The failure of a reply that could not be read (count < 0), after
  // command: a timeout, a lost connection or an interrupt.
  [[nodiscard]] int failUnread(int count, const char* commandName);
  struct TextProgress {
    size_t octets = 0;
    bool headerComplete = false;
  };
  // Reads message text to its terminator, keeping at most keep bytes in
  // text. 0 at the terminator, or the negative read count of the failure
  // (kReadTimedOut also when deadlineMs, if not 0, has passed).
  [[nodiscard]] int collectText(std::string& text, size_t keep, int64_t deadlineMs, TextProgress& progress);
  [[nodiscard]] int sendRetrieve(int number);
  [[nodiscard]] int receiveRetrieve(int number);
  // Reads and drops a RETR reply and its text.
  void dropRetrieveReply();
  // Reads and drops the LIST and RETR replies of messages first..last,
  // already asked for (stopping when the session is out of step), and
  // returns the failure recorded before.
  [[nodiscard]] int failAfterDraining(int first, int last);

  TransportSecurity security_ = TransportSecurity::None;
  Pop3Login loginMethod_ = Pop3Login::UserPass;
  bool allowPlaintext_ = true;
  bool greeted_ = false;
  bool loggedIn_ = false;
  int mailboxSize_ = 0;
  int messageCount_ = 0;
  std::map<int, MailMessage> cache_;
  std::string reply_;
  // The password or token and the SASL response of the last login: hidden
  // wherever a reply is quoted, should the server echo them.
  std::vector<std::string> secrets_;
  int replyCount_ = 0;  // readReplyLine result of the last command
  // False once a read failed or a text was abandoned half-way: what the
  // server sends next no longer matches the commands, so no reply is
  // waited for any more.
  bool inStep_ = true;
};
