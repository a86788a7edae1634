// What the console's main window shows of the logs: the category texts,
// the four columns of the logs list, the details text with its three
// sections, the E-mail Requestor target and the printed layout.
//
//   | column   | text                                                     |
//   |----------|----------------------------------------------------------|
//   | From     | the account's name (101 names one), after the translated |
//   |          | "*(DISABLED) " when flag 1 is clear; else the "from"     |
//   |          | header of the stored message                              |
//   | Subject  | field 105; the message's Subject header when 105 is      |
//   |          | empty (a row read back from logs.dbf has no 105 until    |
//   |          | its work request is read)                                |
//   | Ref #    | field 104                                                |
//   | Received | 202 "%Y%m%d" and 203 "%H%M%S" through the translated     |
//   |          | "*%a %m/%d/%y %H:%M"                                      |
//
// Details: three sections, each heading "\r\n=====\r\n" body "\r\n":
// "*REQUESTOR" + DescribeAccount (only when 101 names an account),
// "*REQUEST" + the row's notice text, "*ORIGINAL E-MAIL MESSAGE" + the raw
// message (this last one without the closing "\r\n").
//
// Plain functions over values; the callers run on the gateway thread.
#pragma once

#include <optional>
#include <vector>

#include "common/field_map.h"
#include "common/string.h"

class LogRecord;

// "Rejected" or "Rejected (3)": the translated status text, and " (%d)"
// when count is above 0.
stringT categoryText(int status, long count);

// The Received column for CDATE (CCYYMMDD) and CTIME (HHMMSS); the stored
// texts joined by a blank when they are not a date and time.
stringT receivedText(const stringT& date, const stringT& time);

struct LogRow {
  long key = 0;
  stringT from;
  stringT subject;
  stringT reference;
  stringT received;
  stringT receivedOrder;  // 202 and 203 joined, so the column sorts by time
};

// account: the account of field 101, when it names one.
LogRow logRow(const LogRecord& record, const std::optional<FieldMap>& account);

// requestor: DescribeAccount(account, all fields, labels) when 101 names an
// account, else nothing (the section is left out).
stringT detailsText(const LogRecord& record, const std::optional<stringT>& requestor);

// "mailto:<address>?subject=RE: <105 escaped>": the bracketed address of
// the From header (empty without brackets; every byte but a letter, digit,
// "@" or one of -_.!~*'() written "%XX", so a "?", "&" or "#" in a sender's
// address cannot add headers or a body), every byte of 105 that is not
// an ASCII letter or digit written "%xx" (lower-case hexadecimal); the
// Subject header stands in for an empty 105, as in the list.
stringT mailtoTarget(const LogRecord& record);
stringT escapeMailtoSubject(const stringT& subject);
stringT escapeMailtoAddress(const stringT& address);

// The printed lines of text: split at each "\r\n", each piece cut into
// chunks of exactly perLine characters (an empty piece is an empty line).
std::vector<stringT> printLines(const stringT& text, size_t perLine);
// Characters per printed line: a US Letter or A4 page, half-inch margins,
// a 10-point monospaced font (7.5 in / 6 pt = 90 characters), less one.
inline constexpr size_t kPrintLineWidth = 89;
