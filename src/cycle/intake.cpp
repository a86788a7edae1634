#include "cycle/intake.h"

#include "common/string_mapper.h"
#include "cycle/acknowledgement_mail.h"
#include "cycle/automatic_mail.h"
#include "cycle/request_form.h"
#include "db/gateway_tables.h"
#include "db/log_record.h"
#include "mail/address.h"
#include "mail/envelope_address.h"
#include "mail/header_scanner.h"
#include "mail/mime_view.h"

IntakeStamp intakeStamp(std::time_t when) {
  struct tm local = {};
  localtime_r(&when, &local);
  char date[16], time[16];
  std::strftime(date, sizeof date, "%Y%m%d", &local);
  std::strftime(time, sizeof time, "%H%M%S", &local);
  return {date, time};
}

void takeIn(LogRecord& row, const IntakeStamp& stamp) {
  row.set(kLrCDate, stamp.date);
  row.set(kLrCTime, stamp.time);
  row.SetStatus(kLogPendingProcessing);

  // A header section beyond its bounds is read in part (header_scanner.h);
  // the row keeps the whole message and says what was not read.
  bool cutNoted = false;
  auto noteHeaderCut = [&] {
    if (cutNoted) return;
    cutNoted = true;
    row.AddHistory(stringT::format(
        translateFormat("*Header section not read in full (limits: %lu bytes, %lu fields, %lu bytes per field); the "
                        "whole message is kept")
            .c_str(),
        static_cast<unsigned long>(kMaxHeaderSection), static_cast<unsigned long>(kMaxHeaderFields),
        static_cast<unsigned long>(kMaxHeaderField)));
  };
  if (row.message().headerCut()) noteHeaderCut();

  // Never answered, whatever its form says: no enquiry, no request.
  if (stringT reason = automaticMailReason(row.message()); !reason.empty()) {
    row.AddHistory(stringT::format(translateFormat("*Automatic mail, not answered: %s").c_str(), reason.c_str()));
    row.SetStatus(kLogRejected);
    return;
  }

  MimeView view = readMime(row.message().rawText().view());
  if (view.headerCut) noteHeaderCut();
  stringT address = view.returnAddress;
  int position = validateAddress(address, static_cast<int>(address.length()));
  // Notices go back to this address through SMTP, so it must also be
  // whole enough for the envelope ("root" or "x> NOTIFY=NEVER y@z" is not).
  if (position == kAddressAccepted) position = envelopeAddressFault(address);
  if (position != kAddressAccepted) {
    row.AddHistory(stringT::format(translateFormat("*Invalid Return E-mail Address: '%s' at position %d").c_str(),
                                   printable(address).c_str(), position));
    row.SetStatus(kLogRejected);
  }

  FieldMap form = parseRequestForm(view.requestText);
  switch (classifyAction(form)) {
    case FormAction::None:
      break;
    case FormAction::Request:
      row.set(kLrFlags, "1");
      break;
    case FormAction::Update:
      row.SetStatus(kLogSpecial);
      break;
    case FormAction::Unrecognized:
      row.AddHistory(stringT::format(translateFormat("*Unrecognized Action: '%s'").c_str(),
                                     printable(form.get(kFormAction)).c_str()));
      row.SetStatus(kLogRejected);
      break;
  }
}
