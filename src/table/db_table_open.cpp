// DBTable: opening, creating and closing (the option word in db_table.h).
#include <cerrno>
#include <cstring>

#include "common/string_mapper.h"
#include "engine/code4.h"
#include "engine/data4.h"
#include "engine/error4.h"
#include "engine/index4.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "table/database_context.h"
#include "table/db_lookup_link.h"
#include "table/db_table.h"
#include "table/engine_context.h"
#include "table/path_names.h"
#include "table/temp_names.h"

namespace {

// Full names as the caller wrote them: "\" is a separator, and a Windows
// drive prefix ("C:\") or "\\" marks a full path, as "/" does.
std::string normalisedName(const stringT& name) {
  std::string n = name.str();
  for (char& c : n)
    if (c == '\\') c = '/';
  if (n.size() >= 3 && n[1] == ':' && n[2] == '/') n = n.substr(2);
  if (n.rfind("//", 0) == 0) n = n.substr(1);
  return n;
}

// The engine settings an open changes, restored when it goes out of scope.
class SavedSettings {
 public:
  explicit SavedSettings(CODE4* c)
      : c_(c),
        createSafety_(c->createSafety),
        errorOnOpen_(c->errorOnOpen),
        autoOpenIndex_(c->autoOpenIndex),
        accessMode_(c->accessMode) {}
  ~SavedSettings() {
    c_->createSafety = createSafety_;
    c_->errorOnOpen = errorOnOpen_;
    c_->autoOpenIndex = autoOpenIndex_;
    c_->accessMode = accessMode_;
  }

 private:
  CODE4* c_;
  char createSafety_;
  int errorOnOpen_;
  int autoOpenIndex_;
  char accessMode_;
};

bool aliasInUse(CODE4* c, const std::string& alias, const DATA4* self) {
  for (auto& h : c->dataHandles) {
    if (h.get() == self || h->alias.size() != alias.size()) continue;
    if (strncasecmp(h->alias.c_str(), alias.c_str(), alias.size()) == 0) return true;
  }
  return false;
}

uint32_t tempAliasCounter = 1;

}  // namespace

uint32_t& DBTable::nameCounter() {
  static uint32_t counter = kFirstNameNumber;
  return counter;
}

std::string DBTable::generateName(const std::string& directory, const std::string& pattern) {
  FileSystem& fs = platformFileSystem();
  for (;;) {
    std::string name = generatedName(pattern, nameCounter()++);
    if (!hasExtension(name)) name += ".dbf";
    std::string path = directory + "/" + name;
    if (!fs.exists(fs.resolveName(path))) return path;
  }
}

DBTable::DBTable(DatabaseContext& db, const stringT& name, int options, const DBTableLayout* layout)
    : db_(db) {
  open(name, options, layout);
}

DBTable::DBTable(DatabaseContext& db, DATA4* data, bool owns) : db_(db), data_(data), ownsData_(owns) {
  if (data_ != nullptr) {
    path_ = data_->dataFile->file.name;
    fields_.bind(data_);
  }
}

DBTable::~DBTable() {
  // No caller to tell: a failed close stays in the context's error.
  (void)closeData();
  removeTemporaryFiles();
}

int DBTable::close() {
  if (data_ == nullptr) return 0;
  int rc = 0;
  if (ownsData_) {
    rc = d4close(data_);
    data_ = nullptr;
  }
  int closed = closeData();
  return rc ? rc : closed;
}

int DBTable::closeData() {
  links_.clear();
  tags_.clear();
  ordering_ = nullptr;
  fields_.clear();
  int rc = 0;
  if (data_ != nullptr && ownsData_) {
    // An earlier error would keep d4close from writing the pending record.
    CODE4* c = data_->codeBase;
    int saved = error4set(c, 0);
    rc = d4close(data_);
    if (saved < 0 && rc == 0) error4set(c, saved);
  }
  data_ = nullptr;
  return rc;
}

void DBTable::removeTemporaryFiles() {
  if (temporaryPath_.empty()) return;
  FileSystem& fs = platformFileSystem();
  std::string base = withoutExtension(temporaryPath_);
  for (const char* ext : {".dbf", ".cdx", ".fpt"}) (void)fs.remove(base + ext);
  temporaryPath_.clear();
}

void DBTable::open(const stringT& name, int options, const DBTableLayout* layout) {
  int value = options & 0xFF;
  int flags = options & ~0xFF;
  if (value == 0) value = kOpenExisting;
  if (value > kOpenReadOnly || (layout == nullptr && value < kOpenExisting)) {
    db_.reportError("DBTable::DBTable -- Illegal option value");
    value = kOpenExisting;
  }
  if ((flags & kOpenExclusive) && (flags & kOpenShared)) {
    db_.reportError("DBTable::DBTable -- Illegal option bits");
    flags &= ~(kOpenExclusive | kOpenShared);
  }
  bool quiet = (flags & kOpenQuiet) != 0;
  std::string given = normalisedName(name);

  if (value <= kOpenNewGenerated) {
    std::string directory = db_.directory();
    if (value <= kOpenTemp) {
      directory = platformFileSystem().tempDirectory();
      DirectoryInfo info;
      if (directory.empty() && directoryInfo("/tmp", &info) == 0 && info.isDirectory) directory = "/tmp";
      if (directory.empty()) {
        if (!quiet) db_.reportError("Cannot find temporary directory");
        openResult_ = e4create;
        return;
      }
    }
    std::string pattern = given.empty() ? std::string(kDefaultNamePattern) : baseName(given);
    path_ = generateName(directory, pattern);
    if (value <= kOpenTempInDatabase) temporaryPath_ = path_;
  } else {
    path_ = db_.pathOf(given);
    if (!hasExtension(path_)) path_ += ".dbf";
    path_ = platformFileSystem().resolveName(path_);
  }

  CODE4* c = db_.engine();
  if (value >= kOpenOrCreate && value != kOpenReadOnly && !db_.readOnly() && db_.writesItsTables() &&
      !refuseUnwritable(quiet))
    return;
  {
    SavedSettings saved(c);
    int savedError = 0;
    if (quiet) {
      c->errorOnOpen = 0;
      savedError = error4set(c, 0);
    }
    if (flags & kOpenNoIndex) c->autoOpenIndex = 0;
    if (flags & kOpenExclusive)
      c->accessMode = OPEN4DENY_RW;
    else if (flags & kOpenShared)
      c->accessMode = OPEN4DENY_NONE;
    else
      c->accessMode = db_.exclusive() ? OPEN4DENY_RW : OPEN4DENY_NONE;
    openResult_ = openOrCreate(value, flags, layout);
    if (quiet && savedError < 0) error4set(c, savedError);
  }
  if (data_ == nullptr) return;
  if (value == kOpenReadOnly) data_->readOnly = true;

  if (layout != nullptr && !hasFields(*layout)) {
    (void)closeData();  // nothing was written; the field error is the one reported
    db_.reportError("*Incorrect Fields", stringT(path_));
    openResult_ = e4fieldName;
    return;
  }
  fields_.bind(data_);
  if (layout != nullptr && !(flags & kOpenNoIndex) && !bindTags(*layout)) {
    (void)closeData();  // nothing was written; the tag error is the one reported
    openResult_ = e4tagName;
    return;
  }
  setUniqueAlias(value);
}

int DBTable::openOrCreate(int value, int flags, const DBTableLayout* layout) {
  CODE4* c = db_.engine();
  clearLastEngineError();
  auto failure = [&](int fallback) {
    int code = lastEngineError();
    if (code == 0) code = error4code(c);
    return code != 0 ? code : fallback;
  };
  auto openIt = [&] {
    data_ = d4open(c, path_);
    return data_ != nullptr ? 0 : failure(r4noOpen);
  };
  auto createIt = [&] {
    std::vector<FIELD4INFO> fields;
    for (const DBFieldInfo& f : layout->fields) fields.push_back({f.name, f.type, f.width, f.decimals, f.nulls});
    fields.push_back({nullptr, 0, 0, 0, 0});
    std::vector<TAG4INFO> tags;
    if (!(flags & kOpenNoIndex))
      for (const DBTagInfo& t : layout->tags)
        tags.push_back({t.name, t.expression, t.filter, t.unique, t.descending});
    tags.push_back({nullptr, nullptr, nullptr, 0, 0});
    data_ = d4create(c, path_, fields.data(), tags.size() > 1 ? tags.data() : nullptr);
    created_ = data_ != nullptr;
    return data_ != nullptr ? 0 : failure(r4noCreate);
  };

  if (value == kOpenOrCreate) {
    // A missing file is created; nothing is reported for it. Any other
    // failure to open is the engine's to report.
    FileSystem& fs = code4fileSystem(c);
    if (fs.exists(path_)) return openIt();
    int rc = createIt();
    if (rc == 0) return 0;
    if (fs.exists(path_)) return openIt();  // made by someone else meanwhile
    return rc;
  }
  if (value >= kOpenExisting) return openIt();
  c->createSafety = 0;
  return createIt();
}

bool DBTable::refuseUnwritable(bool quiet) {
  // The engine would open such a file read-only without a word, and a
  // second handle on it would then be refused as a duplicate instance.
  // The caller means to write: say that it cannot, and why.
  FileSystem& fs = code4fileSystem(db_.engine());
  if (!fs.exists(path_)) return true;
  int err = fileWriteAccess(path_);
  if (err == 0 && !fs.readOnlyAttribute(path_)) return true;
  stringT reason = err != 0 ? stringT(std::strerror(err)) : translate("*The file is marked read-only");
  if (!quiet) db_.reportError("*Cannot open the file for writing", stringT(path_) + "\r\n" + reason);
  openResult_ = e4open;
  return false;
}

bool DBTable::hasFields(const DBTableLayout& layout) const {
  if (data_ == nullptr) return false;
  if (d4numFields(data_) != static_cast<int>(layout.fields.size())) return false;
  for (size_t i = 0; i < layout.fields.size(); ++i) {
    const DBFieldInfo& want = layout.fields[i];
    const FIELD4* f = d4fieldJ(data_, static_cast<int>(i) + 1);
    if (strcasecmp(f4name(f), want.name) != 0 || f4type(f) != want.type || f4len(f) != want.width ||
        f4decimals(f) != want.decimals)
      return false;
  }
  return true;
}

bool DBTable::bindTags(const DBTableLayout& layout) {
  tags_.clear();
  for (const DBTagInfo& info : layout.tags) {
    TAG4* t = d4tag(data_, info.name);
    if (t == nullptr) return false;
    tags_.push_back(std::make_unique<DBRecordOrdering>(t, info.name));
  }
  return true;
}

void DBTable::setUniqueAlias(int value) {
  CODE4* c = db_.engine();
  if (value == kOpenTempAlias) {
    d4aliasSet(data_, stringT::format("Temp Table %u", tempAliasCounter++).view());
    return;
  }
  std::string alias = d4alias(data_);
  std::string tryAlias = alias;
  for (int n = 1; aliasInUse(c, tryAlias, data_); ++n) tryAlias = alias + stringT::format("X%d", n).str();
  if (tryAlias != alias) d4aliasSet(data_, tryAlias);
}

DBField* DBTable::field(int n) const { return fields_.field(n, &db_); }

DBField* DBTable::fieldByName(const char* name) const {
  for (int i = 0; i < fields_.count(); ++i) {
    DBField* f = fields_.field(i, nullptr);
    if (strcasecmp(f->name(), name) == 0) return f;
  }
  return nullptr;
}

const DBTable::Ordering* DBTable::tag(int n) const {
  return n >= 0 && n < tagCount() ? tags_[n].get() : nullptr;
}

void DBTable::addLink(std::unique_ptr<DBLookupLink> link) { links_.push_back(std::move(link)); }

int DBTable::performLinks() {
  int result = 0;
  for (auto& link : links_) {
    int rc = link->perform();
    if (rc != 0 && result == 0) result = rc;
  }
  return result;
}
