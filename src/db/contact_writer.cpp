#include "db/contact_writer.h"

#include "common/code_page.h"
#include "db/maintenance_layouts.h"
#include "db/record_counter.h"
#include "engine/error4.h"
#include "table/db_table.h"

namespace {

// Highest " (n)" tried for a name that other contacts already have.
constexpr int kMaxNameSuffix = 99;

const DBTableLayout& contactsTableLayout() {
  static const DBTableLayout layout = contactsLayout();
  return layout;
}

bool visibleContact(const DBTable& c) {
  return !c.noRecord() && c.recordNumber() > 1 && !c.isDeleted() && !c.field(kConHidden)->asBool();
}

// Whether an unhidden contact is named name (upper case, whole name). c is
// ordered by its CODE tag, whose keys are the names upper-cased.
int nameTaken(DBTable& c, const stringT& name, bool* taken) {
  stringT probe = name.upper().trimRight();
  *taken = false;
  int rc = c.seek(probe);
  for (; rc == 0 && c.compareKey(probe) == 0; rc = c.skip(1)) {
    if (c.field(kConCode)->text().upper() != probe) break;  // a longer name: no exact one
    if (visibleContact(c)) {
      *taken = true;
      return 0;
    }
  }
  return rc == r4eof || rc == r4after || rc == 0 ? 0 : rc;
}

// name (UTF-8) in the table's code page, at most width bytes.
stringT storedName(const DBTable& c, const stringT& name, size_t width) {
  return stringT(toCodePage(name.view(), c.field(kConCode)->codePage(), width)).trimRight();
}

// name (cut to CODE's width), or the first name + " (n)" from n = 2 that
// no contact has; *out is in the table's code page.
int freeName(DBTable& c, const stringT& name, stringT* out) {
  const size_t width = c.field(kConCode)->width();
  *out = storedName(c, name, width);
  int rc = c.selectTag(*c.tag(kConTagCode));
  bool taken = false;
  if (rc == 0) rc = nameTaken(c, *out, &taken);
  for (int n = 2; rc == 0 && taken && n <= kMaxNameSuffix; ++n) {
    stringT suffix = stringT::format(" (%d)", n);
    *out = storedName(c, name, width - suffix.length()) + suffix;
    rc = nameTaken(c, *out, &taken);
  }
  int s = c.selectNatural();
  return rc != 0 ? rc : s;
}

}  // namespace

ContactWriteResult createContact(DatabaseContext& maintenance, const stringT& name, const stringT& email,
                                 NewContact* out, int* code) {
  *code = 0;
  DBTable c(maintenance, "contacts.dbf", kOpenExisting | kOpenQuiet, &contactsTableLayout());
  if (!c.isOpen()) {
    *code = c.openResult();
    return kContactCantOpen;
  }
  auto failed = [&](int rc) {
    *code = rc;
    return kContactCantAppend;
  };
  stringT stored;
  int rc = freeName(c, name, &stored);
  if (rc != 0) return failed(rc);
  long k = 0;
  rc = takeCounterKey(c, kConKey, c.tag(kConTagKey), &k);
  if (rc != 0) return failed(rc);
  rc = c.appendStart(false);
  if (rc != 0) {
    discardRecordChanges(c);
    return failed(rc);
  }
  rc = c.blankRecord();
  if (rc == 0) rc = c.markDeleted(false);
  if (rc == 0) rc = c.field(kConKey)->assignLong(k);
  if (rc == 0) rc = assignText(*c.field(kConCode), stored);
  if (rc == 0) rc = c.field(kConEmail)->assignUtf8Text(email.lower());
  if (rc == 0) rc = c.commit();
  // 25: the contact is stored, only left out of a unique CODE tag. 20
  // means a tag refused the record (a candidate tag already holds the
  // name): nothing was stored.
  if (rc != 0 && rc != r4uniqueContinue) {
    discardRecordChanges(c);
    (void)giveBackCounterKey(c, kConKey, k);
    return failed(rc);
  }
  rc = c.flush();
  if (rc != 0) return failed(rc);
  out->key = k;
  out->name = stringT(fromCodePage(stored.view(), c.field(kConCode)->codePage()));
  return kContactStored;
}
