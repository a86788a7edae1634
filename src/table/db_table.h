// DBTable: one open xBase table of a database directory, bound to a static
// field list and tag list (table_layout.h).
//
// Opening. A table is made from a database context, a file name (or a name
// pattern), an option word and optionally a layout. The option word is a
// value in its low byte plus flag bits:
//
//   | value | where                  | name              | opens    | creates                  |
//   |-------|------------------------|-------------------|----------|--------------------------|
//   | 0     | as 8                   |                   |          |                          |
//   | 1     | temporary directory    | from the pattern  | no       | always; alias "Temp Table %d"; deleted with the table |
//   | 2     | temporary directory    | from the pattern  | no       | always; deleted with the table |
//   | 3     | database directory     | from the pattern  | no       | always; deleted with the table |
//   | 4     | database directory     | from the pattern  | no       | always                   |
//   | 5, 6  | database directory     | given             | no       | always (replaces a file) |
//   | 7     | database directory     | given             | yes      | when the file is missing |
//   | 8     | database directory     | given             | yes      | never                    |
//   | 9     | database directory     | given             | yes, read only | never              |
//
//   | flag   | meaning                                                   |
//   |--------|-----------------------------------------------------------|
//   | 0x100  | quiet: open errors are not reported (a missing file is 70) |
//   | 0x400  | without the index: no production index opened or created  |
//   | 0x800  | exclusive access                                          |
//   | 0x1000 | shared access                                             |
//
// Without 0x800 / 0x1000 the access is exclusive exactly when the database
// context holds its directory exclusively. An absolute name ("/...") is
// used as it stands. Engine settings changed for an open are restored.
// After an open with a layout the file's fields must equal the field list
// ("*Incorrect Fields", -210) and every tag of the tag list must exist;
// otherwise the engine table is closed and the table is not open.
//
// Positions. Besides record numbers a table knows the special positions
// kPosNone (-1), kPosZero (-2), kPosAfter (-3, after the last record of the
// range), kPosBefore (-4) and kPosUnset (-5). The last three hold only while
// the engine table stands at its end of file.
//
// Range. A lower and an upper bound in the current order, each inclusive,
// exclusive or absent, with a text or a number. top, bottom, skip and the
// seeks stay inside it.
//
// Ownership: the table owns its engine handle (closes it when destroyed)
// unless told otherwise, and its field and tag objects. One thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/string.h"
#include "table/db_table_fields.h"
#include "table/table_layout.h"

struct CODE4;
struct DATA4;
struct TAG4;
class DatabaseContext;
class DBLookupLink;

// Option values and flags.
enum : int {
  kOpenTempAlias = 1,
  kOpenTemp = 2,
  kOpenTempInDatabase = 3,
  kOpenNewGenerated = 4,
  kOpenCreate = 5,
  kOpenReplace = 6,
  kOpenOrCreate = 7,
  kOpenExisting = 8,
  kOpenReadOnly = 9,
  kOpenQuiet = 0x100,
  kOpenNoIndex = 0x400,
  kOpenExclusive = 0x800,
  kOpenShared = 0x1000,
};

// Special positions.
enum : int32_t { kPosNone = -1, kPosZero = -2, kPosAfter = -3, kPosBefore = -4, kPosUnset = -5 };

// Range bound modes.
enum : int { kBoundInclusive = 0, kBoundExclusive = 1, kBoundNone = 2 };

class DBTable {
 public:
  // An ordering: one bound tag.
  class Ordering {
   public:
    virtual ~Ordering() = default;
    TAG4* tag() const { return tag_; }
    const char* name() const { return name_; }

   protected:
    Ordering(TAG4* tag, const char* name) : tag_(tag), name_(name) {}

   private:
    TAG4* tag_;
    const char* name_;
  };

  DBTable(DatabaseContext& db, const stringT& name, int options,
          const DBTableLayout* layout = nullptr);
  // Wraps an engine handle opened elsewhere (owned when owns is true).
  DBTable(DatabaseContext& db, DATA4* data, bool owns);
  virtual ~DBTable();
  DBTable(const DBTable&) = delete;
  DBTable& operator=(const DBTable&) = delete;

  // The result of the open: 0, 70 (missing), -210 (fields), or the engine's code.
  int openResult() const { return openResult_; }
  bool isOpen() const { return data_ != nullptr; }
  // Full path of the data file (as opened or created).
  const std::string& path() const { return path_; }
  DATA4* data() const { return data_; }
  DatabaseContext& database() const { return db_; }
  void setOwnsData(bool owns) { ownsData_ = owns; }
  // Closes the engine table now (writing what is pending); 0 or the
  // engine's code. The table is not open afterwards.
  [[nodiscard]] int close();

  // Whether the open file's fields are exactly those of the layout's field list.
  bool hasFields(const DBTableLayout& layout) const;
  // True when the table was created by this open (option 7 on a missing file).
  bool wasCreated() const { return created_; }

  // Field and tag objects.
  DBField* field(int n) const;
  int fieldCount() const { return fields_.count(); }
  DBField* fieldByName(const char* name) const;
  const DBTableFields& fields() const { return fields_; }
  // Tag number n of the tag list (nullptr when out of range or unbound).
  const Ordering* tag(int n) const;
  int tagCount() const { return static_cast<int>(tags_.size()); }

  // --- Navigation and positions (virtual, in slot order) ---
  virtual bool isValid() const;                         // 1
  virtual int32_t position() const;                     // 2
  [[nodiscard]] virtual int setPosition(int32_t position);            // 3
  [[nodiscard]] virtual int goBefore();                               // 4
  [[nodiscard]] virtual int goAfter();                                // 5
  [[nodiscard]] virtual int goUnset();                                // 6
  [[nodiscard]] virtual int top();                                    // 7
  [[nodiscard]] virtual int bottom();                                 // 8
  [[nodiscard]] virtual int goSpecial(int32_t special);               // 9
  [[nodiscard]] virtual int skip(long count);                         // 10
  virtual bool isAfter() const;                         // 11
  virtual bool isBefore() const;                        // 12
  virtual bool isUnset() const;                         // 13
  virtual bool atEof() const;                           // 14
  virtual bool atBof() const;                           // 15
  virtual bool noRecord() const;                        // 16
  virtual int32_t recordNumber() const;                 // 17
  virtual bool inRange();                               // 18
  [[nodiscard]] virtual int checkAfterMove(int rc, int direction);    // 19
  virtual DATA4* engineTable() const;                   // 20
  virtual CODE4* engineSettings() const;                // 21
  [[nodiscard]] virtual int selectNatural();                          // 22
  [[nodiscard]] virtual int selectOrdering(const Ordering* ordering); // 23
  virtual const Ordering* ordering() const;             // 24
  [[nodiscard]] virtual int seek(const stringT& text);                // 25
  [[nodiscard]] virtual int seek(double number);                      // 26
  virtual int compareKey(const DBField& field);         // 27
  virtual int compareKey(const stringT& bytes);         // 28
  virtual int compareKey(double number);                // 29
  [[nodiscard]] virtual int seekPast(const stringT& text);            // 30
  [[nodiscard]] virtual int seekPast(double number);                  // 31
  [[nodiscard]] virtual int keyText(DBField& into);                   // 32
  virtual double keyNumber();                           // 33
  virtual void clearUpper();                            // 34
  virtual void setUpper(const stringT& text, int mode); // 35
  virtual void setUpper(double number, int mode);       // 36
  virtual void clearLower();                            // 37
  virtual void setLower(const stringT& text, int mode); // 38
  virtual void setLower(double number, int mode);       // 39
  [[nodiscard]] virtual int selectTag(const Ordering& ordering);      // 40

  // Exact seeks: 0 found, 2 when the key found differs, 3, or an error.
  [[nodiscard]] int seekExact(const stringT& text);
  [[nodiscard]] int seekExact(double number);

  // --- Writing records ---
  // The engine's append start (a changed current record is written first);
  // the position becomes kPosAfter.
  [[nodiscard]] int appendStart(bool useMemo = false);
  // Writes the current record in place, or appends it after appendStart.
  [[nodiscard]] int commit();
  [[nodiscard]] int flush();
  // Goes to record n (natural numbering, ignoring order and range).
  [[nodiscard]] int go(int32_t recNo);
  int32_t recordCount() const;
  [[nodiscard]] int markDeleted(bool deleted);
  bool isDeleted() const;
  [[nodiscard]] int blankRecord();

  // Lookup links to other tables.
  void addLink(std::unique_ptr<DBLookupLink> link);
  // Positions every linked table on the record the master's current record
  // names. 0, or the first failing link's code.
  [[nodiscard]] int performLinks();

  // Counter for generated names, shared by all tables; starts at 72182178.
  static uint32_t& nameCounter();
  // Makes a name from pattern (see temp_names.h) for which no file exists
  // in directory.
  static std::string generateName(const std::string& directory, const std::string& pattern);

 private:
  struct Bound {
    int mode = kBoundNone;
    bool isNumber = false;
    stringT text;
    double number = 0;
  };

  void open(const stringT& name, int options, const DBTableLayout* layout);
  int openOrCreate(int value, int flags, const DBTableLayout* layout);
  // False (reported unless quiet, openResult_ set) when path_ exists but
  // this process cannot write it.
  bool refuseUnwritable(bool quiet);
  bool bindTags(const DBTableLayout& layout);
  void setUniqueAlias(int value);
  // Closes the data handle (writing its pending record); the close's
  // result, also left in the context when it failed.
  [[nodiscard]] int closeData();
  void removeTemporaryFiles();
  int rememberSpecial(int32_t special);
  // Key of the current record in the current order (record number when none).
  std::string currentKey();
  // The key form of a bound (or probe) for the current order.
  std::string boundKey(const Bound& bound);
  // -1 below, 0 inside, 1 above the range; key is the current key.
  int rangeSide(const std::string& key);
  int seekKey(const Bound& probe, bool past);
  int afterSeek(int rc);

  DatabaseContext& db_;
  DATA4* data_ = nullptr;
  bool ownsData_ = true;
  std::string path_;
  std::string temporaryPath_;  // deleted with the table (options 1 to 3)
  int openResult_ = 0;
  bool created_ = false;
  const Ordering* ordering_ = nullptr;
  Bound lower_, upper_;
  int32_t special_ = kPosUnset;
  bool appending_ = false;  // between appendStart and commit
  DBTableFields fields_;
  std::vector<std::unique_ptr<Ordering>> tags_;
  std::vector<std::unique_ptr<DBLookupLink>> links_;
};

// The ordering class that DBTable::selectOrdering accepts.
class DBRecordOrdering : public DBTable::Ordering {
 public:
  DBRecordOrdering(TAG4* tag, const char* name) : Ordering(tag, name) {}
};
