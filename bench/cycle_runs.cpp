// Processing-cycle throughput: N requests from new senders through the
// retrieval, update and acknowledgement runs against the local Dovecot and
// aiosmtpd (scripts/peers.sh) and a tarnwick-sim maintenance database.
//
//   eval "$(scripts/peers.sh start)"
//   build/bench/bench_cycle_runs [N]        (default 1000)
//
// For each run it prints messages per second and where the time went:
//   network   waiting for and moving bytes (connect, reads, sends), and the
//             protocol's own pauses (the TCP layer's 1 s pause when it
//             closes a connection goes through the clock)
//   index     writes to .cdx files (index maintenance)
//   data      writes to .dbf and .fpt files
//   sync      flushes to disk (fdatasync)
//   locking   byte-range lock and unlock calls
// measured by timing wrappers around the platform's socket and file layers.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "common/configurations.h"
#include "common/diagnostics.h"
#include "common/gui_session.h"
#include "cycle/processing_cycle.h"
#include "db/accounts_manager.h"
#include "db/gateway_database.h"
#include "db/logs_manager.h"
#include "db/maintenance_database.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/socket.h"

namespace {

using Steady = std::chrono::steady_clock;

double seconds(Steady::duration d) { return std::chrono::duration<double>(d).count(); }

struct Timers {
  double network = 0, index = 0, data = 0, sync = 0, locking = 0;
  void reset() { *this = Timers(); }
};
Timers timers;

template <class F>
auto timed(double& into, F f) {
  auto start = Steady::now();
  auto result = f();
  into += seconds(Steady::now() - start);
  return result;
}

class TimedFile : public PlatformFile {
 public:
  TimedFile(std::unique_ptr<PlatformFile> file, bool index) : file_(std::move(file)), index_(index) {}
  int64_t read(int64_t pos, void* buffer, size_t length) override { return file_->read(pos, buffer, length); }
  int64_t write(int64_t pos, const void* buffer, size_t length) override {
    return timed(index_ ? timers.index : timers.data, [&] { return file_->write(pos, buffer, length); });
  }
  int64_t length() override { return file_->length(); }
  int setLength(int64_t length) override { return file_->setLength(length); }
  int flush() override { return timed(timers.sync, [&] { return file_->flush(); }); }
  int lock(uint64_t offset, uint64_t length) override {
    return timed(timers.locking, [&] { return file_->lock(offset, length); });
  }
  int unlock(uint64_t offset, uint64_t length) override {
    return timed(timers.locking, [&] { return file_->unlock(offset, length); });
  }

 private:
  std::unique_ptr<PlatformFile> file_;
  bool index_;
};

class TimedFileSystem : public FileSystem {
 public:
  explicit TimedFileSystem(FileSystem& base) : base_(base) {}
  int open(const std::string& path, bool readOnly, ShareMode share, std::unique_ptr<PlatformFile>* out) override {
    int rc = base_.open(path, readOnly, share, out);
    wrap(path, out);
    return rc;
  }
  int create(const std::string& path, CreateMode mode, ShareMode share, std::unique_ptr<PlatformFile>* out) override {
    int rc = base_.create(path, mode, share, out);
    wrap(path, out);
    return rc;
  }
  int remove(const std::string& path) override { return base_.remove(path); }
  int rename(const std::string& from, const std::string& to) override { return base_.rename(from, to); }
  bool exists(const std::string& path) override { return base_.exists(path); }
  bool readOnlyAttribute(const std::string& path) override { return base_.readOnlyAttribute(path); }
  std::string resolveName(const std::string& path) override { return base_.resolveName(path); }
  std::string tempDirectory() override { return base_.tempDirectory(); }
  int createWithMode(const std::string& path, unsigned mode, std::unique_ptr<PlatformFile>* out) override {
    int rc = base_.createWithMode(path, mode, out);
    wrap(path, out);
    return rc;
  }
  int setMode(const std::string& path, unsigned mode) override { return base_.setMode(path, mode); }
  int syncDirectory(const std::string& path) override { return base_.syncDirectory(path); }

 private:
  static void wrap(const std::string& path, std::unique_ptr<PlatformFile>* out) {
    if (!*out) return;
    bool index = path.size() > 4 && (path.compare(path.size() - 4, 4, ".cdx") == 0 ||
                                      path.compare(path.size() - 4, 4, ".CDX") == 0);
    *out = std::make_unique<TimedFile>(std::move(*out), index);
  }
  FileSystem& base_;
};

class TimedSockets : public SocketLayer {
 public:
  explicit TimedSockets(SocketLayer& base) : b_(base) {}
  int startup() override { return b_.startup(); }
  void cleanup() override { b_.cleanup(); }
  int hostByName(const std::string& n, HostEntry& o) override { return b_.hostByName(n, o); }
  int hostByAddress(uint32_t a, HostEntry& o) override { return b_.hostByAddress(a, o); }
  int protocolByName(const std::string& n, int& p) override { return b_.protocolByName(n, p); }
  int localHostName(std::string& o, size_t c) override { return b_.localHostName(o, c); }
  int openStream(int p, int& h) override { return b_.openStream(p, h); }
  int setReuseAddress(int h) override { return b_.setReuseAddress(h); }
  int bindLocal(int h, uint16_t p) override { return b_.bindLocal(h, p); }
  int startConnect(int h, uint32_t a, uint16_t p) override {
    return timed(timers.network, [&] { return b_.startConnect(h, a, p); });
  }
  int waitConnected(int h, int64_t t) override { return timed(timers.network, [&] { return b_.waitConnected(h, t); }); }
  int shutdownBoth(int h) override { return b_.shutdownBoth(h); }
  int closeHandle(int h) override { return b_.closeHandle(h); }
  int waitReadable(int h, int64_t t) override { return timed(timers.network, [&] { return b_.waitReadable(h, t); }); }
  long receive(int h, char* buf, size_t c) override { return timed(timers.network, [&] { return b_.receive(h, buf, c); }); }
  long sendAll(int h, const char* d, size_t l, int64_t t) override {
    return timed(timers.network, [&] { return b_.sendAll(h, d, l, t); });
  }

 private:
  SocketLayer& b_;
};

// Pauses of the protocols count as network time.
class TimedClock : public Clock {
 public:
  explicit TimedClock(Clock& base) : b_(base) {}
  std::time_t now() override { return b_.now(); }
  int64_t monotonicMs() override { return b_.monotonicMs(); }
  void sleepMs(int64_t ms) override {
    timed(timers.network, [&] {
      b_.sleepMs(ms);
      return 0;
    });
  }

 private:
  Clock& b_;
};

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

void dropMessages(int count) {
  std::string dir = env("ORV_MAILDIR");
  int uid = std::atoi(env("ORV_MAILDIR_UID").c_str());
  for (int n = 1; n <= count; ++n) {
    std::string name = "bench." + std::to_string(getpid()) + "." + std::to_string(n);
    std::string tmp = dir + "/tmp/" + name;
    std::ofstream(tmp, std::ios::binary) << "From: Requester " << n << " <req" << n
                                         << "@bench.example>\r\nSubject: Request " << n
                                         << "\r\n\r\nThe light in room " << n << " is out.\r\n";
    if (chown(tmp.c_str(), uid, uid) != 0) { /* readable anyway */ }
    std::filesystem::rename(tmp, dir + "/new/" + name);
  }
}

void report(const char* run, int messages, double elapsed) {
  std::printf("%-12s %6d msgs %8.2f s %9.1f msgs/s | network %6.2f s  index %6.2f s  data %6.2f s  "
              "sync %6.2f s  locking %6.2f s\n",
              run, messages, elapsed, messages / elapsed, timers.network, timers.index, timers.data, timers.sync,
              timers.locking);
}

}  // namespace

int main(int argc, char** argv) {
  int count = argc > 1 ? std::atoi(argv[1]) : 1000;
  if (env("ORV_POP3_PORT").empty()) {
    std::fprintf(stderr, "bench_cycle_runs: start the peers first: eval \"$(scripts/peers.sh start)\"\n");
    return 0;
  }
  char templ[] = "/tmp/orvbench.XXXXXX";
  std::string root = mkdtemp(templ);
  std::string tarnwick = root + "/tarnwick";
  // The tools sit in <build>/bin, the benchmarks in <build>/bench.
  std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  std::string bin = std::filesystem::path(self).parent_path().parent_path().string() + "/bin";
  std::string sim = bin + "/tarnwick-sim create " + tarnwick + " > /dev/null";
  if (std::system(sim.c_str()) != 0) {
    std::fprintf(stderr, "bench_cycle_runs: tarnwick-sim create failed\n");
    return 1;
  }
  std::string gw = tarnwick + "/@Orvane";
  DatabaseContext::CreateDatabaseDirectory(stringT(gw), &guiSession());
  MaintenanceDatabase maintenance(stringT(tarnwick), &guiSession());
  GatewayDatabase gateway(stringT(gw), &guiSession());
  if (!maintenance.Validate(true) || !gateway.Validate(true) || !gateway.createTables()) return 1;
  {
    LogsManager logs(gateway);
    (void)logs.Load();
    AccountsManager accounts(gateway, maintenance);
    (void)accounts.Load();
  }
  ConfigurationsManager settings;
  settings.set(kPop3Server, env("ORV_POP3_HOST"));
  settings.set(kPop3Port, env("ORV_POP3_PORT"));
  settings.set(kPop3Account, env("ORV_POP3_USER"));
  settings.set(kPop3Password, scramble(env("ORV_POP3_PASSWORD")));
  settings.set(kSmtpServer, env("ORV_SMTP_HOST"));
  settings.set(kSmtpPort, env("ORV_SMTP_PORT"));
  settings.set(kTitle, "Tarnwick @Orvane");
  settings.set(kSubjectPrefix, "@Or:");
  settings.set(kFirstLine, "Current status");
  settings.set(kReturnAddress, "gateway@bench.example");
  ProcessingCycle cycle(gateway, maintenance, settings);
  diagnostics().openDiagnosticFile(stringT(), false);

  TimedFileSystem files(platformFileSystem());
  TimedSockets sockets(platformSockets());
  TimedClock clock(platformClock());
  setFileSystem(&files);
  setSockets(&sockets);
  setClock(&clock);

  dropMessages(count);
  std::printf("%d requests from new senders (database %s)\n", count, root.c_str());
  struct Step {
    const char* name;
    void (ProcessingCycle::*run)();
  } steps[] = {{"retrieve", &ProcessingCycle::retrieveMail},
               {"update", &ProcessingCycle::updateLogs},
               {"acknowledge", &ProcessingCycle::sendAcknowledgements}};
  for (const Step& step : steps) {
    timers.reset();
    auto start = Steady::now();
    (cycle.*step.run)();
    report(step.name, count, seconds(Steady::now() - start));
  }
  size_t problems = diagnostics().snapshot().size();
  if (problems) std::printf("%zu diagnostics, first: %s\n", problems, diagnostics().snapshot().back().description.c_str());
  setFileSystem(nullptr);
  setSockets(nullptr);
  setClock(nullptr);
  std::filesystem::remove_all(root);
  return problems == 0 ? 0 : 1;
}
