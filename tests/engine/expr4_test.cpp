// The expression language over a plain record buffer (no data file).
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "engine/expr4.h"
#include "engine/expr4_internal.h"
#include "engine/i4key.h"

namespace {

// A record with fields laid out one after another after the deletion flag.
class FakeTable : public Expr4Source {
 public:
  void add(const std::string& name, char type, int len, int dec = 0) {
    Expr4Field f;
    f.name = name;
    f.type = type;
    f.len = len;
    f.dec = dec;
    f.offset = int(rec.size());
    fields[name] = f;
    rec.append(size_t(len), ' ');
  }
  void set(const std::string& name, const std::string& value) {
    const Expr4Field& f = fields.at(name);
    std::string v = value;
    v.resize(size_t(f.len), ' ');
    rec.replace(size_t(f.offset), size_t(f.len), v);
  }
  bool field(std::string_view name, Expr4Field& out) override {
    auto it = fields.find(std::string(name));
    if (it == fields.end()) return false;
    out = it->second;
    return true;
  }
  Expr4Source* alias(std::string_view name) override { return name == "OTHER" ? other : nullptr; }
  const char* record() override { return rec.data(); }
  long recNo() override { return recno; }
  long recCount() override { return 10; }
  std::string memoText(const Expr4Field&) override { return memo; }
  std::string dateFormat() override { return "MM/DD/YY"; }
  int error(int code, const std::string& text) override {
    lastError = code;
    lastText = text;
    return code;
  }

  std::map<std::string, Expr4Field> fields;
  std::string rec = " ";
  long recno = 1;
  std::string memo;
  int lastError = 0;
  std::string lastText;
  FakeTable* other = nullptr;
};

class Expr4Test : public ::testing::Test {
 protected:
  void SetUp() override {
    t.add("EMAIL", 'C', 20);
    t.add("DESC", 'C', 30);
    t.add("NAME", 'C', 10);
    t.add("NUM", 'N', 8, 2);
    t.add("KEY", 'N', 10);
    t.add("DATE", 'D', 8);
    t.add("TIME", 'C', 6);
    t.add("FLAG", 'L', 1);
    t.add("NOTES", 'M', 10);
    t.set("DESC", "the quick brown fox jumps over");
  }
  EXPR4* parse(const std::string& s) {
    EXPR4* e = expr4parseSource(&t, s);
    if (e) owned.emplace_back(e);
    return e;
  }
  int parseError(const std::string& s) {
    t.lastError = 0;
    EXPR4* e = parse(s);
    return e ? 0 : t.lastError;
  }
  std::string str(const std::string& s) {
    EXPR4* e = parse(s);
    return e ? expr4str(e) : "<error " + std::to_string(t.lastError) + ">";
  }
  int truth(const std::string& s) {
    EXPR4* e = parse(s);
    return e ? expr4true(e) : t.lastError;
  }
  FakeTable t;
  std::vector<std::unique_ptr<EXPR4>> owned;
};

TEST_F(Expr4Test, FilterOnTrimmedEmail) {
  const char* f = ".NOT.DELETED().AND.RECNO()>1.AND.TRIM(EMAIL)<>\"\"";
  t.recno = 2;
  EXPECT_EQ(truth(f), 0);  // blank email
  t.set("EMAIL", "a@b.c");
  EXPECT_EQ(truth(f), 1);
  t.recno = 1;
  EXPECT_EQ(truth(f), 0);
  t.recno = 2;
  t.rec[0] = '*';
  EXPECT_EQ(truth(f), 0);
}

// A literal right operand is folded into its operation and a numeric
// field read into its conversion: the results must be those of the same
// operations on computed operands.
TEST_F(Expr4Test, FoldedLiteralsAndFieldReadsGiveWhatComputedOperandsGive) {
  t.set("KEY", "        42");
  t.set("NUM", "   -3.25");
  t.set("NAME", "abc");
  t.set("DATE", "20240229");
  const char* pairs[][2] = {
      {"KEY=42", "KEY=VAL(\"42\")"},           {"KEY<>42", "KEY<>VAL(\"42\")"},
      {"KEY<43", "KEY<VAL(\"43\")"},           {"KEY>41.5", "KEY>VAL(\"41.5\")"},
      {"KEY<=42", "KEY<=VAL(\"42\")"},         {"KEY>=42.01", "KEY>=VAL(\"42.01\")"},
      {"NUM+1.5", "NUM+VAL(\"1.5\")"},         {"NUM-1", "NUM-VAL(\"1\")"},
      {"NUM*2", "NUM*VAL(\"2\")"},             {"NUM/4", "NUM/VAL(\"4\")"},
      {"NUM/0", "NUM/VAL(\"0\")"},             {"KEY**2", "KEY**VAL(\"2\")"},
      {"NAME+\"x\"", "NAME+LEFT(\"x\",1)"},   {"NAME-\"x\"", "NAME-LEFT(\"x\",1)"},
      {"NAME=\"ab\"", "NAME=LEFT(\"ab\",2)"}, {"NAME<\"abd\"", "NAME<LEFT(\"abd\",3)"},
      {"DTOS(DATE+1)", "DTOS(DATE+VAL(\"1\"))"}, {"DTOS(DATE-1)", "DTOS(DATE-VAL(\"1\"))"},
      {"5-KEY", "VAL(\"5\")-KEY"},
  };
  for (auto& [folded, computed] : pairs) EXPECT_EQ(str(folded), str(computed)) << folded;
  // Numeric text in all its forms, read straight from the record.
  const char* values[][2] = {{"1234567890", "1234567890"}, {"        -5", "-5"}, {"          ", "0"},
                             {"     1.5e3", "1500"},       {"  12345678", "12345678"}, {"-123456789", "-123456789"}};
  for (auto& [text, value] : values) {
    t.set("KEY", text);
    EXPECT_EQ(str("KEY+0"), value) << text;
    EXPECT_EQ(truth(std::string("KEY=") + value), 1) << text;
  }
}

TEST_F(Expr4Test, NumberFieldEqualitiesAreRecognisedWithTheirFieldAndNumber) {
  t.set("KEY", "        42");
  t.set("NUM", "   -3.25");
  EXPR4NUMFIELD key, num, f;
  double n = 0;
  ASSERT_TRUE(expr4fieldEqualsNumber(parse("KEY=42"), &key, &n));
  EXPECT_EQ(n, 42.0);
  EXPECT_EQ(expr4numField(key), 42.0);
  ASSERT_TRUE(expr4fieldEqualsNumber(parse("NUM = -3.25"), &num, &n));
  EXPECT_EQ(n, -3.25);
  EXPECT_EQ(expr4numField(num), -3.25);
  EXPECT_FALSE(key == num);
  ASSERT_TRUE(expr4fieldEqualsNumber(parse("key=7"), &f, &n));
  EXPECT_TRUE(f == key);
  for (const char* other : {"KEY>42", "KEY<>42", "42=KEY", "KEY=NUM", "KEY+1=43", "NAME=\"ab\"",
                            "KEY=42.OR.KEY=1", ".NOT.KEY=42", "KEY=VAL(\"42\")"})
    EXPECT_FALSE(expr4fieldEqualsNumber(parse(other), &f, &n)) << other;
}

TEST_F(Expr4Test, ConjunctionsAreRecognisedOnlyAtTheTop) {
  auto is = [&](const char* whole, const char* first, const char* rest) {
    return expr4isConjunction(parse(whole), parse(first), parse(rest));
  };
  EXPECT_TRUE(is("FLAG.AND.KEY>1.AND.NUM<2", "FLAG.AND.KEY>1", "NUM<2"));
  EXPECT_TRUE(is("KEY=1.AND.FLAG", "KEY=1", "FLAG"));
  EXPECT_TRUE(is("FLAG.AND..NOT.DELETED().AND.KEY=3.AND.NUM=1", "FLAG.AND..NOT.DELETED()", "KEY=3.AND.NUM=1"));
  EXPECT_FALSE(is("FLAG.AND.KEY>1.OR.NUM<2", "FLAG", "KEY>1.OR.NUM<2"));
  EXPECT_FALSE(is("FLAG.OR.KEY>1.AND.NUM<2", "FLAG.OR.KEY>1", "NUM<2"));
  EXPECT_FALSE(is("FLAG.AND.KEY>1", "FLAG", "KEY<1"));
}

TEST_F(Expr4Test, SubstrClampsStartAndNeedsConstants) {
  EXPECT_EQ(str("UPPER(SUBSTR(DESC, 0, 20))"), "THE QUICK BROWN FOX ");
  EXPECT_EQ(str("SUBSTR(DESC,1,20)"), str("SUBSTR(DESC,0,20)"));
  EXPECT_EQ(str("SUBSTR(DESC,5)"), "quick brown fox jumps over");
  EXPECT_EQ(str("LEFT(DESC,3)+RIGHT(DESC,4)"), "theover");
  EXPECT_EQ(parseError("SUBSTR(DESC,KEY,2)"), -425);
  EXPECT_EQ(parseError("STR(KEY,KEY)"), -425);
  EXPECT_EQ(parseError("IIF(FLAG,\"ab\",\"abc\")"), -422);
}

TEST_F(Expr4Test, StrOfLargeNumbersAndOverflow) {
  t.recno = 1;
  EXPECT_EQ(str("STR(4000000000-RECNO(),10,0)"), "3999999999");
  t.set("NUM", " -12.50");
  EXPECT_EQ(str("STR(NUM,8,2)"), "  -12.50");
  EXPECT_EQ(str("STR(NUM)"), "       -13");
  EXPECT_EQ(str("STR(123456,3)"), "***");
  EXPECT_EQ(str("STR(1.5,3,5)"), "1.5");  // decimals cut to length - 2
  // Whole numbers, and what only a full conversion reads.
  EXPECT_EQ(str("STR(VAL(\"  -42  \"),5)"), "  -42");
  EXPECT_EQ(str("STR(VAL(\"12 34\"),5)"), "   12");
  EXPECT_EQ(str("STR(VAL(\"0x1A\"),5)"), "   26");
  EXPECT_EQ(str("STR(VAL(\"-\"),5)"), "    0");
  EXPECT_EQ(str("STR(VAL(\"1234567890123456789\"),20)"), " 1234567890123456768");
  EXPECT_EQ(str("STR(VAL(\"" + std::string(50, ' ') + "7\"),5)"), "    0");  // beyond 49 characters
  // Lengths no int holds are clamped, not cast.
  EXPECT_EQ(str("STR(0-RECNO(),1044444444444444444444444,0)").size(), 255u);
  EXPECT_EQ(str("SUBSTR(DESC,99999999999999999999,99999999999999999999)"), "");
}

TEST_F(Expr4Test, NameWithoutBracketIsAField) {
  t.set("DATE", "19991231");
  t.set("TIME", "235959");
  EXPECT_EQ(str("STR(99999999-val(DTOS(DATE)),8,0)"), "80008768");
  EXPECT_EQ(str("STR(999999-val(TIME),6,0)"), "764040");
  EXPECT_EQ(parse("DATE()")->type, 'd');
}

TEST_F(Expr4Test, StringComparisonsUseTheShorterLengthAndNuls) {
  EXPECT_EQ(truth("\"AB\"=\"ABC\""), 0);
  EXPECT_EQ(truth("\"ABC\"=\"AB\""), 0);
  EXPECT_EQ(truth("\"AB\"$\"XABY\""), 1);
  EXPECT_EQ(truth("\"ABD\">\"ABC\""), 1);
  EXPECT_EQ(truth("\"ABC\"<\"ABCD\""), 1);
  EXPECT_EQ(truth("TRIM(\"AB  \")=\"AB\""), 1);
  EXPECT_EQ(truth("'AB'#[AB]"), 0);
}

TEST_F(Expr4Test, NaryAndAndNumberBeforeOperator) {
  EXPR4* e = parse("1=1.AND.2=2.AND.3=3");
  ASSERT_NE(e, nullptr);
  int ands = 0;
  for (const auto& op : e->ops)
    if (op.fn == expr4::Fn::And) {
      ands++;
      EXPECT_EQ(op.argc, 3);
    }
  EXPECT_EQ(ands, 1);
  EXPECT_EQ(expr4true(e), 1);
  EXPECT_EQ(truth("1>0.AND..NOT.FLAG"), 1);
  EXPECT_EQ(truth(".T..OR..F..AND..F."), 1);  // .AND. binds tighter
  EXPECT_EQ(str("2+3*4^2"), "50");
}

TEST_F(Expr4Test, ParseErrorsCarryTheExpression) {
  EXPECT_EQ(parseError("NOSUCH"), -210);
  EXPECT_EQ(t.lastText, "NOSUCH");
  EXPECT_EQ(parseError("FOO(1)"), -470);
  EXPECT_EQ(parseError("\"abc"), -500);
  EXPECT_EQ(parseError("(1+2"), -450);
  EXPECT_EQ(parseError("1+"), -410);
  EXPECT_EQ(parseError("1 ! 2"), -480);
  EXPECT_EQ(parseError("UPPER(NAME,1)"), -430);
  EXPECT_EQ(parseError("NAME+1"), -460);
  EXPECT_EQ(parseError("IIF(FLAG;1,2)"), -400);
  EXPECT_EQ(parseError("OTHER->NAME"), -420);
  EXPECT_EQ(parseError("@"), -490);
}

TEST_F(Expr4Test, UpperChangesOnlyAsciiLetters) {
  t.set("NAME", "m\xfcller z");
  EXPECT_EQ(str("UPPER(NAME)"), "M\xfcLLER Z  ");
}

TEST_F(Expr4Test, DatesAndConversions) {
  t.set("DATE", "20000101");
  EXPECT_DOUBLE_EQ(expr4double(parse("DATE")), 2451545);
  EXPECT_EQ(str("DTOS(DATE+1)"), "20000102");
  EXPECT_EQ(str("DTOC(DATE)"), "01/01/00");
  EXPECT_EQ(str("DTOS(CTOD(\"02/29/00\"))"), "20000229");
  EXPECT_EQ(str("DTOS(STOD(\"20010229\"))"), "        ");  // impossible date gives -1
  EXPECT_EQ(str("STR(YEAR(DATE),4)+STR(MONTH(DATE),2)"), "2000 1");
  EXPECT_EQ(str("DTOS(DATEVAL(36526))"), "20000101");
  // Dates carried out of range by arithmetic are blank, never a wild cast.
  for (const char* far : {"DATE-4444444444444444444444", "DATE+4444444444444444444444", "DATE+99999999"}) {
    EXPECT_EQ(str(std::string("DTOS(") + far + ")"), "        ") << far;
    EXPECT_EQ(str(std::string("DTOC(") + far + ")"), "  /  /  ") << far;
    EXPECT_EQ(str(std::string("ASCEND(") + far + ")"), "        ") << far;
    EXPECT_EQ(str(std::string("STR(YEAR(") + far + "),4)"), "   0") << far;
  }
  t.set("DATE", "");
  EXPECT_EQ(str("DTOS(DATE)"), "        ");
  EXPECT_EQ(str("STR(DATE-DATE,3)"), "  0");
}

TEST_F(Expr4Test, KeysOfEveryType) {
  t.set("NUM", "  -1.00");
  const char* key;
  EXPR4* e = parse("NUM");
  ASSERT_EQ(expr4key(e, &key), 0);
  EXPECT_EQ(std::string(key, 8), i4key::fromDouble(-1));
  EXPECT_EQ(expr4keyLen(e), 8);
  e = parse("FLAG");
  t.set("FLAG", "y");
  ASSERT_EQ(expr4key(e, &key), 0);
  EXPECT_EQ(key[0], 'T');
  EXPECT_EQ(expr4keyLen(e), 1);
  EXPECT_EQ(expr4keyType(parse("DATE")), 'D');
  EXPECT_EQ(expr4keyLen(parse("DESCEND(NAME)")), 10);
  t.set("NAME", "AB");
  EXPECT_EQ(uint8_t(expr4str(parse("DESCEND(NAME)"))[0]), uint8_t(~'A'));
}

TEST_F(Expr4Test, ConcatenationMovesTrailingPadding) {
  t.set("NAME", "ab");
  EXPECT_EQ(expr4vary(parse("TRIM(NAME)+\"x\"")), "abx");
  EXPECT_EQ(str("NAME-\"x\""), "abx        ");
  EXPECT_EQ(str("IIF(FLAG,\"yes\",\"no \")"), "no ");
  EXPECT_EQ(str("TTOS(0.5,\"HH:MM:SS\")"), "12:00:00");
  EXPECT_EQ(str("TTOS(0.75,\"HH:MM TT\")"), " 6:00 PM");
  // Times whose hour count cannot be held show as blanks, not garbage.
  EXPECT_EQ(str("TTOS(99999999999999999999,\"HH:MM\")"), "     ");
}

TEST_F(Expr4Test, MemoFieldsReadTheirText) {
  t.memo = "memo text";
  EXPR4* e = parse("NOTES");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->len, 1024);
  EXPECT_EQ(expr4vary(e), "memo text");
  EXPR4* k = expr4parseSource(&t, "NOTES", true);
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(k->len, 240);
  expr4free(k);
}

TEST_F(Expr4Test, AliasReferencesAreRefusedInTags) {
  FakeTable other;
  other.add("CODE", 'C', 4);
  other.set("CODE", "ZZ");
  t.other = &other;
  EXPECT_EQ(str("OTHER->CODE"), "ZZ  ");
  EXPECT_EQ(str("OTHER.CODE"), "ZZ  ");
  EXPECT_EQ(expr4parseSource(&t, "OTHER->CODE", true), nullptr);
  EXPECT_EQ(t.lastError, -510);
}

// Numbers no integer holds give 0 to the bit functions, never a wild cast.
// Numbers far outside what a date or a character can hold are taken as the
// blank date and as a byte, never converted with undefined behaviour (the
// sanitizer build checks float-to-integer casts).
TEST_F(Expr4Test, NumbersOutOfRangeBecomeBlankDatesAndBytes) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"DATE()-44444444444444444444444444444444", "        "},
      {"DATE()+44444444444444444444444444444444", "        "},
      {"DATE()-2222-44444444444444444444444444444444", "        "},
      {"DTOS(DATE()-44444444444444444444444444444444)", "        "},
      {"CHR(65)", "A"},
      {"CHR(321)", "A"},
  };
  for (const auto& c : cases) EXPECT_EQ(str(c.text), c.expected) << c.text;
  EXPECT_EQ(str("CHR(100000000000000000000)").size(), 1u);
}

TEST_F(Expr4Test, BitFunctionsTakeOnlyNumbersAnIntegerHolds) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"AND(12,10)", 8},
      {"OR(12,10)", 14},
      {"XOR(12,10)", 6},
      {"AND(-1,7)", 7},
      {"AND(100000000000000000000,3)", 0},
      {"OR(100000000000000000000,3)", 3},
      {"XOR(-100000000000000000000,5)", 5},
      {"OR(3,99999999999999999999*99999999999999999999)", 3},
  };
  for (const auto& c : cases) {
    EXPR4* e = parse(c.text);
    ASSERT_NE(e, nullptr) << c.text;
    EXPECT_DOUBLE_EQ(expr4double(e), c.value) << c.text;
  }
}

TEST_F(Expr4Test, HostileInputIsBounded) {
  std::string deep(5000, '(');
  EXPECT_NE(parseError(deep), 0);
  std::string nots;
  for (int i = 0; i < 200; i++) nots += ".NOT.";
  EXPECT_NE(parseError(nots + ".T."), 0);
}

}  // namespace
