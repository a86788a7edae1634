// The request form of a mail body: numbered fields, each written as
// "[" + number + "] " + value + ";;".
//
//   | field | meaning                 | row field it fills (when the form is
//   |       |                         | the request, see copyFormToPending) |
//   |-------|-------------------------|-------------------------------------|
//   | 1     | action: "request" or "update" (exact, case matters)           |
//   | 7     | subject                 | 105, text as found                  |
//   | 8     | description             | 106, text as found                  |
//   | 9     | work category           | 111, text as found                  |
//   | 12    | reference               | 104, text as found                  |
//   | 14    | unit key                | 108, decimal, written as "%ld"      |
//   | 15    | access code             | 112, text as found                  |
//   | 16    | priority                | 113, text as found                  |
//   | 17    | requestor contact key   | 101, decimal, written as "%ld"      |
//
// Numbers 1 to 17 are read. For each, the first occurrence of its tag
// anywhere in the text counts and its value runs to the first ";;" after
// it, untrimmed; a tag with no ";;" after it gives no field. One pass,
// linear in the text (common/tagged_text.h).
#pragma once

#include "common/field_map.h"

inline constexpr int kFormAction = 1;
inline constexpr int kFormSubject = 7;
inline constexpr int kFormDescription = 8;
inline constexpr int kFormCategory = 9;
inline constexpr int kFormReference = 12;
inline constexpr int kFormUnit = 14;
inline constexpr int kFormAccess = 15;
inline constexpr int kFormPriority = 16;
inline constexpr int kFormRequestor = 17;
// Field numbers read: low < n < high.
inline constexpr int kFormLow = 0;
inline constexpr int kFormHigh = 18;
inline constexpr const char* kFormTerminator = ";;";

// The fields of the form in text (empty map when there is none).
FieldMap parseRequestForm(const stringT& text);

enum class FormAction {
  None,          // no form, or an empty field 1: a plain request
  Request,       // "request"
  Update,        // "update": a status enquiry
  Unrecognized,  // anything else
};
FormAction classifyAction(const FieldMap& form);

// Copies the work-request fields of form into the pending fields of a row
// (the table above).
void copyFormToPending(const FieldMap& form, FieldMap& row);
