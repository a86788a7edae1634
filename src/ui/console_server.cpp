#include "ui/console_server.h"

#include <fstream>
#include <sstream>

#include "common/string_mapper.h"
#include "ui/console_api.h"
#include "ui/console_assets.h"
#include "ui/console_security.h"

namespace {

constexpr const char* kAccessCookie = "orv_access";
constexpr const char* kTokenHeader = "x-orvane-token";

std::string cookieValue(const HttpRequest& req, std::string_view name) {
  std::string cookies = req.header("cookie");
  size_t pos = 0;
  while (pos < cookies.size()) {
    size_t end = cookies.find(';', pos);
    if (end == std::string::npos) end = cookies.size();
    std::string_view pair(cookies.data() + pos, end - pos);
    while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
    if (pair.size() > name.size() && pair.substr(0, name.size()) == name && pair[name.size()] == '=')
      return std::string(pair.substr(name.size() + 1));
    pos = end + 1;
  }
  return std::string();
}

HttpAnswer refuse(int status, const char* why) {
  return HttpAnswer{status, "application/json", std::string("{\"ok\":false,\"message\":\"") + why + "\"}", {}};
}

HttpAnswer json(const ApiReply& reply) { return HttpAnswer{reply.status, "application/json", ConsoleApi::dump(reply.body), {}}; }

std::string contentTypeOf(const std::string& path) {
  auto ends = [&](const char* ext) {
    size_t n = std::char_traits<char>::length(ext);
    return path.size() >= n && path.compare(path.size() - n, n, ext) == 0;
  };
  if (ends(".htm") || ends(".html")) return "text/html; charset=utf-8";
  if (ends(".css")) return "text/css; charset=utf-8";
  if (ends(".png")) return "image/png";
  if (ends(".gif")) return "image/gif";
  if (ends(".jpg") || ends(".jpeg")) return "image/jpeg";
  if (ends(".svg")) return "image/svg+xml";
  return "text/plain; charset=utf-8";
}

std::string replaceAll(std::string text, std::string_view what, std::string_view with) {
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
  return text;
}

bool startsWith(const std::string& text, std::string_view prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// [A-Za-z0-9._-]+ and nothing else.
bool plainName(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
          c == '-'))
      return false;
  return true;
}

// [a-z]+
bool lowerWord(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name)
    if (c < 'a' || c > 'z') return false;
  return true;
}

}  // namespace

ConsoleServer::ConsoleServer(ConsoleConfig config, ConsoleApi& api)
    : config_(std::move(config)), api_(api), processToken_(makeProcessToken()) {}

ConsoleServer::~ConsoleServer() { stop(); }

std::string ConsoleServer::url() const {
  std::string host = config_.address.find(':') != std::string::npos ? "[" + config_.address + "]" : config_.address;
  if (host == "0.0.0.0") host = "127.0.0.1";
  if (host == "[::]") host = "[::1]";
  return "http://" + host + ":" + std::to_string(port_) + "/";
}

bool ConsoleServer::start(std::string* error) {
  if (!isLoopbackAddress(config_.address) && config_.accessToken.empty()) {
    *error = "the console may listen on " + config_.address +
             " only with an access token (setting 207 in orvserv.cfg)";
    return false;
  }
  transport_ = std::make_unique<HttpTransport>(HttpLimits{}, [this](const HttpRequest& r) { return answer(r); });
  transport_->setCommonHeaders(
      {{"Content-Security-Policy",
        "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
        "object-src 'none'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
       {"X-Content-Type-Options", "nosniff"},
       {"X-Frame-Options", "DENY"},
       {"Referrer-Policy", "no-referrer"},
       {"Cache-Control", "no-store"}});
  HttpEndpoint endpoint;
  endpoint.address = config_.address;
  endpoint.port = config_.port;
  if (!transport_->start(endpoint, error)) {
    transport_.reset();
    return false;
  }
  port_ = transport_->port();
  return true;
}

void ConsoleServer::stop() {
  if (transport_) transport_->stop();
  transport_.reset();
}

HttpAnswer ConsoleServer::answer(const HttpRequest& req) {
  bool loopback = isLoopbackAddress(req.peer);
  if (loopback) {
    if (!hostAllowed(req.header("host"), config_.address)) return refuse(403, "unexpected Host header");
  } else {
    std::string presented = cookieValue(req, kAccessCookie);
    bool viaQuery = req.hasParam("access") && req.method == "GET" && req.path == "/";
    if (viaQuery) presented = req.param("access");
    if (config_.accessToken.empty() || !tokensEqual(presented, config_.accessToken))
      return refuse(403, "access token required");
    if (viaQuery) {
      HttpAnswer redirect{303, "text/plain; charset=utf-8", "", {}};
      redirect.headers.emplace("Set-Cookie",
                               std::string(kAccessCookie) + "=" + presented + "; Path=/; HttpOnly; SameSite=Strict");
      redirect.headers.emplace("Location", "/");
      return redirect;
    }
  }
  if (req.method == "POST") {
    if (!tokensEqual(req.header(kTokenHeader), processToken_)) return refuse(403, "missing or wrong console token");
  } else if (req.method != "GET" && req.method != "HEAD") {
    return refuse(405, "method not allowed");
  }
  return route(req);
}

HttpAnswer ConsoleServer::route(const HttpRequest& req) {
  bool get = req.method != "POST";
  if (get && req.path == "/") {
    std::string page(consolePage());
    page = replaceAll(std::move(page), "{{TOKEN}}", processToken_);
    page = replaceAll(std::move(page), "{{TITLE}}", htmlEscape(translate("*Tarnwick @Orvane").view()));
    return HttpAnswer{200, "text/html; charset=utf-8", page, {}};
  }
  if (get && startsWith(req.path, "/assets/")) {
    std::string name = req.path.substr(8);
    const ConsoleAsset* asset = plainName(name) ? consoleAsset(name) : nullptr;
    if (!asset) return refuse(404, "no such asset");
    return HttpAnswer{200, std::string(asset->contentType), std::string(asset->body), {}};
  }
  if (get && startsWith(req.path, "/help/") && req.path.size() > 6) {
    std::optional<std::string> file = resolveUnder(config_.manualDirectory, req.path.substr(6));
    if (!file) return refuse(404, "no such page in the manual");
    std::ifstream in(*file, std::ios::binary);
    std::ostringstream body;
    body << in.rdbuf();
    if (!in && !in.eof()) return refuse(500, "the manual page cannot be read");
    return HttpAnswer{200, contentTypeOf(*file), body.str(), {}};
  }
  if (startsWith(req.path, "/api/") && lowerWord(std::string_view(req.path).substr(5))) {
    if (get) {
      ApiParams params(req.query.begin(), req.query.end());
      return json(api_.get(req.path, params));
    }
    nlohmann::json body = nlohmann::json::parse(req.body, nullptr, false);
    if (body.is_discarded()) return refuse(400, "the body is not JSON");
    return json(api_.post(req.path, body));
  }
  return refuse(404, "not found");
}
