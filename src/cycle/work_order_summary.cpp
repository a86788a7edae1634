#include "cycle/work_order_summary.h"

#include <ctime>

#include "common/field_map.h"
#include "common/string_mapper.h"
#include "db/gateway_tables.h"

namespace {

bool parseDate(std::string_view text, struct tm& out) {
  if (text.size() != 8) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  auto number = [&](size_t from, size_t count) {
    int v = 0;
    for (size_t i = from; i < from + count; ++i) v = v * 10 + (text[i] - '0');
    return v;
  };
  out = {};
  out.tm_year = number(0, 4) - 1900;
  out.tm_mon = number(4, 2) - 1;
  out.tm_mday = number(6, 2);
  if (out.tm_mon < 0 || out.tm_mon > 11 || out.tm_mday < 1 || out.tm_mday > 31) return false;
  out.tm_isdst = -1;
  struct tm probe = out;
  if (std::mktime(&probe) == static_cast<std::time_t>(-1)) return false;
  out.tm_wday = probe.tm_wday;
  out.tm_yday = probe.tm_yday;
  return true;
}

}  // namespace

stringT displayDate(const stringT& date) {
  stringT trimmed = date.trim();
  struct tm when;
  if (!parseDate(trimmed.view(), when)) return trimmed;
  // A strftime format, not a printf one: any translation is safe to use.
  stringT format = translate("*%B %d, %Y");
  char buffer[256];
  size_t n = std::strftime(buffer, sizeof buffer, format.c_str(), &when);
  return n == 0 ? trimmed : stringT(buffer, n);
}

stringT scheduleText(const WorkOrderFacts& order) { return (order.workDate + order.interval).trim(); }

SummaryEvent summarizeWorkOrderEvent(int newStatus, long oldStatus, bool changed, const stringT& lastSchedule,
                                     const WorkOrderFacts& order, bool closingComments) {
  SummaryEvent event;
  const char* word = nullptr;
  stringT extra;
  bool showDate = true;
  stringT date = order.closeDate;
  switch (newStatus) {
    case kLogTransferred: {
      word = (oldStatus == kLogCompleted || oldStatus == kLogVoid) ? "*Reopened" : "*Opened";
      date = order.createDate;
      stringT schedule = scheduleText(order);
      if (!(schedule == lastSchedule.trimRight())) {
        if (!lastSchedule.trimRight().empty()) {
          word = "*Rescheduled";
          showDate = false;
        }
        event.schedule = schedule;
      } else if (!changed) {
        return event;
      }
      extra = "  " + stringT::format(translateFormat("*Work scheduled to start on %s for %ld day(s).").c_str(),
                                     displayDate(order.workDate).c_str(), decimalValue(order.interval));
      break;
    }
    case kLogCompleted:
      word = "*Closed";
      if (closingComments) extra = "  " + order.closeComments;
      break;
    case kLogVoid:
      word = "*Voided";
      break;
    default:
      word = logStatusMarkedText(newStatus);
      break;
  }
  stringT line = translate(word) + " " + translate("*W/O Number") + " " + order.number.trim();
  if (showDate) line += " " + translate("*on") + " " + displayDate(date);
  line += "." + extra + "\r\n";
  event.report = true;
  event.line = line;
  return event;
}
