// HttpTransport: an HTTP/1.1 server (libmicrohttpd) that hands each whole
// request to one handler and sends its answer, and holds off hostile
// clients on the way:
//
//   | threat                            | answer                              |
//   |-----------------------------------|-------------------------------------|
//   | huge or countless header lines    | each connection reads into a fixed  |
//   |                                   | pool of connectionMemory bytes; a   |
//   |                                   | request line and headers that do    |
//   |                                   | not fit end the connection (the     |
//   |                                   | library answers 431 if it can)      |
//   | body over maxBody (declared)      | 413 before any of it is read        |
//   | chunked body over maxBody         | the connection is closed when the   |
//   |                                   | limit is passed; nothing is kept    |
//   | idle connection                   | closed after idleSeconds            |
//   | request trickled in slowly        | cut requestSeconds after it began   |
//   | many connections held open        | at most maxUntrusted connections in |
//   |                                   | all, and maxUntrustedPerClient per  |
//   |                                   | address, that have not yet sent a   |
//   |                                   | trusted request; a new one beyond   |
//   |                                   | that ends the oldest such idle one  |
//   |                                   | (of its address first) instead of   |
//   |                                   | being refused; maxConnections in all|
//   | two different Content-Length      | 400 (RFC 9112): no guessing where   |
//   | headers, or one with TE           | the body ends                       |
//   | a Transfer-Encoding other than    | 501                                 |
//   | chunked                           |                                     |
//
// A request is trusted when the trust predicate says so (the console: it
// carries a live session's cookie); its connection is never ended to make
// room, and the room kept apart for trusted connections (maxConnections
// less maxUntrusted) lets an operator with a session in while others fill
// the rest. A new connection is never the one ended, so anybody's request
// gets its turn, however many connections one address holds.
//
// A few threads serve every connection from epoll, so a slow or idle
// client holds no thread and never delays the others; only a handler that
// waits (the console's bounded wait for the gateway thread) holds one.
//
// TLS (GnuTLS inside libmicrohttpd) when a certificate and key are given.
//
// Thread-safety: start and stop from one thread; the handler is called on
// the worker threads, several at once.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

struct HttpRequest {
  std::string method;  // "GET", "POST", ...
  std::string path;    // decoded, without the query
  std::multimap<std::string, std::string> query;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
  std::string peer;  // the client's address, no port
  bool secure = false;  // came over TLS

  std::string header(const std::string& lowerName) const;
  std::string param(const std::string& name) const;
  bool hasParam(const std::string& name) const { return query.count(name) > 0; }
};

struct HttpAnswer {
  int status = 200;
  std::string contentType = "application/json";
  std::string body;
  std::multimap<std::string, std::string> headers;
};

struct HttpLimits {
  size_t maxBody = 64 * 1024;
  size_t connectionMemory = 32 * 1024;
  unsigned idleSeconds = 10;
  unsigned requestSeconds = 20;
  unsigned maxConnections = 256;
  unsigned maxUntrusted = 192;
  unsigned maxUntrustedPerClient = 64;
  unsigned threads = 4;
};

struct HttpEndpoint {
  std::string address = "127.0.0.1";  // IPv4 or IPv6 literal
  uint16_t port = 0;                  // 0: any free port
  std::string certificatePem;         // both set: TLS
  std::string keyPem;
};

class HttpTransport {
 public:
  using Handler = std::function<HttpAnswer(const HttpRequest&)>;
  using Trust = std::function<bool(const HttpRequest&)>;

  HttpTransport(HttpLimits limits, Handler handler);
  ~HttpTransport();
  HttpTransport(const HttpTransport&) = delete;
  HttpTransport& operator=(const HttpTransport&) = delete;

  // Binds and starts serving. False with *error set.
  bool start(const HttpEndpoint& endpoint, std::string* error);
  void stop();
  uint16_t port() const { return port_; }
  // Headers every answer carries.
  void setCommonHeaders(std::multimap<std::string, std::string> headers) { common_ = std::move(headers); }
  // Which requests make their connection trusted (before start).
  void setTrust(Trust trust) { trust_ = std::move(trust); }
  bool trusted(const HttpRequest& request) const { return trust_ && trust_(request); }

  const HttpLimits& limits() const { return limits_; }
  const std::multimap<std::string, std::string>& commonHeaders() const { return common_; }
  HttpAnswer handle(const HttpRequest& request) const { return handler_(request); }

  // What the daemon and the watchdog need; defined in the .cpp.
  struct State;

 private:
  HttpLimits limits_;
  Handler handler_;
  Trust trust_;
  std::multimap<std::string, std::string> common_;
  std::unique_ptr<State> state_;
  uint16_t port_ = 0;
};
