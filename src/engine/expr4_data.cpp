// Binds the expression language to a data handle: fields, record buffer,
// record number and count, memo texts, other open tables by alias, and the
// context's error reporting.
#include <cstring>

#include "engine/code4.h"
#include "engine/data4.h"
#include "engine/expr4.h"
#include "engine/i4key.h"

namespace {

class DataSource final : public Expr4Source {
 public:
  // file: the index file whose tag the expression belongs to, named in
  // every error the expression reports; "" for other expressions.
  explicit DataSource(DATA4* d, std::string file = {}) : d_(d), file_(std::move(file)) {}

  bool field(std::string_view name, Expr4Field& out) override {
    for (FIELD4& f : d_->fields) {
      if (f.system || name != f.name) continue;
      out.name = f.name;
      out.type = f.type == 'M' && f.binary ? 'X' : f.type;
      if (f.type == 'G') out.type = 'M';
      out.len = f.len;
      out.dec = f.dec;
      out.offset = int(f.offset);
      out.nullable = f.nullable;
      out.handle = &f;
      return true;
    }
    return false;
  }
  Expr4Source* alias(std::string_view name) override {
    DATA4* other = code4data(d_->codeBase, name);
    if (!other) return nullptr;
    if (other == d_) return this;
    for (auto& s : others_)
      if (s->d_ == other) return s.get();
    others_.push_back(std::make_unique<DataSource>(other));
    return others_.back().get();
  }
  const char* record() override { return d_->record.data(); }
  long recNo() override { return d_->recNum; }
  long recCount() override { return d4recCount(d_); }
  std::string memoText(const Expr4Field& f) override {
    auto* field = static_cast<FIELD4*>(const_cast<void*>(f.handle));
    const char* p = f4memoPtr(field);
    return p ? std::string(p, f4memoLen(field)) : std::string();
  }
  std::string dateFormat() override { return d_->codeBase->dateFormat; }
  int error(int code, const std::string& text) override {
    return error4describe(d_->codeBase, code, 0, text.c_str(), file_.empty() ? nullptr : file_.c_str());
  }
  bool reportExprErrors() override { return d_->codeBase->errorOnExpr != 0; }
  int memoExprLen() override { return d_->codeBase->memoExprLength; }

 private:
  DATA4* d_;
  std::string file_;
  std::vector<std::unique_ptr<DataSource>> others_;
};

EXPR4* parseFor(DATA4* d, const char* text, bool forTag, const char* file = nullptr) {
  if (!d || !text) return nullptr;
  auto src = std::make_unique<DataSource>(d, file != nullptr ? file : "");
  EXPR4* e = expr4parseSource(src.get(), text, forTag);
  if (e) e->ownedSource = std::move(src);
  return e;
}

}  // namespace

EXPR4* expr4parse(DATA4* d, const char* text) { return parseFor(d, text, false); }
EXPR4* expr4parseTag(DATA4* d, const char* text, const char* indexFile) {
  return parseFor(d, text, true, indexFile);
}
