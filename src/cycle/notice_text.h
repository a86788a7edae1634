// The body of a status notice for one log row (the part after the first
// line of an acknowledgement), built from the row's fields:
//
//   if 104 (reference) is not empty:
//     "*Your work-request -- Number %s -- is currently \"%s.\"" CRLF
//         (104; the display text of 210 when 209 is 8, else of 209)
//     if 204 (summary) is not empty: "*Here are the details:" CRLF 204
//     CRLF
//   if 206 (history) is not empty:
//     "*Here is the History for this work-request:" CRLF 206 CRLF
//   if 105 (subject) is not empty:
//     "*Here is the Original work-request:" CRLF 105 CRLF
//     [106 CRLF when 106 is not empty] CRLF
//
// Marked texts are translated. The summary and history already end each
// line with CRLF, so every section ends with an empty line.
#pragma once

#include "common/field_map.h"

stringT noticeText(const FieldMap& row);
