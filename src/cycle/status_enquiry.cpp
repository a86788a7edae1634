#include "cycle/status_enquiry.h"

#include <cstdlib>
#include <string>

#include "common/diagnostics.h"
#include "common/string_mapper.h"
#include "cycle/notice_text.h"
#include "cycle/request_form.h"
#include "db/accounts_manager.h"
#include "db/gateway_tables.h"
#include "db/logs_manager.h"
#include "db/maintenance_lookups.h"
#include "db/work_request_manager.h"
#include "mail/address.h"
#include "mail/mail_message.h"
#include "mail/mime_view.h"

namespace {

const char* const kNl = "\r\n";
// Longest reference echoed back in a not-found notice.
constexpr size_t kEchoLimit = 64;
// More digits than a long holds are no reference of ours.
constexpr size_t kMaxDigits = 18;

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAlnum(char c) { return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool matchesAt(std::string_view text, size_t at, std::string_view literal) {
  if (text.size() - at < literal.size()) return false;
  for (size_t i = 0; i < literal.size(); ++i)
    if (asciiLower(text[at + i]) != asciiLower(literal[i])) return false;
  return true;
}

// A format text split around its one "%[0][width]ld" conversion.
struct ReferenceShape {
  std::string prefix, suffix;
  size_t width = 0;
  bool valid = false;
};

ReferenceShape shapeOf(std::string_view format) {
  ReferenceShape shape;
  size_t percent = format.find('%');
  if (percent == std::string_view::npos) return shape;
  size_t i = percent + 1;
  while (i < format.size() && format[i] == '0') ++i;
  size_t width = 0;
  while (i < format.size() && isDigit(format[i])) width = width * 10 + static_cast<size_t>(format[i++] - '0');
  if (format.substr(i, 2) != "ld") return shape;
  shape.prefix = format.substr(0, percent);
  shape.suffix = format.substr(i + 2);
  if (shape.prefix.find('%') != std::string::npos || shape.suffix.find('%') != std::string::npos) return shape;
  shape.width = width;
  shape.valid = !shape.prefix.empty() || !shape.suffix.empty();
  return shape;
}

stringT fromAddress(const MailMessage& message) { return readMimeHeaders(message.rawText().view()).sender.address; }

// The reference as a user may see it in a notice: printable, bounded.
stringT echoed(const stringT& reference) {
  stringT shown = printable(reference);
  if (shown.length() > kEchoLimit) shown = shown.left(kEchoLimit) + "...";
  return shown;
}

}  // namespace

stringT findReference(const stringT& text, const stringT& format) {
  stringT writeWith = format;
  ReferenceShape shape = shapeOf(format.view());
  if (!shape.valid) {
    writeWith = "@O%05ld";
    shape = shapeOf(writeWith.view());
  }
  std::string_view t = text.view();
  for (size_t at = 0; at < t.size(); ++at) {
    if (!matchesAt(t, at, shape.prefix)) continue;
    if (!shape.prefix.empty() && isAlnum(shape.prefix.front()) && at > 0 && isAlnum(t[at - 1])) continue;
    size_t digits = at + shape.prefix.size();
    size_t end = digits;
    while (end < t.size() && isDigit(t[end])) ++end;
    size_t count = end - digits;
    if (count == 0 || count < shape.width || count > kMaxDigits) continue;
    if (!matchesAt(t, end, shape.suffix)) continue;
    size_t after = end + shape.suffix.size();
    if (shape.suffix.empty() ? false : (isAlnum(shape.suffix.back()) && after < t.size() && isAlnum(t[after])))
      continue;
    long number = std::strtol(std::string(t.substr(digits, count)).c_str(), nullptr, 10);
    return stringT::format(writeWith.c_str(), number);
  }
  return stringT();
}

stringT enquiryReference(const MailMessage& message) {
  MimeView view = readMime(message.rawText().view());
  stringT given = parseRequestForm(view.requestText).get(kFormReference).trim();
  if (!given.empty()) return given;
  // The same text the log processor numbers new requests with.
  return findReference(view.subject, translateFormat("*@O%05ld"));
}

bool isEnquiryAnswer(const LogRecord& row) { return (row.getNumber(kLrFlags) & kLogFlagEnquiryAnswer) != 0; }

std::optional<FieldMap> enquirerAccount(AccountsManager& accounts, const MailMessage& message) {
  long contact = 0;
  if (accounts.FindContactByEmail(fromAddress(message), &contact) != 0) return std::nullopt;
  return accounts.GetAccount(contact);
}

Recipient enquiryRecipient(const MailMessage& message, const FieldMap* account) {
  if (account) return {account->get(kAccountName), account->get(kAccountEmail)};
  Mailbox sender = readMimeHeaders(message.rawText().view()).sender;
  return {sender.displayName, sender.address};
}

stringT notFoundNotice(const stringT& reference) {
  stringT line = reference.empty()
                     ? translate("*Your status enquiry does not name a work-request. Please write its number, as "
                                 "our notices show it, in the subject of your message.")
                     : stringT::format(translateFormat("*No work-request with the number %s was found for you.").c_str(),
                                       echoed(reference).c_str());
  return line + kNl + kNl;
}

StatusEnquiries::StatusEnquiries(DatabaseContext& maintenance)
    : Manager(translate("*Status Enquiries")), maintenance_(maintenance) {}

long StatusEnquiries::findRequest(const stringT& reference, long enquirer) {
  long found = newestRequestOf(maintenance_, reference, enquirer);
  if (found < 0) setStatus(kFailed, translate("*can't load one or more tables"));
  return found;
}

stringT StatusEnquiries::foundNotice(long requestKey, const stringT& reference, LogsManager& logs, bool* ok) {
  *ok = false;
  WorkRequestManager requests(maintenance_);
  FieldMap request;
  if (!requests.initiated() || requests.FindAndRead(requestKey, request) != 0) {
    setStatus(kFailed, requests.message());
    return stringT();
  }
  FieldMap notice;
  notice.set(104, request.get(kReqNumber).trim().empty() ? reference : request.get(kReqNumber).trim());
  notice.setNumber(kLrStatus, logStatusForRequestState(requests.State()));
  notice.set(105, request.get(kReqSubject).trimRight());
  notice.set(106, request.get(kReqDescription));

  // The row that created the request: the oldest with that WRKEY that is
  // not a queued copy.
  long creator = logs.creatorOf(requestKey);
  if (creator != 0)
    if (auto row = logs.GetRecord(creator)) {
      notice.set(kLrDetails, row->get(kLrDetails));
      notice.set(kLrHistory, row->get(kLrHistory));
    }
  *ok = true;
  return noticeText(notice);
}

int StatusEnquiries::answer(LogRecord& row, LogsManager& logs, AccountsManager& accounts) {
  long enquirer = row.getNumber(101);
  auto account = accounts.GetAccount(enquirer);
  Recipient to = enquiryRecipient(row.message(), account ? &*account : nullptr);
  if (to.address.trim().empty() ||
      validateAddress(to.address, static_cast<int>(to.address.length())) != kAddressAccepted) {
    row.AddHistory(logStatusText(kLogRejected));
    row.SetStatus(kLogRejected);
    return setStatus(kAnswered);
  }

  stringT reference = enquiryReference(row.message());
  stringT notice;
  long found = reference.empty() ? 0 : findRequest(reference, enquirer);
  if (found < 0) return status();
  if (found > 0) {
    bool ok = false;
    notice = foundNotice(found, reference, logs, &ok);
    if (!ok) return status();
  } else {
    notice = notFoundNotice(reference);
  }
  row.set(kLrDetails, notice);
  row.setNumber(kLrFlags, row.getNumber(kLrFlags) | kLogFlagEnquiryAnswer);
  row.AddHistory(translate("*Answered"));
  row.SetStatus(kLogSaved);
  return setStatus(kAnswered);
}

long removeUndeliverableEnquiryCopies(LogsManager& logs, const Reporter& report) {
  long removed = 0;
  for (long key : logs.KeysInStatus(kLogPendingAck)) {
    auto row = logs.GetRecord(key);
    if (!row || row->getNumber(kLrOldStatus) != kLogSpecial || row->getNumber(kLrWrKey) != 0 || isEnquiryAnswer(*row))
      continue;
    if (logs.Remove(key) != 0) {
      report(logs.describe());
      continue;
    }
    ++removed;
  }
  if (removed > 0)
    addDiagnostic(stringT::format(
        translateFormat("*%ld undeliverable status-enquiry notice(s) removed from the queue").c_str(), removed));
  return removed;
}
