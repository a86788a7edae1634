#include "ui/console_server.h"

#include <httplib.h>

#include <fstream>
#include <sstream>

#include "common/string_mapper.h"
#include "ui/console_api.h"
#include "ui/console_assets.h"
#include "ui/console_security.h"

namespace {

constexpr const char* kAccessCookie = "orv_access";
constexpr const char* kTokenHeader = "X-Orvane-Token";

std::string cookieValue(const httplib::Request& req, std::string_view name) {
  std::string cookies = req.get_header_value("Cookie");
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

void refuse(httplib::Response& res, int status, const char* why) {
  res.status = status;
  res.set_content(std::string("{\"ok\":false,\"message\":\"") + why + "\"}", "application/json");
}

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
  server_ = std::make_unique<httplib::Server>();
  server_->set_payload_max_length(kMaxBody);
  server_->set_read_timeout(10, 0);
  server_->set_write_timeout(10, 0);
  routes();
  if (config_.port == 0) {
    int port = server_->bind_to_any_port(config_.address);
    if (port <= 0) {
      *error = "cannot listen on " + config_.address;
      return false;
    }
    port_ = static_cast<uint16_t>(port);
  } else {
    if (!server_->bind_to_port(config_.address, config_.port)) {
      *error = "cannot listen on " + config_.address + ":" + std::to_string(config_.port) +
               " (in use, or not an address of this machine)";
      return false;
    }
    port_ = config_.port;
  }
  thread_ = std::thread([this] {
    server_->listen_after_bind();
    listenEnded_ = true;
  });
  // httplib's stop() does nothing until the listening thread has marked the
  // server running, so a stop right after start would leave that thread in
  // accept() and stop() waiting for it for ever. Return only once it runs
  // (or has given up listening).
  while (!server_->is_running() && !listenEnded_.load()) std::this_thread::yield();
  return true;
}

void ConsoleServer::stop() {
  if (server_) server_->stop();
  if (thread_.joinable()) thread_.join();
  server_.reset();
}

void ConsoleServer::routes() {
  httplib::Server& s = *server_;
  s.set_default_headers({{"Content-Security-Policy",
                          "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
                          "object-src 'none'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
                         {"X-Content-Type-Options", "nosniff"},
                         {"X-Frame-Options", "DENY"},
                         {"Referrer-Policy", "no-referrer"},
                         {"Cache-Control", "no-store"}});

  s.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    using R = httplib::Server::HandlerResponse;
    bool loopback = isLoopbackAddress(req.remote_addr);
    if (loopback) {
      if (!hostAllowed(req.get_header_value("Host"), config_.address)) {
        refuse(res, 403, "unexpected Host header");
        return R::Handled;
      }
    } else {
      std::string presented = cookieValue(req, kAccessCookie);
      bool viaQuery = req.has_param("access") && req.method == "GET" && req.path == "/";
      if (viaQuery) presented = req.get_param_value("access");
      if (config_.accessToken.empty() || !tokensEqual(presented, config_.accessToken)) {
        refuse(res, 403, "access token required");
        return R::Handled;
      }
      if (viaQuery) {
        res.set_header("Set-Cookie",
                       std::string(kAccessCookie) + "=" + presented + "; Path=/; HttpOnly; SameSite=Strict");
        res.set_redirect("/");
        return R::Handled;
      }
    }
    if (req.method == "POST") {
      if (!tokensEqual(req.get_header_value(kTokenHeader), processToken_)) {
        refuse(res, 403, "missing or wrong console token");
        return R::Handled;
      }
    } else if (req.method != "GET" && req.method != "HEAD") {
      refuse(res, 405, "method not allowed");
      return R::Handled;
    }
    return R::Unhandled;
  });

  s.Get("/", [this](const httplib::Request&, httplib::Response& res) {
    std::string page(consolePage());
    page = replaceAll(std::move(page), "{{TOKEN}}", processToken_);
    page = replaceAll(std::move(page), "{{TITLE}}", htmlEscape(translate("*Tarnwick @Orvane").view()));
    res.set_content(page, "text/html; charset=utf-8");
  });

  s.Get(R"(/assets/([A-Za-z0-9._-]+))", [](const httplib::Request& req, httplib::Response& res) {
    const ConsoleAsset* asset = consoleAsset(req.matches[1].str());
    if (!asset) return refuse(res, 404, "no such asset");
    res.set_content(std::string(asset->body), std::string(asset->contentType).c_str());
  });

  s.Get(R"(/help/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
    std::optional<std::string> file = resolveUnder(config_.manualDirectory, req.matches[1].str());
    if (!file) return refuse(res, 404, "no such page in the manual");
    std::ifstream in(*file, std::ios::binary);
    std::ostringstream body;
    body << in.rdbuf();
    if (!in && !in.eof()) return refuse(res, 500, "the manual page cannot be read");
    res.set_content(body.str(), contentTypeOf(*file).c_str());
  });

  s.Get(R"(/api/([a-z]+))", [this](const httplib::Request& req, httplib::Response& res) {
    ApiParams params(req.params.begin(), req.params.end());
    ApiReply reply = api_.get(req.path, params);
    res.status = reply.status;
    res.set_content(ConsoleApi::dump(reply.body), "application/json");
  });

  s.Post(R"(/api/([a-z]+))", [this](const httplib::Request& req, httplib::Response& res) {
    nlohmann::json body = nlohmann::json::parse(req.body, nullptr, false);
    if (body.is_discarded()) return refuse(res, 400, "the body is not JSON");
    ApiReply reply = api_.post(req.path, body);
    res.status = reply.status;
    res.set_content(ConsoleApi::dump(reply.body), "application/json");
  });

  s.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (res.body.empty()) refuse(res, res.status, res.status == 404 ? "not found" : "request refused");
  });
}
