// Tables our engine writes, read back by an independent reader (Debian's
// python3-dbfread): every FoxPro 2.x type, memos around block boundaries.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/code4.h"
#include "engine/data4.h"

namespace {

std::string memoText(int i) {
  static const int sizes[] = {0, 1, 503, 504, 505, 511, 512, 1016, 1017, 1024, 5000};
  std::string s;
  int n = sizes[i % 11];
  for (int k = 0; k < n; ++k) s.push_back(static_cast<char>('A' + (k + i) % 26));
  return s;
}

}  // namespace

TEST(EnginePythonReader, DbfreadReadsWhatWeWrite) {
  if (!std::filesystem::exists("/usr/bin/python3") ||
      system("/usr/bin/python3 -c 'import dbfread' 2>/dev/null") != 0)
    GTEST_SKIP() << "python3-dbfread not installed";
  char tmpl[] = "/tmp/orv-pyreader-XXXXXX";
  std::string dir = mkdtemp(tmpl);
  CODE4 c;
  ASSERT_EQ(code4init(&c), 0);
  const FIELD4INFO fields[] = {{"NAME", 'C', 30, 0, 0}, {"QTY", 'N', 8, 0, 0}, {"PRICE", 'N', 10, 3, 0},
                               {"RATE", 'F', 12, 4, 0}, {"WHEN", 'D', 8, 0, 0}, {"OK", 'L', 1, 0, 0},
                               {"NOTES", 'M', 10, 0, 0}, {"PIC", 'G', 10, 0, 0}, {nullptr, 0, 0, 0, 0}};
  DATA4* d = d4create(&c, dir + "/all.dbf", fields);
  ASSERT_NE(d, nullptr);
  for (int i = 1; i <= 30; ++i) {
    ASSERT_EQ(d4appendStart(d, 0), 0);
    ASSERT_EQ(d4blank(d), 0);
    ASSERT_EQ(f4assign(d4field(d, "NAME"), ("name " + std::to_string(i)).c_str()), 0);
    ASSERT_EQ(f4assignLong(d4field(d, "QTY"), i * 7 - 50), 0);
    ASSERT_EQ(f4assignDouble(d4field(d, "PRICE"), i * 1.125), 0);
    ASSERT_EQ(f4assignDouble(d4field(d, "RATE"), -i / 8.0), 0);
    if (i % 5 != 0) {
      ASSERT_EQ(f4assignLong(d4field(d, "WHEN"), 2451545 + i * 31), 0);
    }
    ASSERT_EQ(f4assign(d4field(d, "OK"), i % 3 == 0 ? "T" : (i % 3 == 1 ? "F" : " ")), 0);
    ASSERT_EQ(f4memoAssign(d4field(d, "NOTES"), memoText(i).c_str()), 0);
    ASSERT_EQ(f4memoAssign(d4field(d, "PIC"), memoText(i + 3).c_str()), 0);
    ASSERT_EQ(d4append(d), 0);
  }
  // Rewrite a few memos in place and at new blocks.
  for (int i : {2, 7, 11}) {
    ASSERT_EQ(d4go(d, i), 0);
    ASSERT_EQ(f4memoAssign(d4field(d, "NOTES"), memoText(i + 1).c_str()), 0);
    ASSERT_EQ(d4write(d, i), 0);
  }
  ASSERT_EQ(d4close(d), 0);
  std::string script = dir + "/check.py";
  std::ofstream py(script);
  py << "import sys, datetime\n"
        "from dbfread import DBF\n"
        "sizes = [0, 1, 503, 504, 505, 511, 512, 1016, 1017, 1024, 5000]\n"
        "def memo(i):\n"
        "    return ''.join(chr(65 + (k + i) % 26) for k in range(sizes[i % 11]))\n"
        "rows = list(DBF(sys.argv[1], raw=False, char_decode_errors='strict'))\n"
        "assert len(rows) == 30, len(rows)\n"
        "for i, r in enumerate(rows, 1):\n"
        "    assert r['NAME'] == 'name %d' % i, r['NAME']\n"
        "    assert r['QTY'] == i * 7 - 50, r['QTY']\n"
        "    assert abs(r['PRICE'] - i * 1.125) < 0.001, r['PRICE']\n"
        "    assert abs(r['RATE'] + i / 8.0) < 0.0001, r['RATE']\n"
        "    want = None if i % 5 == 0 else datetime.date(2000, 1, 1) + datetime.timedelta(days=i * 31)\n"
        "    assert r['WHEN'] == want, (r['WHEN'], want)\n"
        "    assert r['OK'] == {0: True, 1: False, 2: None}[i % 3], r['OK']\n"
        "    notes = memo(i + 1) if i in (2, 7, 11) else memo(i)\n"
        "    got = r['NOTES'] or ''\n"
        "    assert got == notes, (i, len(got), len(notes))\n"
        "    pic = r['PIC'] or b''\n"
        "    assert pic == memo(i + 3).encode(), (i, len(pic))\n"
        "print('ok')\n";
  py.close();
  std::string cmd = "/usr/bin/python3 " + script + " " + dir + "/all.dbf 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  char buf[4096];
  std::string out;
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int status = pclose(p);
  EXPECT_EQ(status, 0) << out;
  EXPECT_EQ(out, "ok\n");
  std::filesystem::remove_all(dir);
}
