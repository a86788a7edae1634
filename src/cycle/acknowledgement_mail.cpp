#include "cycle/acknowledgement_mail.h"

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "common/configurations.h"
#include "mail/address.h"
#include "mail/mail_message.h"
#include "mail/mime_encoding.h"
#include "platform/process_environment.h"

namespace {

const char* const kNl = "\r\n";

Recipient splitRecipient(const stringT& value) {
  auto [name, address] = splitAddress(value);
  return {name, address.empty() ? value : address};
}

bool isControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

bool plainHost(std::string_view host) {
  if (host.empty() || host.size() > 253) return false;
  for (char c : host) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
    if (!ok) return false;
  }
  return host.front() != '.' && host.back() != '.';
}

std::atomic<unsigned> messageSequence{0};

}  // namespace

Recipient chooseRecipient(const MailMessage& message, const FieldMap* account) {
  stringT replyTo = message.header("reply-to");
  if (!replyTo.empty()) return splitRecipient(replyTo);
  if (account) return {account->get(1), account->get(4)};
  return splitRecipient(message.header("from"));
}

stringT composeAcknowledgement(const FieldMap& settings, const Recipient& to, const stringT& receivedSubject,
                               const AckHeaders& headers, const stringT& notice) {
  stringT text = "To: " + encodedDisplayName(headerSafe(to.name));
  if (!to.address.empty()) text += " <" + headerSafe(to.address) + ">";
  text += kNl;
  text += "From: " + encodedDisplayName(headerSafe(settings.get(kTitle))) + " <" +
          headerSafe(settings.get(kReturnAddress)) + ">" + kNl;
  stringT subject;
  stringT prefix = settings.get(kSubjectPrefix);
  if (!prefix.empty()) subject += headerSafe(prefix) + " ";
  if (!headers.reference.empty() && receivedSubject.find(headers.reference.view()) == stringT::npos)
    subject += "[" + headerSafe(headers.reference) + "] ";
  subject += headerSafe(receivedSubject);
  // A fold of the received Subject stays as it came when the Subject is
  // ASCII; encoded words are folded afresh.
  bool ascii = encodedHeaderText(subject) == subject;
  text += (ascii && subject.find("\r\n") != stringT::npos ? "Subject: " + subject
                                                           : foldedHeader("Subject", encodedHeaderText(subject.replaceAll("\r\n", "")))) +
          kNl;
  text += "Date: " + headers.date + kNl;
  text += "Message-ID: " + headers.messageId + kNl;
  if (!headers.inReplyTo.empty()) text += "In-Reply-To: " + headers.inReplyTo + kNl;
  if (!headers.references.empty()) text += foldedHeader("References", headers.references) + kNl;
  text += "Auto-Submitted: auto-replied\r\n";
  text += "MIME-Version: 1.0\r\n";
  text += "Content-Type: text/plain; charset=UTF-8\r\n";
  EncodedBody body = encodedBody(settings.get(kFirstLine) + kNl + kNl + notice);
  text += stringT("Content-Transfer-Encoding: ") + body.transferEncoding + kNl;
  text += kNl;
  text += body.text;
  return text;
}

namespace {

// One "<...>" message id with no blanks, controls or brackets inside.
bool plainMessageId(std::string_view id) {
  if (id.size() < 3 || id.size() > 250 || id.front() != '<' || id.back() != '>') return false;
  for (size_t i = 1; i + 1 < id.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(id[i]);
    if (c <= 0x20 || c >= 0x7F || c == '<' || c == '>') return false;
  }
  return true;
}

}  // namespace

void threadHeaders(const MailMessage& message, AckHeaders* headers) {
  std::string id = message.header("message-id").trim().str();
  if (!plainMessageId(id)) return;
  headers->inReplyTo = stringT(id);
  // Earlier ids of the thread, oldest first; the newest ones are kept.
  std::vector<std::string> ids;
  std::string refs = message.header("references").str();
  size_t at = 0;
  while ((at = refs.find('<', at)) != std::string::npos) {
    size_t end = refs.find('>', at);
    if (end == std::string::npos) break;
    std::string one = refs.substr(at, end - at + 1);
    if (plainMessageId(one) && one != id) ids.push_back(one);
    at = end + 1;
  }
  std::string out = id;
  for (size_t i = ids.size(); i-- > 0;) {
    if (out.size() + ids[i].size() + 1 > 900) break;
    out = ids[i] + " " + out;
  }
  headers->references = stringT(out);
}

namespace {

// Seconds since 1970-01-01 00:00 of the calendar time in t, without regard
// to any time zone (days from the civil date, Howard Hinnant's method).
int64_t civilSeconds(const struct tm& t) {
  int64_t y = t.tm_year + 1900 - (t.tm_mon < 2 ? 1 : 0);
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t m = t.tm_mon + 1;
  int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + t.tm_mday - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  int64_t days = era * 146097 + doe - 719468;
  return days * 86400 + t.tm_hour * 3600 + t.tm_min * 60 + t.tm_sec;
}

}  // namespace

stringT rfc5322Date(std::time_t when) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  struct tm local = {};
  if (!localtime_r(&when, &local)) {
    when = 0;
    gmtime_r(&when, &local);
  }
  // The offset from UTC: the local calendar time read as if it were UTC,
  // less the moment itself (what tm_gmtoff holds where the C library has it).
  long offset = static_cast<long>((civilSeconds(local) - static_cast<int64_t>(when)) / 60);
  char sign = offset < 0 ? '-' : '+';
  if (offset < 0) offset = -offset;
  return stringT::format("%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", kDays[local.tm_wday % 7], local.tm_mday,
                         kMonths[local.tm_mon % 12], local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec,
                         sign, offset / 60, offset % 60);
}

stringT makeMessageId(std::time_t when, const stringT& returnAddress) {
  std::string_view address = returnAddress.view();
  size_t at = address.rfind('@');
  std::string_view domain = at == std::string_view::npos ? std::string_view() : address.substr(at + 1);
  if (!plainHost(domain)) domain = "orvane.invalid";
  unsigned sequence = ++messageSequence;
  return stringT::format("<%lld.%ld.%u@%.*s>", static_cast<long long>(when), processId(), sequence,
                         static_cast<int>(domain.size()), domain.data());
}

int controlCharacterAt(const stringT& text) {
  std::string_view v = text.view();
  for (size_t i = 0; i < v.size(); ++i)
    if (isControl(static_cast<unsigned char>(v[i]))) return static_cast<int>(i);
  return -1;
}

stringT printable(const stringT& text) {
  std::string out;
  for (char c : text.view()) {
    if (isControl(static_cast<unsigned char>(c))) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\x%02X", static_cast<unsigned char>(c));
      out += buffer;
    } else {
      out += c;
    }
  }
  return stringT(std::move(out));
}

stringT headerSafe(const stringT& text) {
  std::string_view v = text.view();
  std::string out;
  bool changed = false;
  for (size_t i = 0; i < v.size(); ++i) {
    char c = v[i];
    bool fold = c == '\r' && i + 2 < v.size() && v[i + 1] == '\n' && (v[i + 2] == ' ' || v[i + 2] == '\t');
    if (fold) {
      out.append("\r\n");
      ++i;
      continue;
    }
    if (c == '\r' || c == '\n' || c == '\0') {
      out += ' ';
      changed = true;
    } else {
      out += c;
    }
  }
  return changed ? stringT(std::move(out)) : text;
}
