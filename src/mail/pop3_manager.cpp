#include "mail/pop3_manager.h"

#include <algorithm>
#include <cstdarg>
#include <cstdlib>

#include "common/string_mapper.h"
#include "mail/mail_text.h"
#include "mail/reply_line.h"
#include "mail/tcp_line_io.h"
#include "platform/clock.h"

namespace {

// Seconds to give one read: limit, cut to what is left before deadlineMs
// (0: none); 0 when the deadline has passed.
int secondsBefore(int limit, int64_t deadlineMs) {
  if (deadlineMs == 0) return limit;
  int64_t left = deadlineMs - platformClock().monotonicMs();
  if (left <= 0) return 0;
  int64_t seconds = (left + 999) / 1000;
  return seconds < limit ? static_cast<int>(seconds) : limit;
}

FetchEnd endOfRead(int count) {
  if (count == kReadTimedOut) return FetchEnd::TimedOut;
  if (count == kReadInterrupted) return FetchEnd::Interrupted;
  return FetchEnd::Lost;
}

}  // namespace

POP3Manager::POP3Manager() { setName(translate("*POP3 manager")); }

POP3Manager::~POP3Manager() {
  POP3Manager::disconnect();
  clearCache();
}

int POP3Manager::connect(const stringT& host, uint16_t port) {
  const bool tls = security_ == TransportSecurity::Tls;
  if (port == 0) port = tls ? kDefaultTlsPort : kDefaultPort;
  if (int rc = TCPManager::connect(host, port); rc != 0) return rc;
  return tls ? startTls() : 0;
}

int POP3Manager::disconnect() {
  greeted_ = false;
  loggedIn_ = false;
  inStep_ = true;
  return TCPManager::disconnect();
}

int POP3Manager::command(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int rc = vsendFormatted(socket(), format, args);
  va_end(args);
  if (rc != 0) {
    reply_.clear();
    return setStatus(kFailure, translate("*The command is too long to send to the mail server"));
  }
  replyCount_ = readReplyLine(socket(), kReplySeconds, reply_);
  if (replyCount_ < 0) inStep_ = false;
  return 0;
}

stringT POP3Manager::quoted(const std::string& reply) const {
  return stringT(" (") + stringT(printableReply(withoutSecrets(reply, secrets_))) + stringT(")");
}

int POP3Manager::failWithReply(const stringT& message) { return setStatus(kFailure, message + quoted(reply_)); }

int POP3Manager::failUnread(int count, const char* commandName) {
  if (count == kReadTimedOut)
    return setStatus(kFailure, formatMarked("*The mail server did not answer %s within %d seconds", commandName,
                                            kReplySeconds));
  if (count == kReadInterrupted) return setStatus(kFailure, translate("*The download was interrupted"));
  return setStatus(kFailure, translate("*connection lost -- reading failure"));
}

int POP3Manager::login(const stringT& account, const stringT& password) {
  if (!connected()) return setStatus(kFailure, translate("*not connected"));
  if (loggedIn_) return setStatus(kFailure, translate("*already logged in"));
  if (hasLineBreakOrNul(account))
    return setStatus(kFailure,
                     translate("*The e-mail Account name holds a carriage return, line feed or NUL character"));
  if (hasLineBreakOrNul(password))
    return setStatus(kFailure,
                     translate("*The e-mail Account password holds a carriage return, line feed or NUL character"));

  if (int rc = greetAndSecure(); rc != 0) return rc;
  if (!encrypted() && !allowPlaintext_)
    return setStatus(kFailure, formatMarked("*The password for %s would be sent unencrypted, and the settings do not "
                                            "allow that: choose STLS or TLS for this server",
                                            serverName().c_str()));
  if (int rc = authenticate(account, password); rc != 0) return rc;
  if (int rc = command("STAT\r\n"); rc != 0) return rc;
  if (replyCount_ < 0) return failUnread(replyCount_, "STAT");
  if (!positiveReply(reply_)) return failWithReply(translate("failed to get mailbox status"));
  // A count that is negative, too large or missing is not an empty
  // mailbox: the run would take nothing and say nothing.
  if (!scanStatReply(reply_, messageCount_, mailboxSize_))
    return failWithReply(formatMarked("*The mail server %s gave no valid message count and mailbox size in "
                                      "answer to STAT",
                                      serverName().c_str()));
  loggedIn_ = true;
  return setStatus(0);
}

int POP3Manager::greetAndSecure() {
  if (!greeted_) {
    (void)readReplyLine(socket(), kReplySeconds, reply_);
    if (!positiveReply(reply_)) return failWithReply(translate("*greeting failed"));
    greeted_ = true;
  }
  if (security_ != TransportSecurity::StartTls || encrypted()) return 0;
  // Only what CAPA says counts: a server (or a man in the middle) that does
  // not list STLS gets no password.
  Capabilities capabilities;
  if (readCapabilities(capabilities) != 0 && !inStep_) return status();
  if (!capabilities.has("STLS"))
    return setStatus(kFailure, formatMarked("*The mail server %s does not offer STLS, which the settings require; "
                                            "the password was not sent",
                                            serverName().c_str()));
  if (int rc = command("STLS\r\n"); rc != 0) return rc;
  if (!positiveReply(reply_))
    return failWithReply(formatMarked("*The mail server %s refused STLS; the password was not sent",
                                      serverName().c_str()));
  return startTls();
}

int POP3Manager::readCapabilities(Capabilities& out) {
  // The whole list must come within one reply's time and kMaxCapaLines
  // lines: a server that keeps listing (slowly or not) cannot hold the
  // session for longer than one silent reply would.
  out.clear();
  if (int rc = command("CAPA\r\n"); rc != 0) return rc;
  if (replyCount_ < 0) return failUnread(replyCount_, "CAPA");
  if (!positiveReply(reply_)) return kFailure;
  const int64_t deadline = platformClock().monotonicMs() + int64_t(kReplySeconds) * 1000;
  std::string line;
  for (size_t lines = 0;; ++lines) {
    int seconds = secondsBefore(kReplySeconds, deadline);
    int count = seconds > 0 ? readReplyLine(socket(), seconds, line) : kReadTimedOut;
    if (count >= 0 && (line == ".\r\n" || line == ".\n")) return 0;
    if (count < 0 || lines >= kMaxCapaLines) {
      inStep_ = false;
      if (count < 0) return failUnread(count, "CAPA");
      return setStatus(kFailure, formatMarked("*The mail server %s sent more than %d lines in answer to CAPA",
                                              serverName().c_str(), int(kMaxCapaLines)));
    }
    if (lines < Capabilities::kMaxEntries) addPop3Capability(line, out);
  }
}

int POP3Manager::authenticate(const stringT& account, const stringT& password) {
  const std::string user = account.str();
  const std::string secret = password.str();
  secrets_ = {secret};
  switch (loginMethod_) {
    case Pop3Login::Plain:
      secrets_.push_back(saslPlain(user, secret));
      return saslLogin("PLAIN", secrets_.back());
    case Pop3Login::XOAuth2:
      secrets_.push_back(saslXOAuth2(user, secret));
      return saslLogin("XOAUTH2", secrets_.back());
    case Pop3Login::UserPass:
      break;
  }
  if (int rc = command("USER %s\r\n", account.c_str()); rc != 0) return rc;
  if (replyCount_ < 0) return failUnread(replyCount_, "USER");
  if (!positiveReply(reply_))
    return failWithReply(formatMarked("*The mail server is rejecting the e-mail Account name \"%s\". Please verify "
                                      "the account name",
                                      account.c_str()));
  if (int rc = command("PASS %s\r\n", password.c_str()); rc != 0) return rc;
  if (replyCount_ < 0) return failUnread(replyCount_, "PASS");
  if (!positiveReply(reply_))
    return failWithReply(translate("*The mail server is rejecting the e-mail Account password.  Please verify the "
                                   "account password"));
  return 0;
}

int POP3Manager::saslLogin(const char* mechanism, const std::string& response) {
  // The response goes after the server's "+ " prompt rather than on the
  // AUTH line, where POP3 allows only 255 bytes.
  const stringT refused = formatMarked("*The mail server %s refused the %s login", serverName().c_str(), mechanism);
  if (int rc = command("AUTH %s\r\n", mechanism); rc != 0) return rc;
  std::string challenge;
  if (!continuationText(reply_, challenge)) return failWithReply(refused);
  sendBytes(socket(), response + "\r\n");
  if (readReplyLine(socket(), kReplySeconds, reply_) < 0) inStep_ = false;
  if (continuationText(reply_, challenge)) {
    // XOAUTH2 reports a refused token as a challenge holding the error;
    // an empty answer ends the exchange with the final "-ERR".
    sendBytes(socket(), "\r\n");
    if (readReplyLine(socket(), kReplySeconds, reply_) < 0) inStep_ = false;
  }
  if (!positiveReply(reply_)) return failWithReply(refused);
  return 0;
}

int POP3Manager::logout() {
  if (!connected() || !loggedIn_) return setStatus(0);
  if (int rc = command("QUIT\r\n"); rc != 0) return rc;
  if (positiveReply(reply_)) return disconnect();
  return setStatus(0, quoted(reply_));
}

int POP3Manager::collectText(std::string& text, size_t keep, int64_t deadlineMs, TextProgress& progress) {
  // Line ends are CRLF only: a piece that ends in a bare LF leaves the
  // position inside the line, so ".\r\n" after it is data. A CRLF split
  // across two pieces (a 1022-byte piece ending in CR) still ends the line.
  bool lineStart = true;
  char last = '\0';
  for (;;) {
    int count = kReadTimedOut;
    int seconds = secondsBefore(kTextSeconds, deadlineMs);
    std::string_view piece;
    if (readInterrupted())
      count = kReadInterrupted;
    else if (seconds > 0)
      piece = readLine(socket(), count, seconds);
    if (count < 0) {
      inStep_ = false;
      return count;
    }
    if (lineStart && piece == ".\r\n") return 0;
    bool endsLine = piece.size() >= 2 ? piece.substr(piece.size() - 2) == "\r\n" : piece == "\n" && last == '\r';
    last = piece.back();
    if (lineStart && piece[0] == '.') piece.remove_prefix(1);  // dot-unstuffing
    progress.octets += piece.size();
    if (text.size() < keep) {
      size_t before = text.size();
      text.append(piece.substr(0, keep - text.size()));
      if (!progress.headerComplete)
        progress.headerComplete = text.find("\r\n\r\n", before < 3 ? 0 : before - 3) != std::string::npos;
    }
    lineStart = endsLine;
  }
}

int POP3Manager::sendRetrieve(int number) {
  // LIST and RETR go out together (the server answers them in order), which
  // saves a round trip per message.
  if (sendFormatted(socket(), "LIST %d\r\nRETR %d\r\n", number, number) != 0)
    return setStatus(kFailure, translate("*The command is too long to send to the mail server"));
  return 0;
}

int POP3Manager::receiveRetrieve(int number) {
  // When the LIST reply is negative, or names another message than the one
  // asked for, the RETR reply and any text it brings are read and dropped
  // so the session stays in step.
  int listCount = readReplyLine(socket(), kReplySeconds, reply_);
  if (listCount < 0) inStep_ = false;
  int listed = number;
  int size = 0;
  if (positiveReply(reply_)) scanOkNumbers(reply_, listed, size);
  if (!positiveReply(reply_) || listed != number) {
    stringT failure = translate("*failed to list message") + quoted(reply_);
    if (inStep_) dropRetrieveReply();
    return setStatus(kFailure, failure);
  }

  if (int count = readReplyLine(socket(), kReplySeconds, reply_); count < 0) {
    inStep_ = false;
    return failUnread(count, "RETR");
  }
  if (!positiveReply(reply_)) return failWithReply(translate("*failed to retrieve message"));
  std::string text;
  if (size > 0) text.reserve(std::min<size_t>(static_cast<size_t>(size), size_t(1) << 24));
  TextProgress progress;
  if (int count = collectText(text, kMaxMessageBytes, 0, progress); count < 0)
    return count == kReadInterrupted ? failUnread(count, "RETR")
                                     : setStatus(kFailure, translate("*connection lost -- reading failure"));
  if (progress.octets > kMaxMessageBytes)
    return setStatus(kFailure, formatMarked("*The message is larger than %d bytes", int(kMaxMessageBytes)));
  cache_[number] = MailMessage(stringT(std::move(text)));
  return setStatus(0);
}

void POP3Manager::dropRetrieveReply() {
  std::string dropped;
  TextProgress progress;
  if (readReplyLine(socket(), kReplySeconds, dropped) < 0) {
    inStep_ = false;
  } else if (positiveReply(dropped)) {
    dropped.clear();
    (void)collectText(dropped, 0, 0, progress);  // a failure marks the session out of step
  }
}

int POP3Manager::retrieve(int number) {
  if (!loggedIn_) return setStatus(kFailure, translate("*not logged in"));
  if (int rc = sendRetrieve(number); rc != 0) return rc;
  return receiveRetrieve(number);
}

int POP3Manager::retrieveAll() {
  // Up to kRetrieveWindow messages are asked for before the first of them
  // is read, so the server streams instead of waiting for each request.
  // On a failure, the replies to what was already asked for are read and
  // dropped, unless the connection itself failed (nothing more will come,
  // and a hanging server must not hold us once per outstanding command).
  if (!loggedIn_) return setStatus(kFailure, translate("*not logged in"));
  int asked = 0;
  for (int n = 1; n <= messageCount_; ++n) {
    while (asked < messageCount_ && asked < n - 1 + kRetrieveWindow) {
      if (int rc = sendRetrieve(asked + 1); rc != 0) return failAfterDraining(n, asked);
      ++asked;
    }
    if (int rc = receiveRetrieve(n); rc != 0) return failAfterDraining(n + 1, asked);
  }
  return setStatus(0);
}

int POP3Manager::failAfterDraining(int first, int last) {
  stringT failure = message();
  for (int n = first; n <= last && inStep_; ++n) {
    std::string listReply;
    if (readReplyLine(socket(), kReplySeconds, listReply) < 0) {
      inStep_ = false;
      break;
    }
    dropRetrieveReply();
  }
  return setStatus(kFailure, failure);
}

int POP3Manager::getMessage(int number, MailMessage& out) {
  auto it = cache_.find(number);
  if (it == cache_.end()) {
    if (int rc = retrieve(number); rc != 0) return rc;
    it = cache_.find(number);
  }
  out = it->second;
  return setStatus(0);
}

int POP3Manager::deleteMessage(int number) {
  if (!loggedIn_) return setStatus(kFailure, translate("*not logged in"));
  if (int rc = command("DELE %d\r\n", number); rc != 0) return rc;
  if (!positiveReply(reply_)) return failWithReply(translate("*failed to delete message on server"));
  return setStatus(0);
}

int POP3Manager::deleteAll() {
  // Every message was downloaded before deleteAll runs, so a DELE sent
  // after a failing one loses nothing.
  std::vector<int> numbers;
  numbers.reserve(messageCount_ > 0 ? static_cast<size_t>(messageCount_) : 0);
  for (int n = 1; n <= messageCount_; ++n) numbers.push_back(n);
  return deleteMessages(numbers);
}

int POP3Manager::deleteMessages(const std::vector<int>& numbers) {
  // DELE commands go out in batches without waiting for each reply (the
  // replies come back in the same order), which saves a round trip per
  // message. The first negative reply is the result; the replies to the
  // rest of its batch are still read so the session stays in step, and no
  // further batch is sent.
  if (!loggedIn_) return setStatus(kFailure, translate("*not logged in"));
  for (size_t first = 0; first < numbers.size(); first += kDeleteBatch) {
    size_t last = std::min(numbers.size(), first + kDeleteBatch);
    for (size_t i = first; i < last; ++i)
      if (sendFormatted(socket(), "DELE %d\r\n", numbers[i]) != 0)
        return setStatus(kFailure, translate("*The command is too long to send to the mail server"));
    int failure = 0;
    for (size_t i = first; i < last; ++i) {
      int count = readReplyLine(socket(), kReplySeconds, reply_);
      if (count < 0) {
        inStep_ = false;  // the caller closes the connection
        return failure != 0 ? failure : failUnread(count, "DELE");
      }
      if (failure == 0 && !positiveReply(reply_))
        failure = failWithReply(translate("*failed to delete message on server"));
    }
    if (failure != 0) return failure;
  }
  return setStatus(0);
}

int POP3Manager::fetch(int number, const FetchLimits& limits, FetchedMessage& out) {
  out = FetchedMessage();
  if (!loggedIn_) return setStatus(kFailure, translate("*not logged in"));
  if (!inStep_) return setStatus(kFailure, translate("*connection lost -- reading failure"));
  int64_t deadline = limits.messageMs > 0 ? platformClock().monotonicMs() + limits.messageMs : 0;
  const stringT timedOut = formatMarked("*The download of message %d timed out", number);
  auto readFailed = [&](int count) {
    inStep_ = false;
    out.end = endOfRead(count);
    if (out.end == FetchEnd::TimedOut) return setStatus(kFailure, timedOut);
    return failUnread(count, "RETR");
  };
  if (int rc = sendRetrieve(number); rc != 0) return rc;

  int seconds = secondsBefore(kReplySeconds, deadline);
  int count = seconds > 0 ? readReplyLine(socket(), seconds, reply_) : kReadTimedOut;
  if (count < 0) return readFailed(count);
  int listed = number;
  if (positiveReply(reply_)) scanOkNumbers(reply_, listed, out.listedSize);
  if (!positiveReply(reply_) || listed != number) {
    stringT failure = translate("*failed to list message") + quoted(reply_);
    dropRetrieveReply();
    out.end = inStep_ ? FetchEnd::Refused : FetchEnd::Lost;
    return setStatus(kFailure, failure);
  }
  seconds = secondsBefore(kReplySeconds, deadline);
  count = seconds > 0 ? readReplyLine(socket(), seconds, reply_) : kReadTimedOut;
  if (count < 0) return readFailed(count);
  if (!positiveReply(reply_)) {
    out.end = FetchEnd::Refused;
    return failWithReply(translate("*failed to retrieve message"));
  }

  if (out.listedSize > 0) out.text.reserve(std::min<size_t>(static_cast<size_t>(out.listedSize), limits.maxBytes));
  TextProgress progress;
  count = collectText(out.text, limits.maxBytes, deadline, progress);
  out.octets = progress.octets;
  out.headerComplete = progress.headerComplete;
  if (count < 0) {
    int rc = readFailed(count);
    // Only a complete header block is worth keeping from a broken download;
    // a slow one without it keeps what arrived, for a caller that gives up
    // on the message.
    size_t headerEnd = out.text.find("\r\n\r\n");
    if (out.end == FetchEnd::TimedOut && headerEnd != std::string::npos)
      out.text.resize(headerEnd + 4);
    else if (out.end != FetchEnd::TimedOut)
      out.text.clear();
    out.text.shrink_to_fit();
    return rc;
  }
  out.end = progress.octets > limits.maxBytes ? FetchEnd::Cut : FetchEnd::Complete;
  return setStatus(0);
}

int POP3Manager::uniqueIds(std::map<int, std::string>& ids) {
  ids.clear();
  if (!loggedIn_) return setStatus(kFailure, translate("*not logged in"));
  if (int rc = command("UIDL\r\n"); rc != 0) return rc;
  if (replyCount_ < 0) return failUnread(replyCount_, "UIDL");
  if (!positiveReply(reply_)) return failWithReply(translate("*failed to list message"));
  std::string line;
  for (;;) {
    int count = readReplyLine(socket(), kReplySeconds, line);
    if (count < 0) {
      inStep_ = false;
      ids.clear();
      return failUnread(count, "UIDL");
    }
    if (line == ".\r\n" || line == ".\n") return setStatus(0);
    // "n id": an id is 1 to 70 characters from 0x21 to 0x7E.
    size_t space = line.find(' ');
    if (space == std::string::npos || ids.size() >= kMaxUniqueIds) continue;
    long number = std::strtol(line.substr(0, space).c_str(), nullptr, 10);
    std::string id = line.substr(space + 1);
    while (!id.empty() && (id.back() == '\n' || id.back() == '\r' || id.back() == ' ')) id.pop_back();
    bool usable = !id.empty() && id.size() <= 70 &&
                  std::all_of(id.begin(), id.end(), [](char c) { return c > 0x20 && c < 0x7F; });
    if (usable && number >= 1 && number <= messageCount_) ids[static_cast<int>(number)] = id;
  }
}

void POP3Manager::clearCache() {
  cache_.clear();
  messageCount_ = 0;
  mailboxSize_ = 0;
}
