#include "cycle/connection_test.h"

#include "common/configurations.h"
#include "common/string_mapper.h"
#include "cycle/mail_security_setup.h"
#include "mail/mail_text.h"
#include "mail/tcp_line_io.h"
#include "platform/clock.h"

namespace {

const char* securityWord(const stringT& value) {
  TransportSecurity security = TransportSecurity::None;
  (void)parseTransportSecurity(value.view(), security);
  switch (security) {
    case TransportSecurity::StartTls: return "STARTTLS";
    case TransportSecurity::Tls: return "TLS";
    default: return "*no encryption";
  }
}

stringT connecting(const stringT& host, uint16_t port, const stringT& security) {
  stringT how = translate(securityWord(security));
  return port == 0 ? formatMarked("*Connecting to %s, default port (%s)", host.c_str(), how.c_str())
                   : formatMarked("*Connecting to %s:%u (%s)", host.c_str(), unsigned(port), how.c_str());
}

void tlsLine(const TCPManager& client, std::vector<stringT>& lines) {
  if (client.encrypted()) lines.push_back(formatMarked("*TLS established: %s", client.tlsDescription().c_str()));
}

uint16_t port(const FieldMap& s, int number) { return static_cast<uint16_t>(s.getNumber(number) & 0xFFFF); }

// The limits of a run over one test: its deadline (setting 380) and the
// program's stop request, heard in every wait for the server. A test
// that one of them ended says so in its last line.
class TestLimits {
 public:
  TestLimits(const FieldMap& s, const std::function<bool()>& stop)
      : stop_(stop),
        seconds_(s.getNumber(kRunDeadline) > 0 ? s.getNumber(kRunDeadline) : kDefaultRunDeadlineSeconds),
        deadline_(platformClock().monotonicMs() + seconds_ * 1000),
        scope_([this] { return stopped() || pastDeadline(); }) {}

  void explain(std::vector<stringT>& lines) const {
    if (stopped())
      lines.push_back(translate("*The connection test was stopped: the gateway is stopping"));
    else if (pastDeadline())
      lines.push_back(stringT::format(
          translateFormat("*The connection test stopped at its deadline of %ld seconds").c_str(), seconds_));
  }

 private:
  bool stopped() const { return stop_ && stop_(); }
  bool pastDeadline() const { return platformClock().monotonicMs() >= deadline_; }

  std::function<bool()> stop_;
  long seconds_;
  int64_t deadline_;
  ReadInterruptScope scope_;
};

}  // namespace

namespace {

std::vector<stringT> pop3Steps(const FieldMap& s, OAuthToken& oauth) {
  std::vector<stringT> lines;
  POP3Manager pop3;
  stringT secret, problem;
  if (setUpPop3(s, pop3, oauth, secret, problem) != 0) {
    lines.push_back(problem);
    return lines;
  }
  if (s.get(kPop3Server).trim().empty()) {
    lines.push_back(translate("*No POP3 server is set."));
    return lines;
  }
  lines.push_back(connecting(s.get(kPop3Server), port(s, kPop3Port), s.get(kPop3Security)));
  if (pop3.connect(s.get(kPop3Server), port(s, kPop3Port)) != 0) {
    lines.push_back(pop3.message());
    return lines;
  }
  tlsLine(pop3, lines);
  if (pop3.login(s.get(kPop3Account), secret) != 0) {
    tlsLine(pop3, lines);
    lines.push_back(pop3.message());
    pop3.disconnect();
    return lines;
  }
  tlsLine(pop3, lines);
  lines.push_back(
      formatMarked("*Logged in as %s: %d message(s)", s.get(kPop3Account).c_str(), pop3.messageCount()));
  (void)pop3.logout();
  lines.push_back(pop3.connected() ? pop3.message() : translate("*Logged out"));
  pop3.disconnect();
  return lines;
}

std::vector<stringT> smtpSteps(const FieldMap& s, OAuthToken& oauth) {
  std::vector<stringT> lines;
  SMTPManager smtp;
  stringT problem;
  if (setUpSmtp(s, smtp, oauth, problem) != 0) {
    lines.push_back(problem);
    return lines;
  }
  if (s.get(kSmtpServer).trim().empty()) {
    lines.push_back(translate("*No SMTP server is set."));
    return lines;
  }
  lines.push_back(connecting(s.get(kSmtpServer), port(s, kSmtpPort), s.get(kSmtpSecurity)));
  if (smtp.connect(s.get(kSmtpServer), port(s, kSmtpPort)) != 0) {
    lines.push_back(smtp.message());
    return lines;
  }
  tlsLine(smtp, lines);
  SmtpLogin method = SmtpLogin::None;
  (void)parseSmtpLogin(s.get(kSmtpLogin).view(), method);
  lines.push_back(method == SmtpLogin::None ? translate("*Ready to send (no login)")
                                            : formatMarked("*Logged in as %s", s.get(kSmtpUser).c_str()));
  smtp.disconnect();
  lines.push_back(translate("*Logged out"));
  return lines;
}

}  // namespace

std::vector<stringT> testPop3Connection(const FieldMap& s, OAuthToken& oauth, const std::function<bool()>& stop) {
  TestLimits limits(s, stop);
  std::vector<stringT> lines = pop3Steps(s, oauth);
  limits.explain(lines);
  return lines;
}

std::vector<stringT> testSmtpConnection(const FieldMap& s, OAuthToken& oauth, const std::function<bool()>& stop) {
  TestLimits limits(s, stop);
  std::vector<stringT> lines = smtpSteps(s, oauth);
  limits.explain(lines);
  return lines;
}
