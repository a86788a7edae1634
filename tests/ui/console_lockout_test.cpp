// Nobody who can reach the console can keep its operator out: guesses do
// not slow the login link or other clients' passwords, connections held
// open do not keep a logged-in operator out, a new login token ends every
// session, and requests whose body length is unclear are refused.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "ui/console_api.h"
#include "ui/console_password.h"
#include "ui/console_security.h"
#include "ui/console_server.h"
#include "support/loopback_client.h"

namespace fs = std::filesystem;

namespace {

const std::string kToken = "abcdefghijklmnopqrstuvwxyz012345";

HttpRequest request(const std::string& peer, const std::string& method, const std::string& target,
                    const std::string& body = "") {
  HttpRequest r;
  r.peer = peer;
  r.method = method;
  r.headers["host"] = "127.0.0.1";
  size_t q = target.find('?');
  r.path = target.substr(0, q);
  if (q != std::string::npos) {
    std::string query = target.substr(q + 1);
    size_t eq = query.find('=');
    r.query.emplace(query.substr(0, eq), query.substr(eq + 1));
  }
  if (method == "POST") r.headers["content-type"] = "application/json";
  r.body = body;
  return r;
}

int connectTo(uint16_t port) { return connectLoopback(port, 20); }

// The status line of the answer to a raw request ("" when the server
// closed without one).
std::string exchange(uint16_t port, const std::string& text) {
  int fd = connectTo(port);
  if (fd < 0) return "no connection";
  (void)::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
  std::string out;
  char buffer[4096];
  ssize_t n;
  while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) out.append(buffer, static_cast<size_t>(n));
  ::close(fd);
  return out.substr(0, out.find("\r\n"));
}

std::string sessionCookieOf(const httplib::Result& r) {
  std::string set = r->get_header_value("Set-Cookie");
  return set.substr(0, set.find(';'));
}

}  // namespace

TEST(ConsoleLockout, GuessesSlowNeitherTheLoginLinkNorClientsThatDidNotFail) {
  ConsoleApi api(ConsoleContext{});
  ConsoleConfig config;
  config.loginToken = kToken;
  config.passwordHash = *hashConsolePassword("right one");
  ConsoleServer server(config, api);
  // An attacker on one address and one on many send wrong passwords and
  // wrong tokens, more than the overall limit in a minute.
  for (int i = 0; i < 22; ++i) {
    server.answer(request("192.0.2.1", "POST", "/api/login", "{\"password\":\"guess\"}"));
    server.answer(request("198.51.100." + std::to_string(i), "POST", "/api/login", "{\"password\":\"guess\"}"));
    server.answer(request("192.0.2.1", "GET", "/?token=wrong" + std::to_string(i)));
  }
  struct Case {
    const char* peer;
    const char* method;
    std::string target, body;
    int status;
  };
  const Case cases[] = {
      {"192.0.2.1", "GET", "/?token=" + kToken, "", 303},       // even from the guessing address
      {"203.0.113.5", "GET", "/?token=" + kToken, "", 303},
      {"203.0.113.6", "POST", "/api/login", "{\"password\":\"right one\"}", 200},  // no failures of its own
      {"192.0.2.1", "POST", "/api/login", "{\"password\":\"right one\"}", 401},    // the guesser waits
  };
  for (const Case& c : cases) {
    HttpAnswer answer = server.answer(request(c.peer, c.method, c.target, c.body));
    EXPECT_EQ(answer.status, c.status) << c.peer << " " << c.target << ": " << answer.body;
  }
}

TEST(ConsoleLockout, HeldConnectionsDoNotKeepAnOperatorOut) {
  ConsoleApi api(ConsoleContext{});
  ConsoleConfig config;
  config.loginToken = kToken;
  ConsoleServer server(config, api);
  std::string error;
  ASSERT_TRUE(server.start(&error)) << error;
  httplib::Client client("127.0.0.1", server.port());
  auto login = client.Get(("/?token=" + kToken).c_str());
  ASSERT_TRUE(login);
  std::string cookie = sessionCookieOf(login);

  // Any local user can open connections from 127.0.0.1 and hold them.
  std::vector<int> held;
  for (int i = 0; i < 300; ++i) held.push_back(connectTo(server.port()));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  for (int attempt = 0; attempt < 3; ++attempt) {
    // The console's script is served only with a session.
    EXPECT_EQ(exchange(server.port(), "GET /assets/console.js HTTP/1.1\r\nHost: 127.0.0.1\r\nCookie: " + cookie +
                                          "\r\nConnection: close\r\n\r\n"),
              "HTTP/1.1 200 OK")
        << attempt;
    // Without a session too: the login page is anybody's to reach.
    EXPECT_EQ(exchange(server.port(), "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"),
              "HTTP/1.1 200 OK")
        << attempt;
  }
  for (int fd : held)
    if (fd >= 0) ::close(fd);
  server.stop();
}

TEST(ConsoleLockout, ANewLoginTokenEndsEverySession) {
  fs::path dir = fs::temp_directory_path() / ("orvtoken" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::string file = (dir / "console.token").string();
  std::ofstream(file) << kToken << "\n";
  ConsoleApi api(ConsoleContext{});
  ConsoleConfig config;
  config.loginToken = kToken;
  config.loginTokenFile = file;
  ConsoleServer server(config, api);
  std::string error;
  ASSERT_TRUE(server.start(&error)) << error;
  httplib::Client client("127.0.0.1", server.port());
  auto state = [&](const std::string& cookie) {
    auto r = client.Get("/assets/console.js", httplib::Headers{{"Cookie", cookie}});
    return r ? r->status : -1;
  };
  auto loginWith = [&](const std::string& token) {
    auto r = client.Get(("/?token=" + token).c_str());
    return r && r->status == 303 ? sessionCookieOf(r) : std::string();
  };

  // Another process (orvserv /NewConsoleToken) writes a new token.
  std::string first = loginWith(kToken);
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(state(first), 200);
  std::optional<std::string> written = writeNewLoginToken(file, &error);
  ASSERT_TRUE(written) << error;
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  EXPECT_EQ(state(first), 401);
  EXPECT_TRUE(loginWith(kToken).empty());
  std::string second = loginWith(*written);
  ASSERT_FALSE(second.empty());
  EXPECT_EQ(server.loginToken(), *written);

  // The console's own button.
  auto page = client.Get("/", httplib::Headers{{"Cookie", second}});
  ASSERT_TRUE(page);
  const std::string meta = "name=\"orv-token\" content=\"";
  size_t at = page->body.find(meta) + meta.size();
  std::string csrf = page->body.substr(at, page->body.find('"', at) - at);
  auto renewed = client.Post("/api/newtoken", httplib::Headers{{"Cookie", second}, {"X-Orvane-Token", csrf}}, "{}",
                             "application/json");
  ASSERT_TRUE(renewed);
  ASSERT_EQ(renewed->status, 200) << renewed->body;
  std::string third = readLoginToken(file);
  EXPECT_NE(third, *written);
  EXPECT_NE(renewed->body.find("\"login\":\"/?token=" + third + "\""), std::string::npos) << renewed->body;
  EXPECT_EQ(state(second), 401);
  EXPECT_TRUE(loginWith(*written).empty());
  EXPECT_FALSE(loginWith(third).empty());
  server.stop();
  fs::remove_all(dir);
}

TEST(HttpTransport, ABodyWhoseLengthIsUnclearIsRefused) {
  HttpTransport transport(HttpLimits{}, [](const HttpRequest&) { return HttpAnswer{200, "text/plain", "ok", {}}; });
  std::string error;
  ASSERT_TRUE(transport.start(HttpEndpoint{}, &error)) << error;
  const std::string head = "POST /x HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
  struct Case {
    const char* headers;
    const char* body;
    const char* status;
  };
  const Case cases[] = {
      {"Content-Length: 2\r\n", "{}", "HTTP/1.1 200 OK"},
      {"Content-Length: 2\r\nContent-Length: 2\r\n", "{}", "HTTP/1.1 200 OK"},  // the same number twice
      {"Content-Length: 2\r\nContent-Length: 20\r\n", "{}", "HTTP/1.1 400 Bad Request"},
      {"Content-Length: 2, 20\r\n", "{}", "HTTP/1.1 400 Bad Request"},
      {"Content-Length: 2\r\nTransfer-Encoding: chunked\r\n", "0\r\n\r\n", "HTTP/1.1 400 Bad Request"},
      {"Transfer-Encoding: chunked\r\n", "2\r\n{}\r\n0\r\n\r\n", "HTTP/1.1 200 OK"},
      {"Transfer-Encoding: gzip\r\n", "{}", "HTTP/1.1 501 Not Implemented"},
      {"Transfer-Encoding: gzip, chunked\r\n", "0\r\n\r\n", "HTTP/1.1 501 Not Implemented"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(exchange(transport.port(), head + c.headers + "\r\n" + c.body), c.status) << c.headers;
  transport.stop();
}
