#include "cycle/notice_text.h"

#include "common/string_mapper.h"
#include "db/gateway_tables.h"

namespace {
const char* const kNl = "\r\n";
}

stringT noticeText(const FieldMap& row) {
  stringT text;
  stringT reference = row.get(104);
  if (!reference.empty()) {
    long status = row.getNumber(kLrStatus);
    long shown = status == kLogPendingAck ? row.getNumber(kLrOldStatus) : status;
    stringT name = logStatusText(static_cast<int>(shown));
    text += stringT::format(translateFormat("*Your work-request -- Number %s -- is currently \"%s.\"").c_str(),
                            reference.c_str(), name.c_str());
    text += kNl;
    stringT summary = row.get(kLrDetails);
    if (!summary.empty()) text += translate("*Here are the details:") + kNl + summary;
    text += kNl;
  }
  stringT history = row.get(kLrHistory);
  if (!history.empty()) text += translate("*Here is the History for this work-request:") + kNl + history + kNl;
  stringT subject = row.get(105);
  if (!subject.empty()) {
    text += translate("*Here is the Original work-request:") + kNl + subject + kNl;
    stringT description = row.get(106);
    if (!description.empty()) text += description + kNl;
    text += kNl;
  }
  return text;
}
