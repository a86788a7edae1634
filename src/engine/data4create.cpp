// d4create: checking a field list, writing a new data file (FoxPro 2.x or
// Visual FoxPro) and its memo file, then opening it.
#include <cstring>
#include <string>
#include <vector>

#include "engine/code4.h"
#include "engine/data4.h"
#include "engine/data4_internal.h"
#include "engine/date4.h"
#include "engine/index4_hooks.h"
#include "platform/file.h"

namespace {

struct Layout {
  std::vector<Dbf4Descriptor> descriptors;
  bool vfp = false;
  bool hasMemo = false;
  uint32_t recordLength = 1;
  uint32_t headerLength = 0;
};

int refuse(CODE4* c, const char* name, const char* why) {
  return error4describe(c, e4data, 0, name ? name : "", why);
}

// Fills d from one field list entry; 0 or -200.
int describeField(CODE4* c, const FIELD4INFO& in, bool vfp, Dbf4Descriptor* d) {
  size_t nameLen = strlen(in.name);
  if (nameLen == 0 || nameLen > 10) return refuse(c, in.name, "bad field name");
  for (size_t i = 0; i < nameLen; ++i) {
    char ch = in.name[i];
    d->name[i] = ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 32) : ch;
  }
  char type = in.type >= 'a' && in.type <= 'z' ? static_cast<char>(in.type - 32) : in.type;
  d->type = type;
  d->width = in.len;
  d->decimals = static_cast<uint8_t>(in.dec);
  bool extended = c->allowExtendedTypes != 0;
  switch (type) {
    case 'C':
      if (in.len == 0) return refuse(c, in.name, "bad width");
      d->decimals = 0;
      break;
    case 'W':
      if (!extended || in.len == 0) return refuse(c, in.name, "type W needs extended types");
      break;
    case 'N': case 'F':
      if (in.len == 0 || in.len > 254 || in.dec > 15 || (in.dec > 0 && in.dec + 1 >= in.len))
        return refuse(c, in.name, "bad width or decimals");
      break;
    case 'D': d->width = 8; d->decimals = 0; break;
    case 'L': d->width = 1; d->decimals = 0; break;
    case 'M': case 'G': case 'X':
      if (type == 'X' && !vfp) return refuse(c, in.name, "type X needs a Visual FoxPro file");
      d->type = type == 'X' ? 'M' : type;
      d->width = vfp ? 4 : 10;
      d->decimals = 0;
      if (type == 'X') d->flags |= kField4Binary;  // read back as X
      break;
    case 'B':
      if (!vfp) return refuse(c, in.name, "type B needs a Visual FoxPro file");
      d->width = 8;
      if (in.dec > 15) return refuse(c, in.name, "bad decimals");
      d->flags |= kField4Binary;
      break;
    case 'I': case 'T': case 'Y':
      if (!vfp) return refuse(c, in.name, "type needs a Visual FoxPro file");
      d->width = type == 'I' ? 4 : 8;
      d->decimals = type == 'Y' ? 4 : 0;
      d->flags |= kField4Binary;
      break;
    case 'Z':
      if (!vfp || in.len == 0) return refuse(c, in.name, "type Z needs a Visual FoxPro file");
      d->type = 'C';
      d->flags |= kField4Binary;
      break;
    default:
      return refuse(c, in.name, "unrecognized field type");
  }
  if (vfp && in.nulls == r4null) d->flags |= kField4Nullable;
  return 0;
}

int buildLayout(CODE4* c, const FIELD4INFO* fields, Layout* out) {
  out->vfp = c->fileCompatibility == 30;
  int nullable = 0;
  for (const FIELD4INFO* in = fields; in != nullptr && in->name != nullptr; ++in) {
    Dbf4Descriptor d;
    if (int rc = describeField(c, *in, out->vfp, &d)) return rc;
    if (d.flags & kField4Nullable) ++nullable;
    if (d.type == 'M' || d.type == 'G') out->hasMemo = true;
    out->descriptors.push_back(d);
  }
  if (out->descriptors.empty()) return refuse(c, "", "no fields");
  if (nullable > 0) {
    Dbf4Descriptor d;
    strcpy(d.name, "_NullFlags");
    d.type = '0';
    d.width = static_cast<uint16_t>((nullable + 7) / 8);
    d.flags = kField4System | kField4Binary;
    out->descriptors.push_back(d);
  }
  uint64_t recordLength = 1;
  for (Dbf4Descriptor& d : out->descriptors) {
    d.offset = static_cast<uint32_t>(recordLength);
    recordLength += d.width;
  }
  if (recordLength >= 65535) return error4(c, e4recordLen, 0);
  uint64_t n = out->descriptors.size();
  uint64_t headerLength = out->vfp ? 32 * n + 32 + 1 + kVfpBacklinkSize : 32 * n + 33;
  if (headerLength > 65534) return error4describe(c, e4create, 0, "header too long");
  out->recordLength = static_cast<uint32_t>(recordLength);
  out->headerLength = static_cast<uint32_t>(headerLength);
  return 0;
}

// The header's bytes; empty when a part did not fit (not written then).
std::vector<uint8_t> headerImage(CODE4* c, const Layout& l) {
  // FoxPro 2.x: the 0x1A after the terminator lies just past the header;
  // the first record overwrites it.
  std::vector<uint8_t> image(l.headerLength + (l.vfp ? 0 : 1), 0);
  Dbf4Header h;
  h.version = l.vfp ? '0' : (l.hasMemo ? 0xF5 : 0x03);
  int y, m, d;
  date4todayParts(&y, &m, &d);
  h.year = static_cast<uint8_t>(y % 100);
  h.month = static_cast<uint8_t>(m);
  h.day = static_cast<uint8_t>(d);
  h.headerLength = static_cast<uint16_t>(l.headerLength);
  h.recordLength = static_cast<uint16_t>(l.recordLength);
  h.flags = l.vfp && l.hasMemo ? 0x02 : 0;
  h.codePage = static_cast<uint8_t>(c->codePageMark);
  coding4::MutableBytes all(image);
  if (!dbf4encodeHeader(h, all)) return {};
  size_t pos = kDbfHeaderSize;
  for (const Dbf4Descriptor& d : l.descriptors) {
    if (pos > all.size() || !dbf4encodeDescriptor(d, all.subspan(pos))) return {};
    pos += kDbfDescriptorSize;
  }
  if (pos + (l.vfp ? 1 : 2) > image.size()) return {};
  image[pos] = kDbfTerminator;
  if (!l.vfp) image[pos + 1] = kDbfEof;
  return image;
}

std::string memoNameOf(const std::string& dataName) {
  size_t slash = dataName.rfind('/');
  size_t dot = dataName.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
    return dataName + ".fpt";
  return dataName.substr(0, dot) + ".fpt";
}

// Closes every handle of an open data file of that name; false if it stays open.
bool closeOpenFile(CODE4* c, const std::string& fileName) {
  std::string upper = fileName;
  for (char& ch : upper)
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
  DATA4FILE* f = data4fileFind(c, upper);
  for (size_t guard = 0; f != nullptr && guard < 10000; ++guard) {
    DATA4* victim = nullptr;
    for (auto& h : c->dataHandles)
      if (h->dataFile == f) victim = h.get();
    if (victim == nullptr || d4close(victim) < 0) break;
    f = data4fileFind(c, upper);
  }
  return f == nullptr;
}

// Writes the data and memo files; returns 0 and the data file's name.
int writeFiles(CODE4* c, std::string_view name, const Layout& l, std::string* fileName,
               bool* temporary) {
  FILE4 file;
  *temporary = name.empty();
  int rc = *temporary ? file4temp(&file, c, false, "DBF") : file4create(&file, c, data4fileName(c, name));
  if (rc != 0) return rc > 0 ? rc : rc;
  *fileName = file.name;
  file.removeOnClose = false;
  std::vector<uint8_t> image = headerImage(c, l);
  rc = image.empty() ? error4describe(c, e4create, 0, file.name.c_str(), "header")
                     : file4write(&file, 0, image.data(), image.size());
  int closed = file4close(&file);
  if (rc == 0) rc = closed;
  if (rc == 0 && l.hasMemo) {
    MEMO4FILE memo;
    rc = memo4fileCreate(&memo, c, memoNameOf(*fileName));
    closed = memo4fileClose(&memo);
    if (rc == 0) rc = closed;
  }
  if (rc != 0) code4fileSystem(c).remove(*fileName);
  return rc;
}

}  // namespace

DATA4* d4create(CODE4* c, std::string_view name, const FIELD4INFO* fields, const TAG4INFO* tags) {
  if (error4code(c) < 0) return nullptr;
  Layout layout;
  if (buildLayout(c, fields, &layout) != 0) return nullptr;
  if (!name.empty() && !closeOpenFile(c, data4fileName(c, name))) {
    error4describe(c, e4create, 0, std::string(name).c_str(), "file is open");
    return nullptr;
  }
  std::string fileName;
  bool temporary = false;
  if (writeFiles(c, name, layout, &fileName, &temporary) != 0) return nullptr;
  bool hasTags = tags != nullptr && tags->name != nullptr;
  char saveMode = c->accessMode;
  int saveAuto = c->autoOpenIndex;
  if (hasTags) c->accessMode = OPEN4DENY_RW;  // nobody else while the index is built
  c->autoOpenIndex = 0;
  DATA4* d = d4open(c, fileName);
  c->accessMode = saveMode;
  c->autoOpenIndex = saveAuto;
  FileSystem& fs = code4fileSystem(c);
  if (d == nullptr) {
    fs.remove(fileName);
    if (layout.hasMemo) fs.remove(memoNameOf(fileName));
    return nullptr;
  }
  if (hasTags) {
    int rc = index4hookCreateProduction(d, tags);
    int saved = error4set(c, 0);
    int closed = d4close(d);
    if (rc == 0 && closed < 0) rc = closed;  // left in the context too
    else error4set(c, saved);
    if (rc != 0) {
      fs.remove(fileName);
      if (layout.hasMemo) fs.remove(memoNameOf(fileName));
      return nullptr;
    }
    d = d4open(c, fileName);
    if (d == nullptr) return nullptr;
  }
  if (temporary) {
    d->dataFile->file.removeOnClose = true;
    if (layout.hasMemo) d->dataFile->memo.file.removeOnClose = true;
  }
  return d;
}
