#include "mail/smtp_manager.h"

#include <cstdarg>

#include "common/string_mapper.h"
#include "common/base64.h"
#include "mail/envelope_address.h"
#include "mail/mail_text.h"
#include "mail/reply_line.h"
#include "mail/smtp_data.h"
#include "mail/tcp_line_io.h"
#include "platform/clock.h"
#include "platform/socket.h"

namespace {

// "MAIL FROM:<>\r\n" and "RCPT TO:<>\r\n" without the address.
constexpr size_t kMailFromLength = 14;
constexpr size_t kRcptToLength = 12;

// The address between the first "<" and the next ">" of a reply.
std::string forwardAddress(const std::string& reply) {
  size_t open = reply.find('<');
  if (open == std::string::npos) return {};
  size_t close = reply.find('>', open + 1);
  if (close == std::string::npos) return {};
  return reply.substr(open + 1, close - open - 1);
}

}  // namespace

SMTPManager::SMTPManager() { setName(translate("*SMTP manager")); }

SMTPManager::~SMTPManager() { SMTPManager::disconnect(); }

int SMTPManager::readReply() {
  // A multi-line reply must end within one reply's time and kMaxReplyLines
  // lines, or it counts as unreadable: a server that keeps sending "250-"
  // lines cannot hold the session longer than a silent one.
  lastReplyCode_ = -1;
  lastRead_ = 0;
  replyText_.clear();
  const int64_t deadline = platformClock().monotonicMs() + int64_t(kReplySeconds) * 1000;
  int code = -1;
  for (size_t lines = 0;; ++lines) {
    int64_t left = deadline - platformClock().monotonicMs();
    if (left <= 0 || lines >= kMaxReplyLines) {
      lastRead_ = left <= 0 ? kReadTimedOut : kReplyTooLong;
      return lastReplyCode_ = -1;
    }
    std::string line;
    int count = readReplyLine(socket(), static_cast<int>((left + 999) / 1000), line);
    if (replyText_.size() + line.size() > kMaxReplyBytes) {
      lastRead_ = kReplyTooLong;
      return lastReplyCode_ = -1;
    }
    replyText_ += line;
    if (count <= 0) {
      lastRead_ = count < 0 ? count : kReadFailed;
      return lastReplyCode_ = -1;
    }
    char next = '\0';
    if (scanReplyCode(line, code, next) == 2 && next == '-') continue;
    return lastReplyCode_ = code;
  }
}

int SMTPManager::failStatus(const stringT& text) {
  int code = lastReplyCode_ == 0 ? -1 : lastReplyCode_;
  stringT reply(printableReply(withoutSecrets(replyText_, secrets_)));
  if (lastRead_ == 0) return setStatus(code, text + stringT(": ") + reply);
  // No whole reply: what the server sends next would be taken for the
  // reply to our next command, so the session ends here.
  stringT why = lastRead_ == kReadTimedOut       ? formatMarked("*no reply within %d seconds", kReplySeconds)
                : lastRead_ == kReadInterrupted ? translate("*the wait for the reply was interrupted")
                : lastRead_ == kReplyTooLong    ? translate("*the reply was too long")
                                                : translate("*the connection was lost");
  if (!reply.empty()) why += stringT(" (") + reply + stringT(")");
  closeSocket();
  return setStatus(code, text + stringT(": ") + why);
}

int SMTPManager::command(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int rc = vsendFormatted(socket(), format, args);
  va_end(args);
  if (rc != 0) return setStatus(kFailure, translate("*The command is too long to send to the mail server"));
  readReply();
  return 0;
}

int SMTPManager::connect(const stringT& host, uint16_t port) {
  const bool tls = security_ == TransportSecurity::Tls;
  if (port == 0) port = tls ? kDefaultTlsPort : kDefaultPort;
  capabilities_.clear();
  secrets_.clear();
  if (int rc = TCPManager::connect(host, port); rc != 0) return rc;
  if (tls)
    if (int rc = startTls(); rc != 0) return rc;
  if (readReply() != 220) {
    closeSocket();
    return failStatus(formatMarked("*The server \"%s\" is not ready to provide service", host.c_str()));
  }
  std::string name;
  const bool named = platformSockets().localHostName(name, kHostNameCapacity) == 0;
  if (security_ != TransportSecurity::None || loginMethod_ != SmtpLogin::None) {
    if (int rc = secureAndLogIn(named && !name.empty() ? name : "localhost"); rc != 0) {
      closeSocket();
      return rc;
    }
    return setStatus(0);
  }
  if (!named) return setStatus(0);
  if (int rc = command("HELO %s\r\n", name.c_str()); rc != 0) {
    closeSocket();
    return rc;
  }
  if (lastReplyCode_ != 250) {
    closeSocket();
    return failStatus(translate("*HELO protocol failed"));
  }
  return setStatus(0);
}

int SMTPManager::ehlo(const std::string& name) {
  if (int rc = command("EHLO %s\r\n", name.c_str()); rc != 0) return rc;
  if (lastReplyCode_ != 250) return failStatus(translate("*EHLO protocol failed"));
  capabilities_ = ehloCapabilities(replyText_);
  return 0;
}

int SMTPManager::secureAndLogIn(const std::string& name) {
  if (int rc = ehlo(name); rc != 0) return rc;
  if (security_ == TransportSecurity::StartTls) {
    if (!capabilities_.has("STARTTLS"))
      return setStatus(kFailure, formatMarked("*The mail server %s does not offer STARTTLS, which the settings "
                                              "require; the password was not sent",
                                              serverName().c_str()));
    if (int rc = command("STARTTLS\r\n"); rc != 0) return rc;
    if (lastReplyCode_ != 220)
      return failStatus(formatMarked("*The mail server %s refused STARTTLS; the password was not sent",
                                     serverName().c_str()));
    if (int rc = startTls(); rc != 0) return rc;
    // What the server said before TLS may have been forged: ask again.
    capabilities_.clear();
    if (int rc = ehlo(name); rc != 0) return rc;
  }
  return logIn();
}

void SMTPManager::sendSecretLine(const std::string& line) {
  if (size_t blank = line.rfind(' '); blank != std::string::npos) secrets_.push_back(line.substr(blank + 1));
  else secrets_.push_back(line);
  sendBytes(socket(), line + "\r\n");
  readReply();
}

int SMTPManager::logIn() {
  if (loginMethod_ == SmtpLogin::None) return 0;
  const char* mechanism = loginMethod_ == SmtpLogin::Plain   ? "PLAIN"
                          : loginMethod_ == SmtpLogin::Login ? "LOGIN"
                                                             : "XOAUTH2";
  if (!encrypted() && !allowPlaintext_)
    return setStatus(kFailure, formatMarked("*The password for %s would be sent unencrypted, and the settings do not "
                                            "allow that: choose STARTTLS or TLS for this server",
                                            serverName().c_str()));
  if (hasLineBreakOrNul(stringT(user_)) || hasLineBreakOrNul(stringT(secret_)))
    return setStatus(kFailure, translate("*The SMTP user name or password holds a carriage return, line feed or NUL "
                                         "character"));
  if (!capabilities_.offers(mechanism))
    return setStatus(kFailure, formatMarked("*The mail server %s does not offer the %s login", serverName().c_str(),
                                            mechanism));
  const stringT refused =
      formatMarked("*The mail server %s refused the %s login of \"%s\"", serverName().c_str(), mechanism, user_.c_str());
  secrets_.push_back(secret_);
  switch (loginMethod_) {
    case SmtpLogin::Plain:
      sendSecretLine("AUTH PLAIN " + saslPlain(user_, secret_));
      break;
    case SmtpLogin::Login:
      if (int rc = command("AUTH LOGIN\r\n"); rc != 0) return rc;
      if (lastReplyCode_ != 334) return failStatus(refused);
      sendSecretLine(base64Encode(user_));
      if (lastReplyCode_ != 334) return failStatus(refused);
      sendSecretLine(base64Encode(secret_));
      break;
    default:
      sendSecretLine("AUTH XOAUTH2 " + saslXOAuth2(user_, secret_));
      // A refused token comes back as a 334 challenge holding the error;
      // an empty line ends the exchange with the final code.
      if (lastReplyCode_ == 334) sendSecretLine("");
      break;
  }
  if (lastReplyCode_ != 235) return failStatus(refused);
  return 0;
}

int SMTPManager::disconnect() {
  if (connected() && sendFormatted(socket(), "QUIT\r\n") == 0) readReply();
  return TCPManager::disconnect();
}

int SMTPManager::checkValue(const stringT& value, size_t commandLength, const char* marked) {
  if (hasLineBreakOrNul(value) || value.length() + commandLength > kLineBufferSize - 1)
    return setStatus(kFailure, translate(marked));
  return 0;
}

int SMTPManager::checkEnvelope(const stringT& address, const char* marked) {
  int position = envelopeAddressFault(address);
  if (position == -1) return 0;
  return setStatus(kFailure, stringT::format(translateFormat(marked).c_str(), printableReply(address.view()).c_str(),
                                             position));
}

void SMTPManager::sendText(const stringT& text) { sendBytes(socket(), smtpDataBytes(text.view())); }

int SMTPManager::send(const stringT& returnAddress, std::vector<stringT> recipients, const stringT& text,
                      std::vector<stringT>& failed) {
  if (!connected()) return setStatus(kFailure, translate("*not connected"));
  const char* badReturn = "*The return e-mail address holds a line break or NUL character, or is too long";
  const char* badRecipient = "*An e-mail recipient holds a line break or NUL character, or is too long";
  if (int rc = checkValue(returnAddress, kMailFromLength, badReturn); rc != 0) return rc;
  for (const stringT& r : recipients)
    if (int rc = checkValue(r, kRcptToLength, badRecipient); rc != 0) return rc;
  // Only whole addresses go into the envelope: "x> NOTIFY=NEVER" in a
  // Reply-To must not become ESMTP parameters, nor "root" a local user.
  if (int rc = checkEnvelope(returnAddress, "*The return e-mail address '%s' is not a whole e-mail address "
                                            "(position %d); nothing was sent");
      rc != 0)
    return rc;
  for (const stringT& r : recipients)
    if (int rc = checkEnvelope(r, "*The e-mail recipient '%s' is not a whole e-mail address (position %d); nothing "
                                  "was sent");
        rc != 0)
      return rc;

  if (int rc = command("RSET\r\n"); rc != 0) return rc;
  if (lastReplyCode_ != 250) return failStatus(translate("*Can't reset server states"));
  if (int rc = command("MAIL FROM:<%s>\r\n", returnAddress.c_str()); rc != 0) return rc;
  const stringT mailFromFailed =
      formatMarked("*Can't initiate send; return e-mail address \"%s\" may be malformed", returnAddress.c_str());
  // A reply that never came says nothing about the address.
  if (lastReplyCode_ != 250)
    return failStatus(lastRead_ != 0 ? translate("*The mail server did not answer MAIL FROM") : mailFromFailed);

  const size_t initial = recipients.size();
  size_t forwards = 0;
  int accepted = 0;
  for (size_t i = 0; i < recipients.size(); ++i) {
    const stringT recipient = recipients[i];
    if (int rc = command("RCPT TO:<%s>\r\n", recipient.c_str()); rc != 0) return rc;
    if (lastRead_ != 0) return failStatus(translate("*The mail server did not answer RCPT TO"));
    if (lastReplyCode_ == 250 || lastReplyCode_ == 251) {
      ++accepted;
      continue;
    }
    if (lastReplyCode_ == 551 && forwards < initial) {
      stringT forward(forwardAddress(replyText_));
      if (!forward.empty() && envelopeAddressFault(forward) == -1) {
        recipients.push_back(forward);
        ++forwards;
        continue;
      }
    }
    // Refused, or a 551 whose forward cannot be followed: the mail does not
    // reach this recipient, so the caller hears of it.
    failed.push_back(recipient);
  }
  if (accepted == 0) return failStatus(translate("*Invalid e-mail recipient(s)"));

  if (int rc = command("DATA\r\n"); rc != 0) return rc;
  if (lastReplyCode_ != 354) return failStatus(translate("*server did not give friendly response to DATA command"));
  sendText(text);
  if (readReply() != 250)
    return failStatus(lastRead_ != 0 ? translate("*The mail server did not confirm the message; it may have "
                                                 "accepted it, and the notice goes out again with the next run")
                                     : mailFromFailed);
  return setStatus(0);
}
