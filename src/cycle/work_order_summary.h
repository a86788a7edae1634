// The summary line a row gains when its work order moves (opened,
// reopened, rescheduled, closed, voided), and the schedule text kept in
// the row's field 211 to notice a rescheduling.
//
// Line: <word> " " "*W/O Number" " " <WONUM trimmed>
//       [" " "*on" " " <date>]      (left out for "*Rescheduled")
//       "." [<extra sentence>] CRLF
//
//   | new status      | word                                  | date       | extra                 |
//   |-----------------|---------------------------------------|------------|-----------------------|
//   | 3 Transferred   | "*Reopened" after 4 or 5, else        | CREATEDATE | "  " + "*Work         |
//   |                 | "*Opened"; "*Rescheduled" when the    |            | scheduled to start on |
//   |                 | schedule changed and one was known    |            | %s for %ld day(s)."   |
//   | 4 Completed     | "*Closed"                             | CLOSEDATE  | "  " + CLOSECOMM when |
//   |                 |                                       |            | setting 159 is set    |
//   | 5 Void          | "*Voided"                             | CLOSEDATE  |                       |
//   | other           | the status's display text             | CLOSEDATE  |                       |
//
// Dates (CCYYMMDD) are shown through the translated "*%B %d, %Y"; a date
// that is blank or not a date is shown as stored, trimmed. Words and texts
// are translated.
#pragma once

#include <optional>

#include "common/string.h"

// What the log processor read from the work order.
struct WorkOrderFacts {
  stringT number;         // WONUM
  stringT createDate;     // CREATEDATE, CCYYMMDD
  stringT closeDate;      // CLOSEDATE
  stringT closeComments;  // CLOSECOMM
  stringT workDate;       // WORKDATE as stored
  stringT interval;       // WINTERVAL as stored (right-aligned digits)
};

struct SummaryEvent {
  bool report = false;                // false: nothing new to tell
  stringT line;                       // the line for field 204, CRLF included
  std::optional<stringT> schedule;    // new value for field 211
};

// newStatus: the row's status after the change (3, 4, 5, ...); oldStatus:
// field 210; changed: whether the status changed in this pass;
// lastSchedule: field 211.
SummaryEvent summarizeWorkOrderEvent(int newStatus, long oldStatus, bool changed, const stringT& lastSchedule,
                                     const WorkOrderFacts& order, bool closingComments);

// WORKDATE followed by WINTERVAL, trimmed at both ends.
stringT scheduleText(const WorkOrderFacts& order);
// A CCYYMMDD date through the translated "*%B %d, %Y".
stringT displayDate(const stringT& date);
