// Appends, sequential reads and in-place updates of a 100,000-record table
// with three memo fields, against SQLite (WAL, synchronous=OFF, one
// transaction per row) doing the same work in the same run. Prints the
// times and the ratios (SQLite time / engine time; above 1 = we are faster).
// Usage: bench_engine_dbf [records]
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "append_floor.h"
#include "fair_start.h"
#include "engine/code4.h"
#include "engine/data4.h"

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::string memo(int i, int which) { return std::string(100 + (i * 37 + which * 11) % 400, char('a' + which)); }

struct Times {
  double append = 0, read = 0, update = 0;
  long memoBytes = 0;  // size of the engine's memo file after the appends
  int recordLength = 0;
};

Times engineRun(const std::string& dir, int n) {
  Times t;
  CODE4 c;
  if (code4init(&c) != 0) exit(1);
  c.lockAttempts = 10;
  c.unlockBeforeLock = 2;
  const FIELD4INFO fields[] = {{"KEY", 'N', 10, 0, 0}, {"NAME", 'C', 40, 0, 0}, {"WHEN", 'D', 8, 0, 0},
                               {"M1", 'M', 10, 0, 0},  {"M2", 'M', 10, 0, 0},   {"M3", 'M', 10, 0, 0},
                               {nullptr, 0, 0, 0, 0}};
  DATA4* d = d4create(&c, dir + "/bench.dbf", fields);
  if (d == nullptr) exit(1);
  FIELD4 *key = d4field(d, "KEY"), *name = d4field(d, "NAME"), *when = d4field(d, "WHEN");
  FIELD4* m[3] = {d4field(d, "M1"), d4field(d, "M2"), d4field(d, "M3")};
  settleWrites();
  auto start = std::chrono::steady_clock::now();
  for (int i = 1; i <= n; ++i) {
    int rc = d4appendStart(d, 0);
    if (rc == 0) rc = d4blank(d);
    if (rc == 0) rc = f4assignLong(key, i);
    if (rc == 0) rc = f4assign(name, ("name of row " + std::to_string(i)).c_str());
    if (rc == 0) rc = f4assignLong(when, 2451545 + i % 3000);
    for (int k = 0; k < 3 && rc == 0; ++k) rc = f4memoAssign(m[k], memo(i, k).c_str());
    if (rc != 0 || d4append(d) != 0) exit(2);
  }
  t.append = seconds(start);
  t.memoBytes = static_cast<long>(std::filesystem::file_size(dir + "/bench.fpt"));
  t.recordLength = static_cast<int>(d4recWidth(d));
  start = std::chrono::steady_clock::now();
  long sum = 0;
  for (int rc = d4top(d); rc == 0; rc = d4skip(d, 1)) {
    sum += f4long(key);
    for (int k = 0; k < 3; ++k) sum += static_cast<long>(f4memoLen(m[k]));
  }
  t.read = seconds(start);
  start = std::chrono::steady_clock::now();
  for (int i = 1; i <= n; ++i) {
    if (d4go(d, i) != 0) exit(3);
    if (f4assign(name, "updated") != 0 || f4memoAssign(m[0], memo(i + 1, 0).substr(0, 50).c_str()) != 0 ||
        d4write(d, i) != 0)
      exit(4);
  }
  t.update = seconds(start);
  (void)d4close(d);
  if (sum == 0) printf("(no data)\n");
  return t;
}

void exec(sqlite3* db, const char* sql) {
  char* err = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
    fprintf(stderr, "sqlite: %s\n", err);
    exit(5);
  }
}

void step(sqlite3_stmt* statement) {
  int rc = sqlite3_step(statement);
  sqlite3_reset(statement);
  if (rc != SQLITE_DONE) {
    fprintf(stderr, "sqlite: %s\n", sqlite3_errstr(rc));
    exit(5);
  }
}

Times sqliteRun(const std::string& dir, int n) {
  Times t;
  sqlite3* db;
  sqlite3_open((dir + "/bench.sqlite").c_str(), &db);
  exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF;");
  exec(db, "CREATE TABLE t(key INTEGER, name TEXT, whenday TEXT, m1 TEXT, m2 TEXT, m3 TEXT)");
  // BEGIN and COMMIT prepared once, as a program that commits every row would.
  sqlite3_stmt *begin, *commit, *ins;
  sqlite3_prepare_v2(db, "BEGIN", -1, &begin, nullptr);
  sqlite3_prepare_v2(db, "COMMIT", -1, &commit, nullptr);
  sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,?,?,?,?,?)", -1, &ins, nullptr);
  settleWrites();
  auto start = std::chrono::steady_clock::now();
  for (int i = 1; i <= n; ++i) {
    step(begin);
    std::string nm = "name of row " + std::to_string(i), m1 = memo(i, 0), m2 = memo(i, 1), m3 = memo(i, 2);
    sqlite3_bind_int(ins, 1, i);
    sqlite3_bind_text(ins, 2, nm.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 3, "20000101", -1, SQLITE_STATIC);
    sqlite3_bind_text(ins, 4, m1.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 5, m2.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 6, m3.c_str(), -1, SQLITE_TRANSIENT);
    step(ins);
    step(commit);
  }
  t.append = seconds(start);
  sqlite3_stmt* sel;
  sqlite3_prepare_v2(db, "SELECT key, m1, m2, m3 FROM t ORDER BY rowid", -1, &sel, nullptr);
  start = std::chrono::steady_clock::now();
  long sum = 0;
  while (sqlite3_step(sel) == SQLITE_ROW) {
    sum += sqlite3_column_int(sel, 0);
    for (int k = 1; k <= 3; ++k) sum += sqlite3_column_bytes(sel, k);
  }
  t.read = seconds(start);
  sqlite3_stmt* upd;
  sqlite3_prepare_v2(db, "UPDATE t SET name=?, m1=? WHERE rowid=?", -1, &upd, nullptr);
  start = std::chrono::steady_clock::now();
  for (int i = 1; i <= n; ++i) {
    step(begin);
    std::string m1 = memo(i + 1, 0).substr(0, 50);
    sqlite3_bind_text(upd, 1, "updated", -1, SQLITE_STATIC);
    sqlite3_bind_text(upd, 2, m1.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(upd, 3, i);
    step(upd);
    step(commit);
  }
  t.update = seconds(start);
  for (sqlite3_stmt* done : {begin, commit}) sqlite3_finalize(done);
  sqlite3_finalize(ins);
  sqlite3_finalize(sel);
  sqlite3_finalize(upd);
  sqlite3_close(db);
  if (sum == 0) printf("(no data)\n");
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  int n = argc > 1 ? atoi(argv[1]) : 100000;
  char tmpl[] = "/tmp/orv-bench-XXXXXX";
  std::string dir = mkdtemp(tmpl);
  warmFreeMemory(size_t(n) * 8 * 1024);  // three runs of three short memos a record
  Times e = engineRun(dir, n);
  Times s = sqliteRun(dir, n);
  AppendShape shape;
  shape.headerLength = 32 * 6 + 33;
  shape.recordLength = e.recordLength;
  shape.memoBytes = (e.memoBytes - 512) / n;
  settleWrites();
  double floor = appendFloorSeconds(dir, n, shape);
  printf("%d records, three memo fields; times in seconds\n", n);
  printf("%-22s %10s %10s %8s\n", "work", "engine", "sqlite", "ratio");
  printf("%-22s %10.3f %10.3f %8.2f\n", "append (shared, locks)", e.append, s.append, s.append / e.append);
  printf("%-22s %10.3f %10.3f %8.2f\n", "  its system calls only", floor, s.append, s.append / floor);
  printf("%-22s %10.3f %10.3f %8.2f\n", "sequential read", e.read, s.read, s.read / e.read);
  printf("%-22s %10.3f %10.3f %8.2f\n", "in-place update", e.update, s.update, s.update / e.update);
  std::filesystem::remove_all(dir);
  return 0;
}
