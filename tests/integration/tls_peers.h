// The TLS mail servers of scripts/tls_peers.sh, started once per test
// binary on first use and stopped when it exits. Without Dovecot or
// aiosmtpd the TLS tests are skipped, or fail when CI is set.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

class TlsPeers {
 public:
  static TlsPeers& get() {
    static TlsPeers peers;
    return peers;
  }

  bool up() const { return !env("ORV_TLS_DIR").empty(); }
  const std::string& startOutput() const { return output_; }

  std::string env(const std::string& name) const {
    auto it = env_.find(name);
    return it == env_.end() ? "" : it->second;
  }
  int port(const std::string& listener) const { return std::atoi(env("ORV_TLS_" + listener + "_PORT").c_str()); }

  // A file of the run's directory ("auth.log", "proxy_pop3.log", ...).
  std::string file(const std::string& name) const {
    std::ifstream in(env("ORV_TLS_DIR") + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void writeFile(const std::string& name, const std::string& text) const {
    std::ofstream(env("ORV_TLS_DIR") + "/" + name, std::ios::binary | std::ios::trunc) << text;
  }

  ~TlsPeers() {
    if (up()) (void)std::system(("ORV_TLS_DIR='" + env("ORV_TLS_DIR") + "' " + script() + " stop").c_str());
  }

 private:
  TlsPeers() {
    FILE* p = popen((script() + " start 2>&1").c_str(), "r");
    if (!p) return;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) output_.append(buffer, n);
    if (pclose(p) != 0) return;
    std::istringstream lines(output_);
    std::string line;
    while (std::getline(lines, line)) {
      if (line.rfind("export ", 0) != 0) continue;
      size_t eq = line.find('=');
      std::string value = line.substr(eq + 1);
      if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'') value = value.substr(1, value.size() - 2);
      env_[line.substr(7, eq - 7)] = value;
    }
  }
  static std::string script() { return std::string(ORV_TEST_DATA) + "/../../scripts/tls_peers.sh"; }

  std::string output_;
  std::map<std::string, std::string> env_;
};

#define ORV_REQUIRE_TLS_PEERS()                                                                     \
  do {                                                                                              \
    if (!TlsPeers::get().up()) {                                                                    \
      if (std::getenv("CI")) FAIL() << "the TLS peers did not start:\n" << TlsPeers::get().startOutput(); \
      GTEST_SKIP() << "TLS peers not available: " << TlsPeers::get().startOutput();                 \
    }                                                                                               \
  } while (0)
