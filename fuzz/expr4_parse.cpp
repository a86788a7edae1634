// Compiles the fuzzer's bytes as an expression over a small fixed record
// and evaluates what compiles, in every result form.
#include <cstdint>
#include <map>
#include <string>

#include "engine/expr4.h"

namespace {

class Table : public Expr4Source {
 public:
  Table() {
    add("NAME", 'C', 20);
    add("NUM", 'N', 8, 2);
    add("DATE", 'D', 8);
    add("FLAG", 'L', 1);
    add("NOTES", 'M', 10);
    rec.replace(1, 20, "Some Name           ");
    rec.replace(21, 8, "  -12.50");
    rec.replace(29, 8, "20000229");
    rec[37] = 'T';
  }
  void add(const std::string& n, char type, int len, int dec = 0) {
    Expr4Field f;
    f.name = n;
    f.type = type;
    f.len = len;
    f.dec = dec;
    f.offset = int(rec.size());
    fields[n] = f;
    rec.append(size_t(len), ' ');
  }
  bool field(std::string_view name, Expr4Field& out) override {
    auto it = fields.find(std::string(name));
    if (it == fields.end()) return false;
    out = it->second;
    return true;
  }
  Expr4Source* alias(std::string_view name) override { return name == "T" ? this : nullptr; }
  const char* record() override { return rec.data(); }
  long recNo() override { return 3; }
  long recCount() override { return 9; }
  std::string memoText(const Expr4Field&) override { return "memo text of some length"; }
  std::string dateFormat() override { return "MM/DD/CCYY"; }
  int error(int code, const std::string&) override { return code; }
  std::map<std::string, Expr4Field> fields;
  std::string rec = " ";
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Table table;
  std::string text(reinterpret_cast<const char*>(data), size);
  for (int forTag = 0; forTag < 2; forTag++) {
    EXPR4* e = expr4parseSource(&table, text, forTag != 0);
    if (!e) continue;
    const char* r;
    (void)expr4execute(e, &r);
    (void)expr4str(e);
    (void)expr4vary(e);
    (void)expr4double(e);
    if (expr4type(e) == 'L') (void)expr4true(e);
    const char* key;
    (void)expr4key(e, &key);
    expr4free(e);
  }
  return 0;
}
