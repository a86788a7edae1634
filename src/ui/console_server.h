// ConsoleServer: the operator console's HTTP server (cpp-httplib) on its
// own threads: the page and its assets from the binary, the manual from
// the manual directory, and the JSON interface of console_api.h.
//
//   GET  /                    the page (console_assets.h)
//   GET  /assets/NAME         style sheet and script, by exact name
//   GET  /help/PATH           a file of the manual directory
//   GET  /api/...             console_api.h
//   POST /api/...             console_api.h, with X-Orvane-Token
//
// Security (see console_security.h for the rules): every request passes
// one gate before any handler: a non-loopback peer needs the access token
// (cookie, or the "access" query parameter that sets the cookie), a
// loopback peer a loopback or listen-address Host header; a POST needs the
// per-process token and a JSON body of at most kMaxBody bytes. Replies
// carry a strict Content-Security-Policy (scripts only from /assets, no
// inline script, no framing), nosniff and no-store. Listening on a
// non-loopback address without an access token is refused at start.
//
// Thread-safety: start and stop from one thread (the program's main
// thread); the handlers run on the server's worker threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}
class ConsoleApi;

struct ConsoleConfig {
  std::string address = "127.0.0.1";
  uint16_t port = 0;          // 0: any free port (tests)
  std::string accessToken;    // setting 207; required off loopback
  std::string manualDirectory;
};

class ConsoleServer {
 public:
  static constexpr size_t kMaxBody = 64 * 1024;

  ConsoleServer(ConsoleConfig config, ConsoleApi& api);
  ~ConsoleServer();
  ConsoleServer(const ConsoleServer&) = delete;
  ConsoleServer& operator=(const ConsoleServer&) = delete;

  // Binds and starts serving. False with *error set (an untranslated
  // reason: address in use, no access token, ...).
  bool start(std::string* error);
  void stop();

  uint16_t port() const { return port_; }
  const std::string& processToken() const { return processToken_; }
  // "http://ADDR:PORT/", with [ ] around an IPv6 address.
  std::string url() const;

 private:
  void routes();

  ConsoleConfig config_;
  ConsoleApi& api_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  std::atomic<bool> listenEnded_{false};  // listen_after_bind returned
  std::string processToken_;
  uint16_t port_ = 0;
};
