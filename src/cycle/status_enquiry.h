// Status enquiries: mail whose request form says "[1] update;;" asks what
// became of an earlier work request. The log update run answers each one
// exactly once; the acknowledgement run mails the answer.
//
// Naming the request (enquiryReference):
//   1. form field 12 of the request text (mail/mime_view.h), white space
//      trimmed, when not empty (the reference as
//      our notices show it, e.g. "@O00042", or one the requestor chose
//      with field 12 of the original request);
//   2. else the first reference of the shape of the translated "*@O%05ld"
//      in the decoded Subject ("Re: @O00042 still broken"); the prefix is
//      matched without regard to ASCII case, the number is written back in
//      the gateway's own form;
//   3. else none.
//
// Answering (StatusEnquiries::answer, on a Special row whose field 101 is
// the enquirer's contact as the update run identified it):
//   the reference is looked up in wrequest.dbf by WRNUM (ALLWRNUM tag);
//   only a request whose REQUESTOR is the enquirer counts (several with the
//   same number: the newest). Anyone else is answered as if the number did
//   not exist.
//     found:     noticeText of { 104 WRNUM, 209 the log status the
//                request's state maps to, 204/206 summary and history of
//                the log row that created the request (the oldest row with
//                that WRKEY that is not a queued copy), 105/106 the
//                request's subject and description }
//     not found: "*No work-request with the number %s was found for you."
//                or, with no reference, "*Your status enquiry does not
//                name a work-request. ..."
//   The answer text goes into field 204 (DETAILS) of the row, FLAGS gains
//   kLogFlagEnquiryAnswer, history "*Answered", status 7 (Saved). The
//   queued copy therefore carries its whole notice: the acknowledgement
//   run mails DETAILS as it stands and needs nothing from the maintenance
//   database, so an answer can always be sent.
//   The answer goes to the enquirer as identified by From (the account's
//   name and address, else the From header), never to a Reply-To address:
//   a forged From with someone else's Reply-To learns nothing. When that
//   address cannot be mailed the row is rejected instead ("*Rejected"),
//   so no notice is queued that could never be sent.
//   Results: 0 answered (row changed), 2 the maintenance database could
//   not be read (row left as it was, tried again next run; never answered
//   "not found" for a reason that is ours).
//
// Clean-up (removeUndeliverableEnquiryCopies): queued copies of Special
// rows written by earlier versions (status 8, OLDSTATUS 6, WRKEY 0, no
// answer flag) can never be prepared; they are removed at the start of
// each update run and the count goes to the diagnostic list. Their Special
// rows are still there and get their one answer in the same run.
#pragma once

#include <optional>

#include "common/field_map.h"
#include "common/manager.h"
#include "cycle/acknowledgement_mail.h"
#include "cycle/sender_identity.h"

class AccountsManager;
class DatabaseContext;
class LogRecord;
class LogsManager;
class MailMessage;

// FLAGS bit of a row whose DETAILS hold the whole notice of an enquiry
// answer (bit 1 is the request-form flag).
inline constexpr long kLogFlagEnquiryAnswer = 2;

// The first reference of the shape of format (a printf text with one
// "%ld", optionally with zero padding and width) in text, written back
// with format; "" when there is none.
stringT findReference(const stringT& text, const stringT& format);
// The reference an enquiry gives (above); "" when it gives none.
stringT enquiryReference(const MailMessage& message);

// Whether a queued row carries an enquiry answer in its DETAILS.
bool isEnquiryAnswer(const LogRecord& row);
// The enquirer's account as identified by the From address (the MIME
// view's sender), if any.
std::optional<FieldMap> enquirerAccount(AccountsManager& accounts, const MailMessage& message);
// Where an answer goes: the account's name and address, else the MIME
// view's sender (decoded name, address).
Recipient enquiryRecipient(const MailMessage& message, const FieldMap* account);

// The notice for a reference that names nothing the enquirer may see.
stringT notFoundNotice(const stringT& reference);

class StatusEnquiries : public Manager {
 public:
  static constexpr int kAnswered = 0;
  static constexpr int kFailed = 2;

  explicit StatusEnquiries(DatabaseContext& maintenance);

  [[nodiscard]] int answer(LogRecord& row, LogsManager& logs, AccountsManager& accounts);

 private:
  // The key of the enquirer's request numbered reference: 0 none, -1 the
  // table could not be read (message set).
  long findRequest(const stringT& reference, long enquirer);
  stringT foundNotice(long requestKey, const stringT& reference, LogsManager& logs, bool* ok);

  DatabaseContext& maintenance_;
};

// Removes the undeliverable copies described above; failures go to
// report, the count (when not 0) to the diagnostic list.
long removeUndeliverableEnquiryCopies(LogsManager& logs, const Reporter& report);
