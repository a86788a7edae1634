// d4open and d4close: reading and checking a data file's header and field
// descriptors, the length checks and repairs, building a data handle.
#include <algorithm>
#include <cstring>

#include "engine/code4.h"
#include "engine/data4.h"
#include "engine/data4_internal.h"
#include "engine/index4_hooks.h"
#include "platform/file.h"

namespace {

char asciiUpper(char ch) { return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 32) : ch; }

std::string upperCopy(std::string_view s) {
  std::string out(s);
  for (char& ch : out) ch = asciiUpper(ch);
  return out;
}

// True when the type letter may appear in a file of this kind.
bool typeAccepted(const CODE4* c, bool vfp, char type) {
  switch (type) {
    case 'C': case 'W': case 'N': case 'F': case 'D': case 'L': case 'M': case 'G':
      return true;
    case 'B':
      return vfp || c->allowExtendedTypes;
    case 'I': case 'T': case 'Y':
      return vfp;
    default:
      return false;
  }
}

// Fixed widths of the binary types; 0 when any width is allowed.
int requiredWidth(char type) {
  switch (type) {
    case 'I': return 4;
    case 'B': case 'T': case 'Y': return 8;
    default: return 0;
  }
}

int dataError(CODE4* c, const DATA4FILE* f, const char* why) {
  return error4describe(c, e4data, loc4open, f->file.name.c_str(), why);
}

// Reads the descriptors and computes field offsets; 0 or -200.
int readDescriptors(CODE4* c, DATA4FILE* f) {
  const Dbf4Header& h = f->header;
  std::vector<char> image(h.headerLength);
  int64_t n = file4read(&f->file, 0, image.data(), image.size());
  if (n < 0) return static_cast<int>(n);
  if (n < h.headerLength) return dataError(c, f, "header past end of file");
  auto bytes = coding4::bytes(image.data(), image.size());
  uint32_t offset = 1;
  int nullable = 0;
  size_t pos = kDbfHeaderSize;
  for (;; pos += kDbfDescriptorSize) {
    if (pos >= image.size()) return dataError(c, f, "field descriptors without terminator");
    if (static_cast<uint8_t>(image[pos]) == kDbfTerminator) break;
    Dbf4Descriptor d;
    if (!dbf4decodeDescriptor(bytes.subspan(pos), &d))
      return dataError(c, f, "field descriptors without terminator");
    bool nullFlags = f->vfp && d.type == '0' && strcmp(d.name, "_NullFlags") == 0;
    if (!nullFlags && !typeAccepted(c, f->vfp, d.type))
      return dataError(c, f, "unrecognized field type");
    int need = requiredWidth(d.type);
    if (d.width == 0 || (need != 0 && d.width != need)) return dataError(c, f, "bad field width");
    if (offset + d.width > h.recordLength) return dataError(c, f, "fields overflow the record");
    if (f->vfp && (d.flags & kField4Nullable) && !nullFlags) ++nullable;
    f->descriptors.push_back(d);
    f->fieldOffsets.push_back(offset);
    offset += d.width;
  }
  if (f->descriptors.empty()) return dataError(c, f, "no fields");
  if (nullable > 0) {
    const Dbf4Descriptor& last = f->descriptors.back();
    if (last.type != '0' || last.width * 8 < nullable) return dataError(c, f, "bad _NullFlags");
  }
  return 0;
}

// The length checks, and the repairs made when the file is not shared.
int checkLength(CODE4* c, DATA4FILE* f) {
  Dbf4Header& h = f->header;
  int64_t len = file4len(&f->file);
  if (len < 0) return static_cast<int>(len);
  int64_t expected = int64_t(h.headerLength) + int64_t(h.recordCount) * h.recordLength;
  int64_t diff = len - (expected + 1);
  if (diff > h.recordLength || -diff > h.recordLength)
    return dataError(c, f, "file length does not match the record count");
  if (f->accessMode == OPEN4DENY_NONE) return 0;
  if (!f->readOnly) {
    if (len < expected) {
      int64_t whole = len < h.headerLength ? 0 : (len - h.headerLength) / h.recordLength;
      h.recordCount = static_cast<uint32_t>(whole);
      f->recCount = static_cast<int32_t>(whole);
      uint8_t image[kDbfHeaderSize];
      int rc = file4readAll(&f->file, 0, image, sizeof image);
      if (rc != 0) return rc;
      if (!coding4::putLe(coding4::MutableBytes(image), 4, h.recordCount))
        return error4describe(c, e4result, 0, f->file.name.c_str());
      rc = file4write(&f->file, 0, image, sizeof image);
      if (rc != 0) return rc;
      expected = int64_t(h.headerLength) + int64_t(h.recordCount) * h.recordLength;
    }
    if (len > expected + 1) {
      int rc = file4lenSet(&f->file, expected);
      if (rc != 0) return rc;
      len = expected;
    }
  }
  if (len != expected && len != expected + 1)
    return dataError(c, f, "file length does not match the record count");
  return 0;
}

std::string memoNameFor(CODE4* c, const std::string& dataName) {
  size_t slash = dataName.rfind('/');
  size_t dot = dataName.rfind('.');
  std::string base = (dot == std::string::npos || (slash != std::string::npos && dot < slash))
                         ? dataName
                         : dataName.substr(0, dot);
  return code4fileSystem(c).resolveName(base + ".FPT");
}

// Opens the physical file and reads everything about it.
int openDataFile(CODE4* c, DATA4FILE* f, const std::string& name) {
  f->codeBase = c;
  int rc = file4open(&f->file, c, name);
  if (rc != 0) return rc;
  f->accessMode = f->file.accessMode;
  f->readOnly = f->file.isReadOnly;
  uint8_t image[kDbfHeaderSize];
  int64_t n = file4read(&f->file, 0, image, sizeof image);
  if (n < 0) return static_cast<int>(n);
  if (n < kDbfHeaderSize || !dbf4decodeHeader(coding4::Bytes(image, sizeof image), &f->header))
    return dataError(c, f, "header too short");
  Dbf4Header& h = f->header;
  f->vfp = h.version == '0';
  if (h.recordLength == 0) return dataError(c, f, "record length 0");
  if (h.headerLength < kDbfHeaderSize + 1) return dataError(c, f, "header length too small");
  if (h.recordCount > 0x7FFFFFFE) return dataError(c, f, "record count too large");
  rc = checkLength(c, f);
  if (rc != 0) return rc;
  rc = readDescriptors(c, f);
  if (rc != 0) return rc;
  f->recCount = f->accessMode != OPEN4DENY_NONE ? static_cast<int32_t>(h.recordCount) : -1;
  f->hasMemo = f->vfp ? (h.flags & 0x02) != 0 : (h.version & 0x80) != 0;
  if (f->hasMemo) {
    rc = memo4fileOpen(&f->memo, c, memoNameFor(c, name));
    if (rc != 0) return rc;
  }
  return 0;
}

// The checks for a second handle on a file already open in the context.
int checkReuse(CODE4* c, const DATA4FILE* f) {
  bool refused = c->singleOpen == 1 || (f->readOnly && c->readOnly != 1) ||
                 (c->accessMode == OPEN4DENY_RW && f->accessMode != OPEN4DENY_RW) ||
                 (c->accessMode == OPEN4DENY_WRITE && f->accessMode == OPEN4DENY_NONE);
  if (!refused) return 0;
  return error4describe(c, e4instance, loc4open, f->file.name.c_str());
}

}  // namespace

std::string data4fileName(CODE4* c, std::string_view name) {
  std::string n(name);
  size_t slash = n.rfind('/');
  size_t dot = n.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) n += ".dbf";
  return code4fileSystem(c).resolveName(n);
}

std::string data4aliasFor(std::string_view fileName) {
  size_t slash = fileName.rfind('/');
  std::string_view base = slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
  size_t dot = base.rfind('.');
  if (dot != std::string_view::npos) base = base.substr(0, dot);
  return upperCopy(base.substr(0, 32));
}

DATA4FILE* data4fileFind(CODE4* c, const std::string& upperName) {
  for (auto& f : c->dataFiles)
    if (f->upperName == upperName) return f.get();
  return nullptr;
}

DATA4* d4open(CODE4* c, std::string_view name) {
  if (error4code(c) < 0) return nullptr;
  std::string fileName = data4fileName(c, name);
  std::string upper = upperCopy(fileName);
  DATA4FILE* f = data4fileFind(c, upper);
  if (f != nullptr) {
    if (checkReuse(c, f) != 0) return nullptr;
  } else {
    auto owned = std::make_unique<DATA4FILE>();
    owned->upperName = upper;
    if (openDataFile(c, owned.get(), fileName) != 0) {
      // The open failure is the error reported; nothing was written.
      (void)memo4fileClose(&owned->memo);
      (void)file4close(&owned->file);
      return nullptr;
    }
    f = owned.get();
    c->dataFiles.push_back(std::move(owned));
  }
  DATA4* d = data4handleCreate(c, f);
  if (d == nullptr) return nullptr;
  if (c->autoOpenIndex && (f->header.flags & 0x01) && index4hookOpenProduction(d) != 0) {
    int saved = error4set(c, 0);
    (void)d4close(d);  // nothing was changed; the open's error is the one reported
    error4set(c, saved);
    return nullptr;
  }
  return d;
}

DATA4* data4handleCreate(CODE4* c, DATA4FILE* f) {
  auto owned = std::make_unique<DATA4>();
  DATA4* d = owned.get();
  d->codeBase = c;
  d->dataFile = f;
  d->alias = data4aliasFor(f->file.name);
  d->readOnly = f->readOnly;
  size_t len = f->header.recordLength;
  d->record.assign(len + 1, ' ');
  d->record[len] = 0;
  d->fields.resize(f->descriptors.size());
  int nullBit = 0;
  for (size_t i = 0; i < f->descriptors.size(); ++i) {
    const Dbf4Descriptor& desc = f->descriptors[i];
    FIELD4& fld = d->fields[i];
    fld.data = d;
    size_t n = strnlen(desc.name, 10);
    while (n > 0 && desc.name[n - 1] == ' ') --n;
    for (size_t k = 0; k < n; ++k) fld.name[k] = asciiUpper(desc.name[k]);
    fld.type = desc.type;
    fld.len = desc.width;
    fld.dec = desc.decimals;
    fld.offset = f->fieldOffsets[i];
    fld.binaryFlag = f->vfp && (desc.flags & kField4Binary) != 0;
    fld.binary = fld.binaryFlag;
    fld.system = desc.type == '0';
    if (fld.system) d->nullFlags = &fld;
    if (f->vfp && (desc.flags & kField4Nullable) && !fld.system) {
      fld.nullable = true;
      fld.nullBit = nullBit++;
    }
    if (fld.type == 'M' || fld.type == 'G') {
      d->memos.push_back(std::make_unique<F4MEMO>());
      fld.memo = d->memos.back().get();
      if (fld.len == 4) fld.binary = true;
    }
    if (fld.type == 'B' || fld.type == 'I' || fld.type == 'T' || fld.type == 'Y') fld.binary = true;
  }
  // The blank template: deletion flag blank, each field blanked.
  for (FIELD4& fld : d->fields) data4blankField(&fld, d->record.data());
  if (d->nullFlags != nullptr) {
    // Every nullable field starts null in a blank record.
    for (FIELD4& fld : d->fields)
      if (fld.nullable) f4setNullBit(&fld, true);
  }
  d->recordBlank = d->record;
  d->recordOld = d->record;
  f->userCount++;
  c->dataHandles.push_back(std::move(owned));
  return d;
}

int d4close(DATA4* d) {
  CODE4* c = d->codeBase;
  DATA4FILE* f = d->dataFile;
  int rc = 0;
  if (error4code(c) >= 0) {
    rc = d4updateRecord(d, false);
    if (rc == 0) rc = index4hookFlush(d);
  } else {
    rc = e4codeBase;
  }
  int r = index4hookClose(d);
  if (r < 0 && rc == 0) rc = r;
  // Releasing the locks writes a deferred header; keep the first failure.
  r = d4unlock(d);
  if (r < 0 && rc == 0) rc = r;
  f->userCount--;
  auto& handles = c->dataHandles;
  handles.erase(std::remove_if(handles.begin(), handles.end(),
                               [d](const std::unique_ptr<DATA4>& h) { return h.get() == d; }),
                handles.end());
  if (f->userCount > 0) return rc;
  if (f->fileChanged && !f->readOnly && error4code(c) >= 0) {
    if (f->accessMode == OPEN4DENY_NONE) f->recCount = -1;
    r = d4writeHeader(f);
    if (r < 0 && rc == 0) rc = r;
  }
  r = memo4fileClose(&f->memo);
  if (r < 0 && rc == 0) rc = r;
  r = file4close(&f->file);
  if (r < 0 && rc == 0) rc = r;
  auto& files = c->dataFiles;
  files.erase(std::remove_if(files.begin(), files.end(),
                             [f](const std::unique_ptr<DATA4FILE>& p) { return p.get() == f; }),
              files.end());
  return rc;
}
