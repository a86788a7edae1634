#include "table/db_table_copy.h"

#include <cstring>
#include <string>
#include <vector>

#include "engine/data4.h"
#include "engine/date4.h"
#include "engine/error4.h"
#include "table/database_context.h"
#include "table/db_table.h"
#include "table/progress_reporter.h"

namespace {

// Copies one field by value; both fields exist and are of compatible use.
int copyField(const DBField& from, DBField& to) {
  if (to.isMemo() || from.isMemo()) return to.assign(from.isMemo() ? from.raw() : from.text());
  if ((to.type() == 'N' || to.type() == 'F') && (from.type() == 'N' || from.type() == 'F')) {
    if (from.raw().trim().empty()) return to.blank();
    return to.decimals() == 0 && from.decimals() == 0 ? to.assignLong(from.asLong())
                                                       : to.assignDouble(from.asDouble());
  }
  return to.assign(from.raw());
}

// Goes on unless the reporter asks to stop.
bool goOn(DatabaseContext& db) { return db.progress() == nullptr || db.progress()->stepRecord(); }

}  // namespace

void normaliseDateField(DBTable& table, int n) {
  DBField* f = table.field(n);
  if (f == nullptr || f->type() != 'D') return;
  stringT text = f->raw();
  if (text.length() != 8 || date4long(text.c_str()) >= 0) return;
  (void)f->blank();
}

int CopyRecords(DBTable& source, DBTable& destination, const CopyRecordHook& perRecord) {
  if (!source.isOpen() || !destination.isOpen()) return e4struct;
  DatabaseContext& db = destination.database();
  (void)source.selectNatural();
  int32_t count = source.recordCount();
  if (count < 0) return count;
  if (db.progress() != nullptr) db.progress()->setCount(count);

  // Destination field number -> source field (nullptr: none).
  std::vector<DBField*> from(destination.fieldCount(), nullptr);
  for (int i = 0; i < destination.fieldCount(); ++i)
    from[i] = source.fieldByName(destination.field(i)->name());

  for (int32_t r = 1; r <= count; ++r) {
    int rc = source.go(r);
    if (rc != 0) return rc < 0 ? rc : e4read;
    if (!source.isDeleted()) {
      rc = destination.appendStart(false);
      if (rc == 0) rc = destination.blankRecord();
      for (int i = 0; rc == 0 && i < destination.fieldCount(); ++i)
        if (from[i] != nullptr) rc = copyField(*from[i], *destination.field(i));
      if (rc != 0) return rc;
      for (int i = 0; i < destination.fieldCount(); ++i) normaliseDateField(destination, i);
      if (perRecord && !perRecord(source, destination)) return 0;
      rc = destination.commit();
      if (rc != 0) return rc;
    }
    if (!goOn(db)) return e4codeBase;
  }
  return destination.flush();
}

int CopyTable(DatabaseContext& db, const stringT& sourceName, const stringT& destinationName) {
  int sourceOptions = (db.exclusive() ? kOpenExisting : kOpenReadOnly) | kOpenNoIndex;
  DBTable source(db, sourceName, sourceOptions);
  if (!source.isOpen()) return source.openResult() != 0 ? source.openResult() : e4open;

  // The source's own field list, names kept alive here.
  std::vector<std::string> names;
  std::vector<DBFieldInfo> fields;
  names.reserve(source.fieldCount());
  for (int i = 0; i < source.fieldCount(); ++i) {
    FIELD4* f = source.field(i)->engineField();
    names.emplace_back(f4name(f));
    fields.push_back({names.back().c_str(), f->type, static_cast<uint16_t>(f4len(f)),
                      static_cast<uint16_t>(f4decimals(f)), 0});
  }
  DBTableLayout layout{fields, {}};
  DBTable destination(db, destinationName, kOpenReplace | kOpenNoIndex, &layout);
  if (!destination.isOpen()) return destination.openResult() != 0 ? destination.openResult() : e4create;

  int32_t count = source.recordCount();
  if (count < 0) return count;
  if (db.progress() != nullptr) db.progress()->setCount(count);
  DATA4* in = source.data();
  DATA4* out = destination.data();
  unsigned width = d4recWidth(in);
  for (int32_t r = 1; r <= count; ++r) {
    int rc = source.go(r);
    if (rc != 0) return rc < 0 ? rc : e4read;
    if (!d4deleted(in)) {
      rc = destination.appendStart(false);
      if (rc != 0) return rc;
      std::memcpy(d4record(out), d4record(in), width);
      for (DBField* memo : destination.fields().memoFields()) {
        DBField* original = source.fieldByName(memo->name());
        rc = memo->blank();
        if (rc == 0 && original != nullptr) rc = memo->assign(original->raw());
        if (rc != 0) return rc;
      }
      for (int i = 0; i < destination.fieldCount(); ++i) normaliseDateField(destination, i);
      rc = destination.commit();
      if (rc != 0) return rc;
    }
    if (!goOn(db)) return e4codeBase;
  }
  int rc = destination.flush();
  int closed = destination.close();
  return rc != 0 ? rc : closed;
}
