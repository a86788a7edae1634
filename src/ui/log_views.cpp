#include "ui/log_views.h"

#include <ctime>

#include "common/string_mapper.h"
#include "cycle/notice_text.h"
#include "db/gateway_tables.h"
#include "db/log_record.h"
#include "mail/address.h"
#include "mail/mime_view.h"

namespace {

bool digitsAt(std::string_view text, size_t pos, size_t count) {
  if (text.size() < pos + count) return false;
  for (size_t i = pos; i < pos + count; ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

int number(std::string_view text, size_t pos, size_t count) {
  int n = 0;
  for (size_t i = pos; i < pos + count; ++i) n = n * 10 + (text[i] - '0');
  return n;
}

// Fixed-width table fields arrive padded with blanks.
stringT trimmedRight(const stringT& text) {
  std::string_view v = text.view();
  size_t end = v.size();
  while (end > 0 && v[end - 1] == ' ') --end;
  return end == v.size() ? text : stringT(v.substr(0, end));
}

void appendSection(stringT& out, const char* heading, const stringT& body, bool last) {
  out = out + translate(heading) + "\r\n=====\r\n" + body;
  if (!last) out = out + "\r\n";
}

}  // namespace

stringT categoryText(int status, long count) {
  stringT text = logStatusText(status);
  if (count > 0) text = text + stringT::format(" (%ld)", count);
  return text;
}

stringT receivedText(const stringT& date, const stringT& time) {
  std::string_view d = date.view(), t = time.view();
  if (!digitsAt(d, 0, 8) || !digitsAt(t, 0, 6)) {
    if (time.empty()) return date;
    return date + " " + time;
  }
  std::tm when{};
  when.tm_year = number(d, 0, 4) - 1900;
  when.tm_mon = number(d, 4, 2) - 1;
  when.tm_mday = number(d, 6, 2);
  when.tm_hour = number(t, 0, 2);
  when.tm_min = number(t, 2, 2);
  when.tm_sec = number(t, 4, 2);
  when.tm_isdst = -1;
  std::tm normal = when;
  std::mktime(&normal);  // fills the weekday
  normal.tm_hour = when.tm_hour;
  normal.tm_min = when.tm_min;
  stringT format = translate("*%a %m/%d/%y %H:%M");
  char buffer[256];
  size_t n = std::strftime(buffer, sizeof buffer, format.c_str(), &normal);
  return stringT(std::string_view(buffer, n));
}

LogRow logRow(const LogRecord& record, const std::optional<FieldMap>& account) {
  LogRow row;
  // Names and Subject decoded, as the message's sender wrote them.
  MimeView mime = readMimeHeaders(record.message().rawText().view());
  row.key = record.key();
  if (account) {
    row.from = trimmedRight(account->get(1));
    if ((account->getNumber(16) & kAccountEnabled) == 0) row.from = translate("*(DISABLED) ") + row.from;
  } else {
    const Mailbox& sender = mime.sender;
    row.from = sender.displayName.empty() ? sender.address : sender.displayName + " <" + sender.address + ">";
  }
  row.subject = trimmedRight(record.get(105));
  if (row.subject.empty()) row.subject = mime.subject;
  row.reference = trimmedRight(record.get(104));
  row.received = receivedText(record.get(kLrCDate), record.get(kLrCTime));
  row.receivedOrder = record.get(kLrCDate) + record.get(kLrCTime);
  return row;
}

stringT detailsText(const LogRecord& record, const std::optional<stringT>& requestor) {
  stringT text;
  if (requestor) appendSection(text, "*REQUESTOR", *requestor, false);
  appendSection(text, "*REQUEST", noticeText(record.fields()), false);
  appendSection(text, "*ORIGINAL E-MAIL MESSAGE", record.message().rawText(), true);
  return text;
}

stringT escapeMailtoSubject(const stringT& subject) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (char c : subject.view()) {
    unsigned char b = static_cast<unsigned char>(c);
    bool plain = (b >= '0' && b <= '9') || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z');
    if (plain) {
      out += c;
    } else {
      out += '%';
      out += digits[b >> 4];
      out += digits[b & 15];
    }
  }
  return stringT(out);
}

stringT escapeMailtoAddress(const stringT& address) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (char c : address.view()) {
    unsigned char b = static_cast<unsigned char>(c);
    bool plain = (b >= '0' && b <= '9') || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') ||
                 (b != 0 && std::string_view("@-_.!~*'()").find(c) != std::string_view::npos);
    if (plain) {
      out += c;
    } else {
      out += '%';
      out += digits[b >> 4];
      out += digits[b & 15];
    }
  }
  return stringT(out);
}

stringT mailtoTarget(const LogRecord& record) {
  // The address between angle brackets, as the mail's reader finds it: a
  // quoted display name may hold brackets of its own. A From without
  // brackets keeps the empty target.
  stringT address = splitAddress(record.message().header("from")).second;
  if (!address.empty()) {
    MimeView view = readMimeHeaders(record.message().rawText().view());
    if (view.from && !view.from->address.empty()) address = stringT(view.from->address);
  }
  address = escapeMailtoAddress(address);
  stringT logged = trimmedRight(record.get(105));
  if (logged.empty()) logged = record.message().decodedHeader("subject");
  stringT subject = "RE: " + escapeMailtoSubject(logged);
  return stringT::format("mailto:%s", address.c_str()) + stringT::format("?subject=%s", subject.c_str());
}

std::vector<stringT> printLines(const stringT& text, size_t perLine) {
  std::vector<stringT> lines;
  if (perLine == 0) perLine = 1;
  std::string_view all = text.view();
  size_t start = 0;
  for (;;) {
    size_t end = all.find("\r\n", start);
    std::string_view piece = all.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (piece.empty()) lines.emplace_back();
    for (size_t at = 0; at < piece.size(); at += perLine) lines.emplace_back(piece.substr(at, perLine));
    if (end == std::string_view::npos) break;
    start = end + 2;
  }
  return lines;
}
