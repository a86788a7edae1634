// ScriptedSockets: a SocketLayer that plays a scripted peer, for tests.
//
// It plays what real servers will not do on demand: resolver and protocol
// lookup failures, busy local ports, connect errors per attempt, a peer that
// is silent, closes mid-line, sends NUL bytes or fails a read. The peer's
// side is a queue of steps (bytes, pauses, close, read error) and, when set,
// a responder called with every complete line the client sends, whose
// answer is queued after the steps already there. Waits advance the
// platform clock (platformClock().sleepMs), so under a fake clock a 60 s
// time limit passes at once.
//
// Everything the client sends is kept in sent(); every socket call is
// logged in events() ("open", "bind 3333", "connect 10.0.0.1:110",
// "shutdown", "close"), so tests can check what went on the wire.
//
// Install with setSockets(&layer); not thread-safe.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/socket.h"

class ScriptedSockets : public SocketLayer {
 public:
  // --- what the environment does ---
  int startupError = 0;
  std::map<std::string, HostEntry> hostsByName;
  std::map<uint32_t, HostEntry> hostsByAddress;  // reverse entries
  int protocolError = 0;
  int protocolNumber = 6;
  int hostNameError = 0;
  std::string hostName = "gateway.test";
  int openError = 0;
  std::set<uint16_t> busyPorts;  // bind gives EADDRINUSE
  int bindError = 0;             // any bind fails with this, when not 0
  std::deque<int> connectErrors;  // result of each connect attempt, in turn
  int connectErrorAfter = 0;      // result once connectErrors is used up
  // How long a connect that succeeds takes to be made; kNeverConnects: it
  // is never answered (a host that drops the packets).
  static constexpr int64_t kNeverConnects = -1;
  int64_t connectDelayMs = 0;

  // Adds a host with one address (dotted text) and its reverse entry.
  void addHost(const std::string& name, const std::string& dotted);

  // --- what the peer does, in order ---
  void peerSends(std::string bytes);
  void peerPauses(int64_t ms);
  void peerCloses();
  void peerFails(int err);
  // Called with each complete line (line feed included) the client sends.
  std::function<std::string(const std::string& line)> responder;
  // When the queue runs dry: true, the peer stays silent; false, it closes.
  bool silentWhenDone = true;
  // Most bytes one receive hands out (to exercise reads across chunks).
  size_t chunkLimit = 1 << 16;

  const std::string& sent() const { return sent_; }
  void clearSent() { sent_.clear(); }
  const std::vector<std::string>& events() const { return events_; }
  int eventCount(const std::string& prefix) const;
  int openHandles() const { return static_cast<int>(open_.size()); }

  // SocketLayer
  int startup() override;
  void cleanup() override;
  int hostByName(const std::string& name, HostEntry& out) override;
  int hostByAddress(uint32_t address, HostEntry& out) override;
  int protocolByName(const std::string& name, int& number) override;
  int localHostName(std::string& out, size_t capacity) override;
  int openStream(int protocol, int& handle) override;
  int setReuseAddress(int handle) override;
  int bindLocal(int handle, uint16_t port) override;
  int startConnect(int handle, uint32_t address, uint16_t port) override;
  int waitConnected(int handle, int64_t timeoutMs) override;
  int shutdownBoth(int handle) override;
  int closeHandle(int handle) override;
  int waitReadable(int handle, int64_t timeoutMs) override;
  long receive(int handle, char* buffer, size_t capacity) override;
  long sendAll(int handle, const char* data, size_t length, int64_t timeoutMs) override;

 private:
  enum class Kind { Bytes, Pause, Close, Fail };
  struct Step {
    Kind kind;
    std::string bytes;
    int64_t value = 0;  // pause ms or errno
  };

  std::deque<Step> steps_;
  std::string sent_;
  std::string partialLine_;
  std::vector<std::string> events_;
  std::set<int> open_;
  int nextHandle_ = 100;
  int64_t connectLeftMs_ = 0;  // of the connect being made
};
