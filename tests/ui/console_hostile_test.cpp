// Hostile HTTP clients against the console's server: floods of header
// lines, bodies over the limit (chunked too), clients that trickle their
// headers or sit idle. The server must keep its memory and stay
// answering for everybody else. Memory is the process's peak (VmHWM);
// times are only "answered before a generous limit".
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "ui/console_api.h"
#include "ui/console_server.h"
#include "support/loopback_client.h"
#include "support/peak_memory.h"

namespace {

int connectTo(uint16_t port) { return connectLoopback(port, 60); }

bool sendAll(int fd, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

// Everything the server sends until it closes (or the limit passes).
std::string readAll(int fd) {
  std::string out;
  char buffer[4096];
  ssize_t n;
  while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) out.append(buffer, static_cast<size_t>(n));
  return out;
}

// The status line of a plain GET / from a well-behaved client.
std::string politeGet(uint16_t port) {
  int fd = connectTo(port);
  if (fd < 0) return "no connection";
  sendAll(fd, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
  std::string answer = readAll(fd);
  ::close(fd);
  return answer.substr(0, answer.find("\r\n"));
}

// Sends the request head, then the flood in pieces, until the server
// stops taking it or limit bytes went; returns the bytes sent.
size_t flood(int fd, const std::string& head, const std::string& piece, size_t limit) {
  if (!sendAll(fd, head)) return 0;
  size_t sent = 0;
  while (sent < limit && sendAll(fd, piece)) sent += piece.size();
  return sent;
}

class HostileClients : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(server.start(&error)) << error;
    port = server.port();
  }
  ConsoleApi api{ConsoleContext{}};
  ConsoleServer server{ConsoleConfig{}, api};
  uint16_t port = 0;
};

}  // namespace

TEST_F(HostileClients, OversizedHeaderLinesAreRefusedWithoutGrowingMemory) {
  long before = peakKb();
  int fd = connectTo(port);
  ASSERT_GE(fd, 0);
  std::string line = "X-Flood: " + std::string(64 * 1024, 'a') + "\r\n";
  size_t sent = flood(fd, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n", line, 200u << 20);
  std::string answer = readAll(fd);
  ::close(fd);
  EXPECT_LT(sent, 200u << 20) << "the server read 200 MB of headers";
  if (!answer.empty()) {
    EXPECT_EQ(answer.rfind("HTTP/1.1 431", 0), 0u) << answer.substr(0, 40);
  }
  EXPECT_LT(peakKb() - before, 20 * 1024);
  EXPECT_EQ(politeGet(port), "HTTP/1.1 200 OK");
}

TEST_F(HostileClients, CountlessSmallHeadersAreRefusedWithoutGrowingMemory) {
  long before = peakKb();
  int fd = connectTo(port);
  ASSERT_GE(fd, 0);
  std::string lines;
  for (int i = 0; i < 1000; ++i) lines += "X-A: b\r\n";
  size_t sent = flood(fd, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n", lines, 100u << 20);
  readAll(fd);
  ::close(fd);
  EXPECT_LT(sent, 100u << 20);
  EXPECT_LT(peakKb() - before, 20 * 1024);
  EXPECT_EQ(politeGet(port), "HTTP/1.1 200 OK");
}

TEST_F(HostileClients, BodiesOverTheLimitAreRefusedChunkedOrNot) {
  long before = peakKb();
  int declared = connectTo(port);
  ASSERT_GE(declared, 0);
  sendAll(declared, "POST /api/login HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                    "Content-Length: 104857600\r\n\r\n");
  std::string answer = readAll(declared);
  ::close(declared);
  EXPECT_EQ(answer.rfind("HTTP/1.1 413", 0), 0u) << answer.substr(0, 40);

  int chunked = connectTo(port);
  ASSERT_GE(chunked, 0);
  std::string chunk = "10000\r\n" + std::string(0x10000, '{') + "\r\n";
  size_t sent = flood(chunked,
                      "POST /api/login HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                      "Transfer-Encoding: chunked\r\n\r\n",
                      chunk, 100u << 20);
  readAll(chunked);
  ::close(chunked);
  EXPECT_LT(sent, 100u << 20) << "the server read 100 MB of chunked body";
  EXPECT_LT(peakKb() - before, 20 * 1024);
  EXPECT_EQ(politeGet(port), "HTTP/1.1 200 OK");
}

TEST_F(HostileClients, SlowHeaderClientsAndIdleSocketsDoNotHoldUpOthers) {
  std::atomic<bool> stop{false};
  std::vector<std::thread> slow;
  for (int i = 0; i < 8; ++i)
    slow.emplace_back([&] {
      int fd = connectTo(port);
      if (fd < 0) return;
      sendAll(fd, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n");
      while (!stop) {
        for (int t = 0; t < 30 && !stop; ++t) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!sendAll(fd, "X-Slow: 1\r\n")) break;
      }
      ::close(fd);
    });
  std::vector<int> idle;
  for (int i = 0; i < 50; ++i) idle.push_back(connectTo(port));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(politeGet(port), "HTTP/1.1 200 OK");
  EXPECT_EQ(politeGet(port), "HTTP/1.1 200 OK");
  stop = true;
  for (std::thread& t : slow) t.join();
  for (int fd : idle)
    if (fd >= 0) ::close(fd);
}

TEST(HttpTransport, ARequestTrickledInIsCutAfterItsTimeLimit) {
  HttpLimits limits;
  limits.requestSeconds = 2;
  HttpTransport transport(limits, [](const HttpRequest&) { return HttpAnswer{200, "text/plain", "ok", {}}; });
  std::string error;
  ASSERT_TRUE(transport.start(HttpEndpoint{}, &error)) << error;
  int fd = connectTo(transport.port());
  ASSERT_GE(fd, 0);
  sendAll(fd, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n");
  // A header line every 300 ms, never the end of the headers: idle time
  // alone would never end it.
  bool cut = false;
  for (int i = 0; i < 200 && !cut; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    cut = !sendAll(fd, "X-Slow: 1\r\n");
    char c;
    if (!cut) cut = ::recv(fd, &c, 1, MSG_DONTWAIT) == 0;
  }
  ::close(fd);
  EXPECT_TRUE(cut) << "a request trickled in for a minute was still open";
  // A request that comes whole is answered.
  int polite = connectTo(transport.port());
  sendAll(polite, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(readAll(polite).rfind("HTTP/1.1 200", 0), 0u);
  ::close(polite);
}
