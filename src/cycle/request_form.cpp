#include "cycle/request_form.h"

#include "common/tagged_text.h"

FieldMap parseRequestForm(const stringT& text) {
  FieldMap form;
  extractTagged(text, kFormLow, kFormHigh, kFormTerminator, form);
  return form;
}

FormAction classifyAction(const FieldMap& form) {
  stringT action = form.get(kFormAction);
  if (action.empty()) return FormAction::None;
  if (action == "request") return FormAction::Request;
  if (action == "update") return FormAction::Update;
  return FormAction::Unrecognized;
}

void copyFormToPending(const FieldMap& form, FieldMap& row) {
  struct TextCopy {
    int from, to;
  };
  static constexpr TextCopy kTexts[] = {
      {kFormSubject, 105}, {kFormDescription, 106}, {kFormReference, 104},
      {kFormCategory, 111}, {kFormAccess, 112},      {kFormPriority, 113},
  };
  for (const TextCopy& c : kTexts)
    if (form.contains(c.from)) row.set(c.to, form.get(c.from));
  row.setNumber(108, form.getNumber(kFormUnit));
  row.setNumber(101, form.getNumber(kFormRequestor));
}
