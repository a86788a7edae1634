#include "platform/socket_scripted.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/clock.h"
#include "platform/inet.h"
#include "platform/net_address.h"

namespace {

std::string dotted(uint32_t address) {
  const auto* b = reinterpret_cast<const unsigned char*>(&address);
  return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
}

}  // namespace

void ScriptedSockets::addHost(const std::string& name, const std::string& address) {
  HostEntry entry{name, {dottedAddress(address)}};
  hostsByName[name] = entry;
  hostsByAddress[entry.addresses[0]] = entry;
}

void ScriptedSockets::peerSends(std::string bytes) { steps_.push_back({Kind::Bytes, std::move(bytes)}); }
void ScriptedSockets::peerPauses(int64_t ms) { steps_.push_back({Kind::Pause, {}, ms}); }
void ScriptedSockets::peerCloses() { steps_.push_back({Kind::Close, {}}); }
void ScriptedSockets::peerFails(int err) { steps_.push_back({Kind::Fail, {}, err}); }

int ScriptedSockets::eventCount(const std::string& prefix) const {
  return static_cast<int>(std::count_if(events_.begin(), events_.end(),
                                        [&](const std::string& e) { return e.rfind(prefix, 0) == 0; }));
}

int ScriptedSockets::startup() { return startupError; }
void ScriptedSockets::cleanup() {}

int ScriptedSockets::hostByName(const std::string& name, HostEntry& out) {
  auto it = hostsByName.find(name);
  if (it == hostsByName.end()) return HOST_NOT_FOUND;
  out = it->second;
  return 0;
}

int ScriptedSockets::hostByAddress(uint32_t address, HostEntry& out) {
  auto it = hostsByAddress.find(address);
  if (it == hostsByAddress.end()) return HOST_NOT_FOUND;
  out = it->second;
  return 0;
}

int ScriptedSockets::protocolByName(const std::string&, int& number) {
  if (protocolError != 0) return protocolError;
  number = protocolNumber;
  return 0;
}

int ScriptedSockets::localHostName(std::string& out, size_t capacity) {
  if (hostNameError != 0) return hostNameError;
  out = hostName.substr(0, capacity > 0 ? capacity - 1 : 0);
  return 0;
}

int ScriptedSockets::openStream(int, int& handle) {
  events_.push_back("open");
  if (openError != 0) return openError;
  handle = nextHandle_++;
  open_.insert(handle);
  return 0;
}

int ScriptedSockets::setReuseAddress(int) { return 0; }

int ScriptedSockets::bindLocal(int, uint16_t port) {
  events_.push_back("bind " + std::to_string(port));
  if (bindError != 0) return bindError;
  return busyPorts.count(port) ? EADDRINUSE : 0;
}

int ScriptedSockets::startConnect(int, uint32_t address, uint16_t port) {
  events_.push_back("connect " + dotted(address) + ":" + std::to_string(port));
  int err = connectErrorAfter;
  if (!connectErrors.empty()) {
    err = connectErrors.front();
    connectErrors.pop_front();
  }
  if (err != 0 || connectDelayMs == 0) return err;
  connectLeftMs_ = connectDelayMs;
  return EINPROGRESS;
}

int ScriptedSockets::waitConnected(int, int64_t timeoutMs) {
  timeoutMs = std::max<int64_t>(timeoutMs, 0);
  if (connectLeftMs_ == kNeverConnects || connectLeftMs_ > timeoutMs) {
    platformClock().sleepMs(timeoutMs);
    if (connectLeftMs_ != kNeverConnects) connectLeftMs_ -= timeoutMs;
    return EINPROGRESS;
  }
  platformClock().sleepMs(connectLeftMs_);
  connectLeftMs_ = 0;
  return 0;
}

int ScriptedSockets::shutdownBoth(int) {
  events_.push_back("shutdown");
  return 0;
}

int ScriptedSockets::closeHandle(int handle) {
  events_.push_back("close");
  open_.erase(handle);
  return 0;
}

int ScriptedSockets::waitReadable(int, int64_t timeoutMs) {
  int64_t left = std::max<int64_t>(timeoutMs, 0);
  while (!steps_.empty() && steps_.front().kind == Kind::Pause) {
    Step& pause = steps_.front();
    if (pause.value > left) {
      platformClock().sleepMs(left);
      pause.value -= left;
      return 0;
    }
    platformClock().sleepMs(pause.value);
    left -= pause.value;
    steps_.pop_front();
  }
  if (steps_.empty() && silentWhenDone) {
    platformClock().sleepMs(left);
    return 0;
  }
  return 1;
}

long ScriptedSockets::receive(int, char* buffer, size_t capacity) {
  while (!steps_.empty() && steps_.front().kind == Kind::Pause) steps_.pop_front();
  if (steps_.empty()) return silentWhenDone ? -EAGAIN : 0;
  Step& step = steps_.front();
  if (step.kind == Kind::Close) return 0;
  if (step.kind == Kind::Fail) {
    long err = -static_cast<long>(step.value);
    steps_.pop_front();
    return err;
  }
  size_t n = std::min({capacity, step.bytes.size(), chunkLimit});
  std::memcpy(buffer, step.bytes.data(), n);
  step.bytes.erase(0, n);
  if (step.bytes.empty()) steps_.pop_front();
  return static_cast<long>(n);
}

long ScriptedSockets::sendAll(int handle, const char* data, size_t length, int64_t) {
  if (!open_.count(handle)) return -EBADF;
  sent_.append(data, length);
  if (!responder) return static_cast<long>(length);
  partialLine_.append(data, length);
  size_t start = 0;
  for (size_t lf; (lf = partialLine_.find('\n', start)) != std::string::npos; start = lf + 1) {
    std::string answer = responder(partialLine_.substr(start, lf + 1 - start));
    if (!answer.empty()) peerSends(std::move(answer));
  }
  partialLine_.erase(0, start);
  return static_cast<long>(length);
}
