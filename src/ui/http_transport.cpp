#include "ui/http_transport.h"

#include <microhttpd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>

#include "platform/connection_cut.h"
#include "platform/inet.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return text;
}

struct PendingRequest {
  HttpRequest request;
};

MHD_Result collectHeader(void* cls, MHD_ValueKind, const char* key, const char* value) {
  auto* request = static_cast<HttpRequest*>(cls);
  std::string name = lower(key ? key : "");
  std::string& slot = request->headers[name];
  // Repeated headers are joined as HTTP allows; a repeated Cookie with "; ".
  if (!slot.empty()) slot += name == "cookie" ? "; " : ", ";
  slot += value ? value : "";
  return MHD_YES;
}

MHD_Result collectQuery(void* cls, MHD_ValueKind, const char* key, const char* value) {
  static_cast<HttpRequest*>(cls)->query.emplace(key ? key : "", value ? value : "");
  return MHD_YES;
}

std::string peerOf(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  if (!info || !info->client_addr) return std::string();
  char text[INET6_ADDRSTRLEN] = {};
  const sockaddr* addr = info->client_addr;
  if (addr->sa_family == AF_INET)
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(addr)->sin_addr, text, sizeof text);
  else if (addr->sa_family == AF_INET6)
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(addr)->sin6_addr, text, sizeof text);
  return text;
}

bool parseLength(std::string_view text, size_t& out) {
  if (text.empty() || text.size() > 19) return false;
  size_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<size_t>(c - '0');
  }
  out = value;
  return true;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Content-Length as the request gave it: repeated headers arrive joined
// with ", ", and they may only repeat one number. Nothing for a value that
// is not one decimal number, so that no two readers of the request can
// disagree on where its body ends.
std::optional<size_t> declaredLength(const std::string& joined) {
  std::optional<size_t> length;
  size_t pos = 0;
  while (pos <= joined.size()) {
    size_t comma = joined.find(',', pos);
    if (comma == std::string::npos) comma = joined.size();
    size_t value = 0;
    if (!parseLength(trimmed(std::string_view(joined).substr(pos, comma - pos)), value)) return std::nullopt;
    if (length && *length != value) return std::nullopt;
    length = value;
    pos = comma + 1;
  }
  return length;
}

bool isChunked(const std::string& transferEncoding) {
  std::string_view v = trimmed(transferEncoding);
  if (v.size() != 7) return false;
  for (size_t i = 0; i < 7; ++i) {
    char c = v[i];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c != "chunked"[i]) return false;
  }
  return true;
}

}  // namespace

std::string HttpRequest::header(const std::string& lowerName) const {
  auto it = headers.find(lowerName);
  return it == headers.end() ? std::string() : it->second;
}

std::string HttpRequest::param(const std::string& name) const {
  auto it = query.find(name);
  return it == query.end() ? std::string() : it->second;
}

struct HttpTransport::State {
  HttpTransport* owner = nullptr;
  MHD_Daemon* daemon = nullptr;
  bool secure = false;

  // Every open connection, for the watchdog that cuts slow requests.
  struct Tracked {
    int fd = -1;
    std::string peer;
    Clock::time_point began;  // start of the request being read
    Clock::time_point opened;
    bool answering = false;   // the handler has it
    bool cut = false;
    bool trusted = false;
  };
  std::mutex mutex;
  std::map<MHD_Connection*, Tracked> connections;
  std::condition_variable wake;
  bool stopping = false;
  std::thread watchdog;

  void watch() {
    std::unique_lock<std::mutex> lock(mutex);
    auto limit = std::chrono::seconds(owner->limits().requestSeconds);
    while (!wake.wait_for(lock, std::chrono::milliseconds(500), [&] { return stopping; })) {
      Clock::time_point now = Clock::now();
      for (auto& [connection, tracked] : connections) {
        if (tracked.answering || tracked.cut || now - tracked.began < limit) continue;
        // The daemon sees the end of the stream and closes the connection;
        // it removes the entry (under this mutex) before the descriptor is
        // closed, so the descriptor cut here is still this connection's.
        (void)cutConnection(tracked.fd);
        tracked.cut = true;
      }
    }
  }

  // A new connection from peer, under the mutex: when untrusted ones are
  // over their caps, the oldest idle untrusted one (of peer first) ends.
  void makeRoom(MHD_Connection* arrived, const std::string& peer) {
    const HttpLimits& limits = owner->limits();
    size_t ofPeer = 0, all = 0;
    for (const auto& [connection, t] : connections) {
      if (connection == arrived || t.trusted || t.cut) continue;
      ++all;
      if (t.peer == peer) ++ofPeer;
    }
    bool peerFull = ofPeer >= limits.maxUntrustedPerClient;
    if (!peerFull && all < limits.maxUntrusted) return;
    Tracked* oldest = nullptr;
    for (auto& [connection, t] : connections) {
      if (connection == arrived || t.trusted || t.cut || t.answering || (peerFull && t.peer != peer)) continue;
      if (!oldest || t.opened < oldest->opened) oldest = &t;
    }
    if (!oldest) return;
    (void)cutConnection(oldest->fd);
    oldest->cut = true;
  }

  void setTrusted(MHD_Connection* connection) {
    std::lock_guard<std::mutex> lock(mutex);
    if (auto it = connections.find(connection); it != connections.end()) it->second.trusted = true;
  }

  void setAnswering(MHD_Connection* connection, bool answering) {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = connections.find(connection);
    if (it == connections.end()) return;
    it->second.answering = answering;
    if (!answering) it->second.began = Clock::now();
  }
};

namespace {

void notifyConnection(void* cls, MHD_Connection* connection, void**, MHD_ConnectionNotificationCode code) {
  auto* state = static_cast<HttpTransport::State*>(cls);
  std::lock_guard<std::mutex> lock(state->mutex);
  if (code == MHD_CONNECTION_NOTIFY_STARTED) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    HttpTransport::State::Tracked tracked;
    tracked.fd = info ? info->connect_fd : -1;
    tracked.peer = peerOf(connection);
    tracked.began = tracked.opened = Clock::now();
    state->connections[connection] = tracked;
    state->makeRoom(connection, tracked.peer);
  } else {
    state->connections.erase(connection);
  }
}

void requestCompleted(void* cls, MHD_Connection* connection, void** context, MHD_RequestTerminationCode) {
  delete static_cast<PendingRequest*>(*context);
  *context = nullptr;
  static_cast<HttpTransport::State*>(cls)->setAnswering(connection, false);
}

MHD_Result send(MHD_Connection* connection, const HttpAnswer& answer,
                const std::multimap<std::string, std::string>& common) {
  MHD_Response* response = MHD_create_response_from_buffer(answer.body.size(), const_cast<char*>(answer.body.data()),
                                                            MHD_RESPMEM_MUST_COPY);
  if (!response) return MHD_NO;
  for (const auto& [name, value] : common) MHD_add_response_header(response, name.c_str(), value.c_str());
  for (const auto& [name, value] : answer.headers) MHD_add_response_header(response, name.c_str(), value.c_str());
  MHD_add_response_header(response, "Content-Type", answer.contentType.c_str());
  MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(answer.status), response);
  MHD_destroy_response(response);
  return queued;
}

}  // namespace

// The daemon's request callback: called once when the headers are in, once
// per piece of body, and once more when the request is whole.
static MHD_Result onRequest(void* cls, MHD_Connection* connection, const char* url, const char* method,
                            const char*, const char* upload, size_t* uploadSize, void** context);

HttpTransport::HttpTransport(HttpLimits limits, Handler handler)
    : limits_(limits), handler_(std::move(handler)) {}

HttpTransport::~HttpTransport() { stop(); }

bool HttpTransport::start(const HttpEndpoint& endpoint, std::string* error) {
  stop();
  auto state = std::make_unique<State>();
  state->owner = this;
  sockaddr_in v4{};
  sockaddr_in6 v6{};
  const sockaddr* addr = nullptr;
  // epoll where the system has it (Linux); elsewhere (Windows) poll.
  unsigned flags = MHD_is_feature_supported(MHD_FEATURE_EPOLL) == MHD_YES ? MHD_USE_EPOLL_INTERNAL_THREAD
                   : MHD_is_feature_supported(MHD_FEATURE_POLL) == MHD_YES ? MHD_USE_POLL_INTERNAL_THREAD
                                                                          : MHD_USE_INTERNAL_POLLING_THREAD;
  if (inet_pton(AF_INET, endpoint.address.c_str(), &v4.sin_addr) == 1) {
    v4.sin_family = AF_INET;
    v4.sin_port = htons(endpoint.port);
    addr = reinterpret_cast<const sockaddr*>(&v4);
  } else if (inet_pton(AF_INET6, endpoint.address.c_str(), &v6.sin6_addr) == 1) {
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(endpoint.port);
    addr = reinterpret_cast<const sockaddr*>(&v6);
    flags |= MHD_USE_IPv6;
  } else {
    *error = "the console address " + endpoint.address + " is not an IPv4 or IPv6 address";
    return false;
  }
  bool tls = !endpoint.certificatePem.empty() && !endpoint.keyPem.empty();
  if (tls) {
    if (MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES) {
      // The Windows build's server has no TLS (it would need GnuTLS): its
      // console listens on loopback only.
      *error = "the console cannot use TLS in this build; let it listen on a loopback address "
               "(/Listen:127.0.0.1:PORT) and reach it through a remote session on this machine";
      return false;
    }
    flags |= MHD_USE_TLS;
  }
  state->secure = tls;
  MHD_OptionItem options[] = {
      {MHD_OPTION_SOCK_ADDR, 0, const_cast<sockaddr*>(addr)},
      {MHD_OPTION_THREAD_POOL_SIZE, static_cast<intptr_t>(limits_.threads), nullptr},
      {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(limits_.connectionMemory), nullptr},
      {MHD_OPTION_CONNECTION_LIMIT, static_cast<intptr_t>(limits_.maxConnections), nullptr},
      {MHD_OPTION_CONNECTION_TIMEOUT, static_cast<intptr_t>(limits_.idleSeconds), nullptr},
      {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&requestCompleted), state.get()},
      {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&notifyConnection), state.get()},
      {tls ? MHD_OPTION_HTTPS_MEM_CERT : MHD_OPTION_END, 0, const_cast<char*>(endpoint.certificatePem.c_str())},
      {tls ? MHD_OPTION_HTTPS_MEM_KEY : MHD_OPTION_END, 0, const_cast<char*>(endpoint.keyPem.c_str())},
      {MHD_OPTION_END, 0, nullptr},
  };
  state->daemon = MHD_start_daemon(flags, endpoint.port, nullptr, nullptr, &onRequest, state.get(),
                                   MHD_OPTION_ARRAY, options, MHD_OPTION_END);
  if (!state->daemon) {
    *error = "cannot listen on " + endpoint.address + ":" + std::to_string(endpoint.port) +
             (tls ? " (in use, not an address of this machine, or the certificate and key do not match)"
                  : " (in use, or not an address of this machine)");
    return false;
  }
  const MHD_DaemonInfo* info = MHD_get_daemon_info(state->daemon, MHD_DAEMON_INFO_BIND_PORT);
  port_ = info ? info->port : endpoint.port;
  State* raw = state.get();
  state->watchdog = std::thread([raw] { raw->watch(); });
  state_ = std::move(state);
  return true;
}

void HttpTransport::stop() {
  if (!state_) return;
  MHD_stop_daemon(state_->daemon);
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->stopping = true;
  }
  state_->wake.notify_all();
  if (state_->watchdog.joinable()) state_->watchdog.join();
  state_.reset();
}

static MHD_Result onRequest(void* cls, MHD_Connection* connection, const char* url, const char* method,
                            const char*, const char* upload, size_t* uploadSize, void** context) {
  auto* state = static_cast<HttpTransport::State*>(cls);
  HttpTransport& owner = *state->owner;
  auto* pending = static_cast<PendingRequest*>(*context);
  if (!pending) {
    // Headers are in; the body (if any) comes in the next calls.
    pending = new PendingRequest;
    *context = pending;
    HttpRequest& r = pending->request;
    r.method = method ? method : "";
    r.path = url ? url : "";
    r.peer = peerOf(connection);
    r.secure = state->secure;
    MHD_get_connection_values(connection, MHD_HEADER_KIND, &collectHeader, &r);
    MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, &collectQuery, &r);
    if (owner.trusted(r)) state->setTrusted(connection);
    // Where the body ends must be plain (RFC 9112, section 6): one
    // Content-Length, or chunked alone; the library would read anything
    // else its own way, or wait for a body it cannot delimit.
    auto refuse = [&](int status, const char* why) {
      HttpAnswer refused{status, "application/json", std::string("{\"error\":\"") + why + "\"}", {}};
      refused.headers.emplace("Connection", "close");
      return send(connection, refused, owner.commonHeaders());
    };
    bool hasLength = r.headers.count("content-length") > 0;
    bool hasEncoding = r.headers.count("transfer-encoding") > 0;
    if (hasEncoding && !isChunked(r.header("transfer-encoding")))
      return refuse(501, "transfer encoding not implemented");
    if (hasEncoding && hasLength) return refuse(400, "both Content-Length and Transfer-Encoding");
    if (hasLength) {
      std::optional<size_t> declared = declaredLength(r.header("content-length"));
      if (!declared) return refuse(400, "invalid or conflicting Content-Length");
      if (*declared > owner.limits().maxBody) return refuse(413, "request body too large");
    }
    return MHD_YES;
  }
  if (*uploadSize > 0) {
    if (pending->request.body.size() + *uploadSize > owner.limits().maxBody) return MHD_NO;  // ends the connection
    pending->request.body.append(upload, *uploadSize);
    *uploadSize = 0;
    return MHD_YES;
  }
  state->setAnswering(connection, true);
  HttpAnswer answer;
  try {
    answer = owner.handle(pending->request);
  } catch (const std::exception&) {
    answer = HttpAnswer{500, "application/json", "{\"error\":\"internal error\"}", {}};
  }
  return send(connection, answer, owner.commonHeaders());
}
