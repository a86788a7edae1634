// Indexed table work, the engine against SQLite in the same run, on a table
// shaped like the gateway's logs.dbf: eleven fields, three memos of about
// 2 KB, twelve tags (SQLite: the same indexes, partial where the tag has a
// filter).
//
//   appends  engine: shared mode with record, append and index locks
//            SQLite: WAL, synchronous=OFF, one transaction per row
//   seeks    random KEY lookups reading the row (prepared statement)
//   walk     every row in STATUS order
//   reindex  engine: rebuild of all twelve tags; SQLite: CREATE INDEX x 12
//
// Records: ORV_BENCH_RECORDS (default 100000); files in ORV_BENCH_DIR
// (default /tmp). The summary at the end gives
// SQLite time / engine time for each pair (above 1: the engine is faster).
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "append_floor.h"
#include "fair_start.h"
#include "engine/code4.h"
#include "engine/data4.h"
#include "engine/index4.h"

namespace {

// Read once: the timed loops call this on every pass.
int records() {
  static const int n = [] {
    const char* v = getenv("ORV_BENCH_RECORDS");
    return v ? std::max(1000, atoi(v)) : 100000;
  }();
  return n;
}

std::string benchDir() {
  static std::string dir = [] {
    const char* base = getenv("ORV_BENCH_DIR");
    std::string tmpl = std::string(base ? base : "/tmp") + "/orv-bench-index-XXXXXX";
    return std::string(mkdtemp(tmpl.data()));
  }();
  return dir;
}

const char* kStatusTags[][2] = {{"ERROR", "0"},  {"PENDPROC", "1"}, {"ACTIVE", "2"},
                                {"TRANSFERRE", "3"}, {"COMPLETED", "4"}, {"VOID", "5"},
                                {"DELETED", "9"}, {"SAVED", "7"},   {"SPECIAL", "6"},
                                {"ACK", "8"}};
const char* kBase = "RECNO()<>1.AND..NOT.DELETED()";

std::string memoText(std::mt19937& rng, char c) {
  std::string s(1900 + rng() % 300, c);
  for (size_t i = 0; i < s.size(); i += 50) s[i] = '\n';
  return s;
}

struct Engine {
  CODE4 c;
  DATA4* d = nullptr;
  std::vector<std::string> filters;
  Engine() {
    if (code4init(&c) != 0) abort();
    c.lockAttempts = 10;
    c.unlockBeforeLock = 2;
    c.singleOpen = 0;
    c.codePageMark = 3;
    c.createSafety = 0;
  }
  ~Engine() {
    if (d) (void)d4close(d);
    code4initUndo(&c);
  }
  void create() {
    const FIELD4INFO fields[] = {
        {"KEY", 'N', 10, 0, 0},       {"DETAILS", 'M', 10, 0, 0}, {"MESSAGE", 'M', 10, 0, 0},
        {"HISTORY", 'M', 10, 0, 0},   {"STATUS", 'N', 10, 0, 0},  {"OLDSTATUS", 'N', 10, 0, 0},
        {"WOSCHEDULE", 'C', 15, 0, 0}, {"WRKEY", 'N', 10, 0, 0},  {"FLAGS", 'N', 10, 0, 0},
        {"CDATE", 'D', 8, 0, 0},      {"CTIME", 'C', 6, 0, 0},    {nullptr, 0, 0, 0, 0}};
    std::vector<TAG4INFO> tags = {{"KEY", "KEY", kBase, 25, 0}, {"STATUS", "STATUS", kBase, 0, 0}};
    for (auto& t : kStatusTags) filters.push_back(std::string(kBase) + ".AND.STATUS=" + t[1]);
    for (size_t i = 0; i < 10; i++) tags.push_back({kStatusTags[i][0], "STATUS", filters[i].c_str(), 0, 0});
    tags.push_back({nullptr, nullptr, nullptr, 0, 0});
    d = d4create(&c, benchDir() + "/logs.dbf", fields, tags.data());
    if (!d) abort();
  }
};

struct Sqlite {
  sqlite3* db = nullptr;
  Sqlite() {
    std::string path = benchDir() + "/logs.sqlite";
    std::filesystem::remove(path);
    std::filesystem::remove(path + "-wal");
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) abort();
    exec("PRAGMA journal_mode=WAL");
    exec("PRAGMA synchronous=OFF");
    exec("CREATE TABLE logs(key INTEGER, details TEXT, message TEXT, history TEXT, status INTEGER,"
         " oldstatus INTEGER, woschedule TEXT, wrkey INTEGER, flags INTEGER, cdate TEXT, ctime TEXT,"
         " deleted INTEGER DEFAULT 0)");
    createIndexes();
  }
  ~Sqlite() { sqlite3_close(db); }
  void exec(const std::string& sql) {
    char* err = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
      fprintf(stderr, "%s: %s\n", sql.c_str(), err);
      abort();
    }
  }
  void createIndexes() {
    const char* base = "rowid<>1 AND deleted=0";
    exec(std::string("CREATE UNIQUE INDEX i_key ON logs(key) WHERE ") + base);
    exec(std::string("CREATE INDEX i_status ON logs(status) WHERE ") + base);
    for (auto& t : kStatusTags)
      exec(std::string("CREATE INDEX i_") + t[0] + " ON logs(status) WHERE " + base + " AND status=" + t[1]);
  }
  void dropIndexes() {
    exec("DROP INDEX i_key");
    exec("DROP INDEX i_status");
    for (auto& t : kStatusTags) exec(std::string("DROP INDEX i_") + t[0]);
  }
};

Engine* engine() {
  static Engine* e = [] {
    auto* x = new Engine;
    x->create();
    return x;
  }();
  return e;
}
Sqlite* sqlite() {
  static Sqlite* s = new Sqlite;
  return s;
}

// Write system calls made by this process so far.
long writeCalls() {
  std::ifstream io("/proc/self/io");
  std::string name;
  long value = 0;
  while (io >> name >> value)
    if (name == "syscw:") return value;
  return 0;
}

// What the engine's appends wrote, for the floor below.
AppendShape appended;

void BM_EngineAppend(benchmark::State& state) {
  Engine* e = engine();
  std::mt19937 rng(1);
  std::string memos[3] = {memoText(rng, 'd'), memoText(rng, 'm'), memoText(rng, 'h')};
  DATA4* d = e->d;
  FIELD4* key = d4field(d, "KEY");
  FIELD4* status = d4field(d, "STATUS");
  FIELD4* cdate = d4field(d, "CDATE");
  FIELD4* ctime = d4field(d, "CTIME");
  FIELD4* mfields[3] = {d4field(d, "DETAILS"), d4field(d, "MESSAGE"), d4field(d, "HISTORY")};
  settleWrites();
  long writesBefore = writeCalls();
  for (auto _ : state) {
    for (int i = 1; i <= records(); i++) {
      (void)d4appendStart(d, 0);
      (void)d4blank(d);
      (void)f4assignLong(key, i);
      (void)f4assignLong(status, long(rng() % 10));
      (void)f4assign(cdate, "20240101");
      (void)f4assign(ctime, "120000");
      for (int m = 0; m < 3; m++) (void)f4memoAssignN(mfields[m], memos[m].data(), memos[m].size());
      if (d4append(d) != 0) abort();
      (void)d4unlock(d);
    }
  }
  // Besides the index nodes an append writes the memo header and entries,
  // the record, the data header and the index header.
  double writes = double(writeCalls() - writesBefore) / records();
  appended.headerLength = 32 * 11 + 33;
  appended.recordLength = int(d4recWidth(d));
  appended.memoBytes = long(std::filesystem::file_size(benchDir() + "/logs.fpt") - 512) / records();
  appended.nodeWrites = std::max(1, int(writes - 5 + 0.5));
  state.counters["index_node_writes_per_append"] = writes - 5;
}

// The same appends' system calls alone (append_floor.h).
void BM_FloorAppend(benchmark::State& state) {
  settleWrites();
  for (auto _ : state) {
    double seconds = appendFloorSeconds(benchDir(), records(), appended);
    state.SetIterationTime(seconds);
  }
}

void BM_SqliteAppend(benchmark::State& state) {
  Sqlite* s = sqlite();
  std::mt19937 rng(1);
  std::string memos[3] = {memoText(rng, 'd'), memoText(rng, 'm'), memoText(rng, 'h')};
  sqlite3_stmt *ins, *begin, *commit;
  sqlite3_prepare_v2(s->db,
                     "INSERT INTO logs(key,details,message,history,status,oldstatus,woschedule,wrkey,"
                     "flags,cdate,ctime) VALUES(?,?,?,?,?,0,'',0,0,'20240101','120000')",
                     -1, &ins, nullptr);
  sqlite3_prepare_v2(s->db, "BEGIN", -1, &begin, nullptr);
  sqlite3_prepare_v2(s->db, "COMMIT", -1, &commit, nullptr);
  settleWrites();
  for (auto _ : state) {
    for (int i = 1; i <= records(); i++) {
      sqlite3_step(begin);
      sqlite3_reset(begin);
      sqlite3_bind_int(ins, 1, i);
      for (int m = 0; m < 3; m++)
        sqlite3_bind_text(ins, 2 + m, memos[m].data(), int(memos[m].size()), SQLITE_STATIC);
      sqlite3_bind_int(ins, 5, int(rng() % 10));
      if (sqlite3_step(ins) != SQLITE_DONE) abort();
      sqlite3_reset(ins);
      sqlite3_step(commit);
      sqlite3_reset(commit);
    }
  }
  sqlite3_finalize(ins);
  sqlite3_finalize(begin);
  sqlite3_finalize(commit);
}

constexpr int kSeeks = 50000;

void BM_EngineSeek(benchmark::State& state) {
  DATA4* d = engine()->d;
  d4tagSelect(d, d4tag(d, "KEY"));
  std::mt19937 rng(2);
  for (auto _ : state)
    for (int i = 0; i < kSeeks; i++)
      if (d4seekDouble(d, double(2 + rng() % (records() - 1))) != 0) abort();
}

void BM_SqliteSeek(benchmark::State& state) {
  Sqlite* s = sqlite();
  sqlite3_stmt* q;
  sqlite3_prepare_v2(s->db,
                     "SELECT key,status,oldstatus,woschedule,wrkey,flags,cdate,ctime FROM logs "
                     "WHERE key=? AND rowid<>1 AND deleted=0",
                     -1, &q, nullptr);
  std::mt19937 rng(2);
  for (auto _ : state)
    for (int i = 0; i < kSeeks; i++) {
      sqlite3_bind_int(q, 1, int(2 + rng() % (records() - 1)));
      if (sqlite3_step(q) != SQLITE_ROW) abort();
      sqlite3_reset(q);
    }
  sqlite3_finalize(q);
}

void BM_EngineWalk(benchmark::State& state) {
  DATA4* d = engine()->d;
  d4tagSelect(d, d4tag(d, "STATUS"));
  for (auto _ : state) {
    long n = 0;
    for (int rc = d4top(d); rc == 0; rc = d4skip(d, 1)) n++;
    if (n != records() - 1) abort();
  }
}

void BM_SqliteWalk(benchmark::State& state) {
  Sqlite* s = sqlite();
  sqlite3_stmt* q;
  sqlite3_prepare_v2(s->db,
                     "SELECT key,status,oldstatus,woschedule,wrkey,flags,cdate,ctime FROM logs "
                     "INDEXED BY i_status WHERE rowid<>1 AND deleted=0 ORDER BY status",
                     -1, &q, nullptr);
  for (auto _ : state) {
    long n = 0;
    while (sqlite3_step(q) == SQLITE_ROW) n++;
    sqlite3_reset(q);
    if (n != records() - 1) abort();
  }
  sqlite3_finalize(q);
}

void BM_EngineReindex(benchmark::State& state) {
  DATA4* d = engine()->d;
  for (auto _ : state)
    if (d4reindex(d) != 0) abort();
  state.counters["keys_per_s_per_tag"] = benchmark::Counter(
      double(records()) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_SqliteReindex(benchmark::State& state) {
  Sqlite* s = sqlite();
  for (auto _ : state) {
    state.PauseTiming();
    s->dropIndexes();
    state.ResumeTiming();
    s->createIndexes();
  }
}

BENCHMARK(BM_EngineAppend)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FloorAppend)->Iterations(1)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_SqliteAppend)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EngineSeek)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SqliteSeek)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EngineWalk)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SqliteWalk)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EngineReindex)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SqliteReindex)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// Collects each benchmark's time per iteration for the ratio summary.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      std::string name = r.benchmark_name();
      times[name.substr(0, name.find('/'))] = r.GetAdjustedRealTime();  // milliseconds
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  // Three append runs of three 2 KB memos a record, with their indexes.
  warmFreeMemory(size_t(records()) * 32 * 1024);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  printf("\nSQLite time / engine time (%d records; above 1 the engine is faster):\n", records());
  for (const char* op : {"Append", "Seek", "Walk", "Reindex"}) {
    auto e = reporter.times.find(std::string("BM_Engine") + op);
    auto s = reporter.times.find(std::string("BM_Sqlite") + op);
    if (e != reporter.times.end() && s != reporter.times.end() && e->second > 0)
      printf("  %-8s %.2f\n", op, s->second / e->second);
  }
  auto floor = reporter.times.find("BM_FloorAppend");
  auto sqliteAppend = reporter.times.find("BM_SqliteAppend");
  if (floor != reporter.times.end() && sqliteAppend != reporter.times.end() && floor->second > 0)
    printf("  Append   %.2f at best: the appends' system calls alone\n", sqliteAppend->second / floor->second);
  // The tags are built together, in one pass over the records: each gets
  // its keys at the rate of records / time.
  if (auto e = reporter.times.find("BM_EngineReindex"); e != reporter.times.end() && e->second > 0)
    printf("  reindex: %.0f keys per second per tag (records / time; %.0f over all 12 tags)\n",
           records() / (e->second / 1e3), records() * 12.0 / (e->second / 1e3));
  std::filesystem::remove_all(benchDir());
  benchmark::Shutdown();
  return 0;
}
