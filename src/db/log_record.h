// LogRecord: the in-memory form of one logs.dbf row, a field map plus the
// mail message the row was made from.
//
// Field numbers (gateway_tables.h, LogRecordField): 201 KEY, 202 CDATE,
// 203 CTIME, 204 DETAILS, 205 MESSAGE, 206 HISTORY, 207 WRKEY, 209 STATUS,
// 210 OLDSTATUS, 211 WOSCHEDULE, 212 FLAGS; 213 names every field when
// passed as the one to write. Numbers travel as decimal text. The pending
// work-request fields 101 to 113 (work_request_manager.h) live in the same
// map and are never stored in logs.dbf. Field 205 is not kept in the map:
// the MESSAGE memo is the message object's raw text.
//
// Row rules (readLogRow / writeLogRow):
//   read:  201 KEY, 209 STATUS, 210 OLDSTATUS, 207 WRKEY, 212 FLAGS as
//          "%ld"; 211 WOSCHEDULE, 204 DETAILS, 206 HISTORY from the
//          table's code page to UTF-8; 202 CDATE, 203 CTIME as stored;
//          MESSAGE (the raw message, never converted) parsed into the
//          message object. Writing converts the three texts back.
//   write: 209 or 210 writes STATUS and OLDSTATUS and stops; 213 writes
//          those two and then every field below; any other number writes
//          its own field only: 207 WRKEY, 211 WOSCHEDULE, 204 DETAILS,
//          205 MESSAGE, 206 HISTORY, 212 FLAGS, 202 CDATE, 203 CTIME.
//
// A LogRecord is a plain value; the logs manager hands out shared ones
// from its cache (logs_manager.h). One thread.
#pragma once

#include "common/field_map.h"
#include "common/string.h"
#include "mail/mail_message.h"

class DBTable;

class LogRecord {
 public:
  LogRecord() = default;
  explicit LogRecord(MailMessage message) : message_(std::move(message)) {}

  FieldMap& fields() { return fields_; }
  const FieldMap& fields() const { return fields_; }
  stringT get(int number) const { return fields_.get(number); }
  long getNumber(int number) const { return fields_.getNumber(number); }
  void set(int number, stringT value) { fields_.set(number, std::move(value)); }
  void setNumber(int number, long value) { fields_.setNumber(number, value); }

  const MailMessage& message() const { return message_; }
  void setMessage(MailMessage message) { message_ = std::move(message); }

  long key() const { return getNumber(201); }
  long status() const { return getNumber(209); }

  // Field 210 takes the current 209; 209 becomes code as "%ld".
  void SetStatus(long code);
  // Appends "MM/DD HH:MM text\r\n" (local time now) to field 206; nothing
  // when the local time cannot be had.
  void AddHistory(const stringT& text);

 private:
  FieldMap fields_;
  MailMessage message_;
};

// Reads the table's current row into record (which is cleared first).
void readLogRow(const DBTable& logs, LogRecord* record);
// Writes the fields that number names into the table's current row (the
// caller writes the row back). 0, the engine's code, or e4parm for a
// number that names no stored field.
[[nodiscard]] int writeLogRow(DBTable& logs, const LogRecord& record, int number);
