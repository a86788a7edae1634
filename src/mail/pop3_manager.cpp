#include "mail/pop3_manager.h"

#include <algorithm>
#include <cstdarg>

#include "common/string_mapper.h"
#include "mail/mail_text.h"
#include "mail/reply_line.h"
#include "mail/tcp_line_io.h"

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
  (void)readReplyLine(socket(), kReplySeconds, reply_);
  return 0;
}

int POP3Manager::failWithReply(const stringT& message) {
  return setStatus(kFailure, message + stringT(" (") + stringT(reply_) + stringT(")"));
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
  if (!positiveReply(reply_)) return failWithReply(translate("failed to get mailbox status"));
  scanOkNumbers(reply_, messageCount_, mailboxSize_);
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
  if (readCapabilities(capabilities) != 0 || !capabilities.has("STLS"))
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
  out.clear();
  if (int rc = command("CAPA\r\n"); rc != 0) return rc;
  if (!positiveReply(reply_)) return kFailure;
  std::string line;
  for (size_t lines = 0;; ++lines) {
    if (readReplyLine(socket(), kReplySeconds, line) < 0) {
      inStep_ = false;
      return kFailure;
    }
    if (line == ".\r\n" || line == ".\n") return 0;
    if (lines < Capabilities::kMaxEntries) addPop3Capability(line, out);
  }
}

int POP3Manager::authenticate(const stringT& account, const stringT& password) {
  const std::string user = account.str();
  const std::string secret = password.str();
  switch (loginMethod_) {
    case Pop3Login::Plain:
      return saslLogin("PLAIN", saslPlain(user, secret));
    case Pop3Login::XOAuth2:
      return saslLogin("XOAUTH2", saslXOAuth2(user, secret));
    case Pop3Login::UserPass:
      break;
  }
  if (int rc = command("USER %s\r\n", account.c_str()); rc != 0) return rc;
  if (!positiveReply(reply_))
    return failWithReply(formatMarked("*The mail server is rejecting the e-mail Account name \"%s\". Please verify "
                                      "the account name",
                                      account.c_str()));
  if (int rc = command("PASS %s\r\n", password.c_str()); rc != 0) return rc;
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
  return setStatus(0, stringT(" (") + stringT(reply_) + stringT(")"));
}

int POP3Manager::collectText(std::string& text) {
  bool lineStart = true;
  for (;;) {
    int count = 0;
    std::string_view piece = readLine(socket(), count, kTextSeconds);
    if (count < 0) {
      inStep_ = false;
      return setStatus(kFailure, translate("*connection lost -- reading failure"));
    }
    if (lineStart && piece == ".\r\n") return 0;
    bool endsLine = !piece.empty() && piece.back() == '\n';
    if (lineStart && !piece.empty() && piece[0] == '.') piece.remove_prefix(1);  // dot-unstuffing
    if (text.size() + piece.size() > kMaxMessageBytes) {
      inStep_ = false;  // the rest of the text is still on its way
      return setStatus(kFailure, formatMarked("*The message is larger than %d bytes", int(kMaxMessageBytes)));
    }
    text.append(piece);
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
    stringT failure = translate("*failed to list message") + stringT(" (") + stringT(reply_) + stringT(")");
    if (inStep_) dropRetrieveReply();
    return setStatus(kFailure, failure);
  }

  if (readReplyLine(socket(), kReplySeconds, reply_) < 0) inStep_ = false;
  if (!positiveReply(reply_)) return failWithReply(translate("*failed to retrieve message"));
  std::string text;
  if (size > 0) text.reserve(std::min<size_t>(static_cast<size_t>(size), size_t(1) << 24));
  if (int rc = collectText(text); rc != 0) return rc;
  cache_[number] = MailMessage(stringT(std::move(text)));
  return setStatus(0);
}

void POP3Manager::dropRetrieveReply() {
  std::string dropped;
  if (readReplyLine(socket(), kReplySeconds, dropped) < 0) {
    inStep_ = false;
  } else if (positiveReply(dropped) && collectText(dropped) != 0) {
    inStep_ = false;
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
  // DELE commands go out in batches without waiting for each reply (the
  // replies come back in the same order), which saves a round trip per
  // message. The first negative reply is the result; the replies to the
  // rest of its batch are still read so the session stays in step, and no
  // further batch is sent. Every message was downloaded before deleteAll
  // runs, so a DELE sent after the failing one loses nothing.
  if (!loggedIn_) return setStatus(kFailure, translate("*not logged in"));
  for (int first = 1; first <= messageCount_; first += kDeleteBatch) {
    int last = first + kDeleteBatch - 1 < messageCount_ ? first + kDeleteBatch - 1 : messageCount_;
    for (int n = first; n <= last; ++n)
      if (sendFormatted(socket(), "DELE %d\r\n", n) != 0)
        return setStatus(kFailure, translate("*The command is too long to send to the mail server"));
    int failure = 0;
    for (int n = first; n <= last; ++n) {
      int count = readReplyLine(socket(), kReplySeconds, reply_);
      if (failure == 0 && !positiveReply(reply_))
        failure = failWithReply(translate("*failed to delete message on server"));
      if (count < 0) break;  // out of step: the caller closes the connection
    }
    if (failure != 0) return failure;
  }
  return setStatus(0);
}

void POP3Manager::clearCache() {
  cache_.clear();
  messageCount_ = 0;
  mailboxSize_ = 0;
}
