// Field text views: small objects that see a byte range as text, through
// which the table layer reads and changes fields.
//
//   Str4       abstract view: ptr() + len(), the operations below, and the
//              hooks a view overrides (storage check, may-change, changed,
//              growth).
//   Str4len    fixed view over a caller's bytes; a literal (const bytes) is
//              read-only and refuses changes with -930. Parts of any view
//              (substr, trimmed) are Str4len views that pass the change
//              checks on to the view they came from.
//   Str4max    view over a caller's buffer whose length varies up to the
//              buffer's capacity.
//   Str4flex   owning, growable view.
//   Str4field  the bytes of a FIELD4 in its handle's record buffer. Every
//              change first runs f4changeCheck (lockEnforce: -50; marks the
//              record changed) and clears the field's null bit. B, I and Y
//              fields read and take numbers as binary values.
//
// Lengths. assign takes the source's length in views that can change length
// (Str4max, Str4flex) and copies up to the view's length with blank fill in
// fixed ones. add, replace and pad grow views that can grow; other views
// keep what fits. insert and remove never change the length: insert loses
// the bytes it pushes past the end, remove fills the freed end with blanks.
// Positions past the end are clamped.
//
// Results: 0, or an error code: -935 for a view with no storage, -970 for a
// field view bound to no field, -920 when a flex view cannot grow, or what
// f4changeCheck reports. Only field views report through their context.
// Reads of a view with no storage give an empty text or 0.
//
// Sources may overlap the view they change (s.insert(s.substr(0, 2), 1)).
// A part view stays valid while its source's bytes do not move (a flex
// view moves them when it grows). str() returns a buffer of 257 bytes
// shared by all views, valid until the next str() call on any view.
#pragma once

#include <cstddef>
#include <string>

#include "engine/error4.h"

struct FIELD4;
class Str4len;

class Str4 {
 public:
  virtual ~Str4() = default;
  Str4& operator=(const Str4&) = delete;

  virtual const char* ptr() const = 0;  // nullptr: no storage
  virtual unsigned len() const = 0;
  virtual int decimals() const { return 0; }  // default for assignDouble

  // Changes. Each returns 0 or an error code.
  [[nodiscard]] int assign(const char* text);  // nullptr: empty text
  [[nodiscard]] int assign(const char* text, unsigned length);
  [[nodiscard]] int assign(const Str4& source);
  [[nodiscard]] int add(const char* text);
  [[nodiscard]] int add(const Str4& source);
  [[nodiscard]] int insert(const Str4& source, unsigned pos);
  int replace(const Str4& source, unsigned pos);
  int remove(unsigned pos, unsigned count);
  int fill(char ch);
  int pad(unsigned length);  // grows to length with blanks; never shrinks
  int trimRight();           // trailing blanks and NULs
  int trimLeft();            // leading blanks and NULs
  int upper();               // ASCII letters only
  int lower();
  // Right-justified in the view's length, leading blanks or zeros
  // ("-0012"); a value that does not fit fills the view with "*".
  virtual int assignLong(long value, bool zeroFill = false);
  // dec < 0: the view's decimals(); 0 decimals rounds to an integer.
  virtual int assignDouble(double value, int dec = -1, bool zeroFill = false);

  // Views on the same bytes, clamped to this view.
  Str4len trimmed();  // without trailing blanks and NULs
  Str4len substr(unsigned pos, unsigned length);

  // Reads.
  virtual const char* str() const;  // at most 256 bytes, NUL-terminated
  virtual double toDouble() const;  // first 49 bytes as decimal text
  virtual long toLong() const;      // first 127 bytes as decimal text
  long toJulian() const;            // CCYYMMDD: 0 blank, -1 not a date

  bool equal(const Str4& other) const;  // same length and bytes
  bool less(const Str4& other) const;   // unsigned bytes, then length

 protected:
  Str4() = default;
  Str4(const Str4&) = default;

  // Hooks. storageError: 0, -935 or -970. mayChange runs before a change
  // touches a byte, changed after it.
  virtual int storageError() const { return ptr() == nullptr ? e4parmNull : 0; }
  virtual int mayChange() { return 0; }
  virtual void changed() {}
  // Growth: views with resizable() take any length up to maximum().
  virtual bool resizable() const { return false; }
  virtual unsigned maximum() const { return len(); }
  virtual int setLen(unsigned) { return 0; }
  // Bytes reachable from ptr(), for the overlap check of sources.
  virtual size_t storageSize() const { return len(); }

  static int storageErrorOf(const Str4& s) { return s.storageError(); }
  static int mayChangeOf(Str4& s) { return s.mayChange(); }
  static void changedOf(Str4& s) { s.changed(); }

  // Writable bytes; only called after beginChange() succeeded.
  char* bytes() { return const_cast<char*>(ptr()); }
  int beginChange();
  int assignBytes(const char* p, size_t n);
  int addBytes(const char* p, size_t n);
  // Adds shift to every byte in first..last (upper and lower case).
  int changeCase(char first, char last, int shift);
  // Takes a private copy of p when it lies in this view's storage.
  const char* unshared(const char* p, size_t n, std::string& copy) const;
  unsigned clampLen(size_t n) const;
  int sourceBytes(const Str4& s, const char** p, size_t* n) const;
  // sourceBytes, beginChange, and a copy of the source when it overlaps us.
  int beginChangeFrom(const Str4& source, const char** p, size_t* n, std::string& copy);
  static char* sharedText();  // the 257-byte buffer of str()
};

bool operator==(const Str4& a, const Str4& b);
bool operator<(const Str4& a, const Str4& b);

class Str4len : public Str4 {
 public:
  Str4len(char* p, unsigned n) : p_(p), len_(p ? n : 0) {}
  Str4len(const char* p, unsigned n) : p_(p), len_(p ? n : 0), readOnly_(true) {}
  explicit Str4len(const char* text);
  Str4len(const Str4len&) = default;

  const char* ptr() const override { return p_; }
  unsigned len() const override { return len_; }

 protected:
  int storageError() const override;
  int mayChange() override;
  void changed() override;

 private:
  friend class Str4;
  Str4len(const char* p, unsigned n, Str4* owner) : p_(p), len_(n), owner_(owner) {}
  const char* p_;
  unsigned len_;
  bool readOnly_ = false;
  Str4* owner_ = nullptr;  // part views: the view the bytes belong to
};

class Str4max : public Str4 {
 public:
  Str4max(char* buffer, unsigned capacity, unsigned length = 0)
      : p_(buffer), cap_(buffer ? capacity : 0), len_(length < cap_ ? length : cap_) {}
  Str4max(const Str4max&) = default;

  const char* ptr() const override { return p_; }
  unsigned len() const override { return len_; }

 protected:
  bool resizable() const override { return true; }
  unsigned maximum() const override { return cap_; }
  int setLen(unsigned n) override;
  size_t storageSize() const override { return cap_; }

 private:
  char* p_;
  unsigned cap_;
  unsigned len_;
};

class Str4flex : public Str4 {
 public:
  Str4flex() = default;
  Str4flex(const Str4flex& other) : Str4(), buf_(other.buf_) {}
  Str4flex& operator=(const Str4flex& other);

  const char* ptr() const override { return buf_.data(); }
  unsigned len() const override { return static_cast<unsigned>(buf_.size()); }
  const char* c_str() const { return buf_.c_str(); }

 protected:
  bool resizable() const override { return true; }
  unsigned maximum() const override { return 0x7FFFFFFFu; }
  int setLen(unsigned n) override;
  size_t storageSize() const override { return buf_.capacity(); }

 private:
  std::string buf_;
};

class Str4field : public Str4 {
 public:
  explicit Str4field(FIELD4* f = nullptr) : field_(f) {}
  Str4field(const Str4field&) = default;
  void bind(FIELD4* f) { field_ = f; }
  FIELD4* field() const { return field_; }

  const char* ptr() const override;
  unsigned len() const override;
  int decimals() const override;

  int assignLong(long value, bool zeroFill = false) override;
  int assignDouble(double value, int dec = -1, bool zeroFill = false) override;
  const char* str() const override;
  double toDouble() const override;
  long toLong() const override;

 protected:
  int storageError() const override { return field_ == nullptr ? e4struct : 0; }
  int mayChange() override;
  void changed() override;

 private:
  bool binaryNumber() const;  // B, I, Y
  FIELD4* field_;
};
