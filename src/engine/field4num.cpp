// Numeric field access: reading numbers from text and binary fields,
// writing them right-justified ("*"-filled when they do not fit), dates as
// Julian days, currency.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/code4.h"
#include "engine/data4.h"
#include "engine/data4_internal.h"
#include "engine/date4.h"
#include "engine/num4.h"

using coding4::getLe;
using coding4::putLe;

namespace {

coding4::Bytes fieldBytes(const FIELD4* f) {
  return coding4::bytes(f->data->record.data() + f->offset, f->len);
}

coding4::MutableBytes fieldBytes(FIELD4* f) {
  return coding4::bytes(f->data->record.data() + f->offset, f->len);
}

bool binaryMemoRef(const FIELD4* f) { return f->memo != nullptr && f->len == 4; }

int wrongType(FIELD4* f) { return error4describe(f->data->codeBase, e4parm, 0, f->name, "field type"); }

// A binary field narrower than its value (a damaged descriptor) takes none.
int tooNarrow(FIELD4* f) { return error4describe(f->data->codeBase, e4data, 0, f->name, "field too narrow"); }

}  // namespace

long f4long(const FIELD4* f) {
  const char* p = f->data->record.data() + f->offset;
  switch (f->type) {
    case 'B':
      return static_cast<long>(f4double(f));
    case 'D':
      return date4long(p);
    case 'I': {
      int32_t v = 0;
      getLe(fieldBytes(f), 0, &v);
      return v;
    }
    case 'Y': {
      int64_t v = 0;
      getLe(fieldBytes(f), 0, &v);
      return static_cast<long>(v / 10000);
    }
    default:
      if (binaryMemoRef(f)) {
        uint32_t v = 0;
        getLe(fieldBytes(f), 0, &v);
        return static_cast<long>(v);
      }
      return num4atol(p, f->len < 127 ? f->len : 127);
  }
}

int f4int(const FIELD4* f) { return static_cast<int>(f4long(f)); }

double f4double(const FIELD4* f) {
  switch (f->type) {
    case 'B': {
      uint64_t bits = 0;
      getLe(fieldBytes(f), 0, &bits);
      double v;
      memcpy(&v, &bits, sizeof v);
      return v;
    }
    case 'I':
      return static_cast<double>(f4long(f));
    case 'Y': {
      int64_t v = 0;
      getLe(fieldBytes(f), 0, &v);
      return static_cast<double>(v) / 10000.0;
    }
    case 'T': {
      int32_t day = 0, ms = 0;
      getLe(fieldBytes(f), 0, &day);
      getLe(fieldBytes(f), 4, &ms);
      return day + ms / 86400000.0;
    }
    default:
      if (binaryMemoRef(f)) return static_cast<double>(f4long(f));
      return num4atod(f->data->record.data() + f->offset, f->len < 49 ? f->len : 49);
  }
}

int f4assignLong(FIELD4* f, long value) {
  switch (f->type) {
    case '0': case 'L': case 'T':
      return wrongType(f);
    case 'D':
      if (int rc = f4changeCheck(f)) return rc;
      date4assign(f4ptr(f), value);
      break;
    case 'I':
      if (int rc = f4changeCheck(f)) return rc;
      if (!putLe(fieldBytes(f), 0, static_cast<int32_t>(value))) return tooNarrow(f);
      break;
    case 'B': case 'Y':
      return f4assignDouble(f, static_cast<double>(value));
    default:
      if ((f->type == 'N' || f->type == 'F') && f->dec > 0)
        return f4assignDouble(f, static_cast<double>(value));
      if (int rc = f4changeCheck(f)) return rc;
      if (binaryMemoRef(f)) {
        if (!putLe(fieldBytes(f), 0, static_cast<uint32_t>(value))) return tooNarrow(f);
      } else {
        num4formatLong(f4ptr(f), f->len, value);
      }
  }
  f4setNullBit(f, false);
  return 0;
}

int f4assignInt(FIELD4* f, int value) { return f4assignLong(f, value); }

int f4assignDouble(FIELD4* f, double value) {
  switch (f->type) {
    case '0': case 'L': case 'T':
      return wrongType(f);
    case 'D':
      return f4assignLong(f, static_cast<long>(value));
    case 'I':
      return f4assignLong(f, std::isfinite(value) ? static_cast<long>(value) : 0);
    case 'B': {
      if (int rc = f4changeCheck(f)) return rc;
      uint64_t bits;
      memcpy(&bits, &value, sizeof bits);
      if (!putLe(fieldBytes(f), 0, bits)) return tooNarrow(f);
      break;
    }
    case 'Y': {
      char text[64];
      snprintf(text, sizeof text, "%.4f", value);
      return f4assignCurrency(f, text);
    }
    default:
      if (f->memo != nullptr) return f4assignLong(f, static_cast<long>(value));
      if (int rc = f4changeCheck(f)) return rc;
      num4formatDouble(f4ptr(f), f->len, f->dec, value);
  }
  f4setNullBit(f, false);
  return 0;
}

int f4assignCurrency(FIELD4* f, const char* text) {
  if (f->type != 'Y') return wrongType(f);
  int64_t v = 0;
  if (!num4parseCurrency(text, strlen(text), &v))
    return error4describe(f->data->codeBase, e4parm, 0, f->name, text);
  if (int rc = f4changeCheck(f)) return rc;
  if (!putLe(fieldBytes(f), 0, v)) return tooNarrow(f);
  f4setNullBit(f, false);
  return 0;
}
