// ConsoleServer: the operator console's HTTP server (libmicrohttpd) on its
// own threads: the page and its assets from the binary, the manual from
// the manual directory, and the JSON interface of console_api.h.
//
//   GET  /                    the page (console_assets.h)
//   GET  /assets/NAME         style sheet and script, by exact name
//   GET  /help/PATH           a file of the manual directory
//   GET  /api/...             console_api.h
//   POST /api/...             console_api.h, with X-Orvane-Token
//
//   GET  /healthz             runs, queues, databases (JSON), no login
//   GET  /metrics             counters in Prometheus text format, no login
//
// Security (see console_security.h for the rules): every request passes
// one gate before any handler:
//   * a loopback peer must send a loopback or listen-address Host header;
//   * only GET, HEAD and POST;
//   * without a session, only the login page (GET /), its own assets,
//     POST /api/login, /healthz and /metrics are served; every other
//     /api/ path answers 401 {"error":"login required"} and the console's
//     script and the manual 401 too;
//   * GET /?token=T with the login token (@Orvane/console.token) starts a
//     session and answers 303 to "/" (never throttled: 256 random bits);
//     POST /api/login {"password"} checks the console password (setting
//     350) and starts one; its failures are slowed down per client and,
//     for clients that failed, overall (login_throttle.h);
//   * POST /api/newtoken writes a new login token to the token file and
//     ends every session; its answer carries the new login address. A
//     token file replaced from outside (orvserv /NewConsoleToken) is
//     noticed within a second and ends every session too;
//   * the session is an HttpOnly, SameSite=Strict cookie (Secure over TLS);
//     every POST needs the session's CSRF token in X-Orvane-Token, the
//     token the page carries in its meta element; POST /api/logout ends
//     the session;
//   * a POST body is JSON of at most kMaxBody bytes.
// Replies carry a strict Content-Security-Policy (scripts only from
// /assets, no inline script, no framing), nosniff and no-store. Listening
// on a non-loopback address without TLS is refused at start.
//
// Hostile clients are held off by the transport (http_transport.h): limits
// on header size, body size, memory, time and connections.
//
// Thread-safety: start and stop from one thread (the program's main
// thread); the handlers run on the server's worker threads.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "ui/console_sessions.h"
#include "ui/http_transport.h"
#include "ui/login_throttle.h"

class ConsoleApi;

struct ConsoleConfig {
  std::string address = "127.0.0.1";
  uint16_t port = 0;           // 0: any free port (tests)
  std::string manualDirectory;
  std::string loginToken;      // empty: a random one for this run
  std::string loginTokenFile;  // where the token is kept; empty: none
  std::string passwordHash;    // setting 350; empty: no password login
  std::string certificatePem;  // settings 351 and 352 (file contents);
  std::string keyPem;          // both set: the console speaks TLS
};

class ConsoleServer {
 public:
  static constexpr size_t kMaxBody = HttpLimits{}.maxBody;

  ConsoleServer(ConsoleConfig config, ConsoleApi& api);
  ~ConsoleServer();
  ConsoleServer(const ConsoleServer&) = delete;
  ConsoleServer& operator=(const ConsoleServer&) = delete;

  // Binds and starts serving. False with *error set (an untranslated
  // reason: address in use, no TLS off loopback, ...).
  bool start(std::string* error);
  void stop();

  uint16_t port() const { return port_; }
  // "http://ADDR:PORT/" (https with TLS), with [ ] around an IPv6 address.
  std::string url() const;
  // url() with the login token: opening it logs in.
  std::string loginUrl() const;
  std::string loginToken() const;
  SessionStore& sessions() { return sessions_; }

  // The gate and the routes, without the transport (any thread).
  HttpAnswer answer(const HttpRequest& request);

 private:
  HttpAnswer route(const HttpRequest& request, const ConsoleSession& session);
  HttpAnswer withoutSession(const HttpRequest& request);
  HttpAnswer passwordLogin(const HttpRequest& request);
  HttpAnswer startSession(const HttpRequest& request, HttpAnswer answer);
  HttpAnswer newLoginToken(const HttpRequest& request);
  // Takes a token written to the token file by another process.
  void followTokenFile();

  ConsoleConfig config_;
  ConsoleApi& api_;
  std::unique_ptr<HttpTransport> transport_;
  SessionStore sessions_;
  LoginThrottle throttle_;
  uint16_t port_ = 0;
  mutable std::mutex tokenMutex_;
  std::string token_;
  int64_t tokenFileChecked_ = 0;
};
