#include "ui/console_server.h"

#include <chrono>

#include "common/string_mapper.h"
#include "platform/whole_file.h"
#include "ui/console_api.h"
#include "ui/console_assets.h"
#include "ui/console_password.h"
#include "ui/console_security.h"
#include "ui/login_page.h"

namespace {

// The manual's pages are small; a file larger than this is not served.
constexpr size_t kMaxManualPage = size_t(64) << 20;

constexpr const char* kSessionCookie = "orv_session";
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

HttpAnswer loginRequired() { return HttpAnswer{401, "application/json", "{\"error\":\"login required\"}", {}}; }

HttpAnswer jsonAnswer(int status, const nlohmann::json& body) {
  return HttpAnswer{status, "application/json", ConsoleApi::dump(body), {}};
}

int64_t nowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
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

ConsoleServer::ConsoleServer(ConsoleConfig config, ConsoleApi& api) : config_(std::move(config)), api_(api) {
  if (config_.loginToken.empty()) config_.loginToken = makeProcessToken();
  token_ = config_.loginToken;
}

std::string ConsoleServer::loginToken() const {
  std::lock_guard<std::mutex> lock(tokenMutex_);
  return token_;
}

void ConsoleServer::followTokenFile() {
  if (config_.loginTokenFile.empty()) return;
  int64_t now = nowSeconds();
  {
    std::lock_guard<std::mutex> lock(tokenMutex_);
    if (now == tokenFileChecked_) return;
    tokenFileChecked_ = now;
  }
  std::string stored = readLoginToken(config_.loginTokenFile);
  if (stored.empty()) return;  // missing or spoiled: the token in hand stays
  std::lock_guard<std::mutex> lock(tokenMutex_);
  if (stored == token_) return;
  token_ = stored;
  sessions_.endAll();
}

HttpAnswer ConsoleServer::newLoginToken(const HttpRequest& req) {
  std::string token, error;
  if (config_.loginTokenFile.empty()) {
    token = makeProcessToken();
  } else if (std::optional<std::string> written = writeNewLoginToken(config_.loginTokenFile, &error)) {
    token = *written;
  } else {
    return jsonAnswer(500, {{"ok", false}, {"message", error}});
  }
  {
    std::lock_guard<std::mutex> lock(tokenMutex_);
    token_ = token;
    sessions_.endAll();
  }
  HttpAnswer done = jsonAnswer(200, {{"ok", true}, {"login", "/?token=" + token}});
  done.headers.emplace("Set-Cookie", std::string(kSessionCookie) + "=; Path=/; Max-Age=0; HttpOnly; SameSite=Strict" +
                                         (req.secure ? "; Secure" : ""));
  return done;
}

ConsoleServer::~ConsoleServer() { stop(); }

std::string ConsoleServer::url() const {
  std::string host = config_.address.find(':') != std::string::npos ? "[" + config_.address + "]" : config_.address;
  if (host == "0.0.0.0") host = "127.0.0.1";
  if (host == "[::]") host = "[::1]";
  bool tls = !config_.certificatePem.empty() && !config_.keyPem.empty();
  return (tls ? "https://" : "http://") + host + ":" + std::to_string(port_) + "/";
}

std::string ConsoleServer::loginUrl() const { return url() + "?token=" + loginToken(); }

bool ConsoleServer::start(std::string* error) {
  bool tls = !config_.certificatePem.empty() && !config_.keyPem.empty();
  if (!isLoopbackAddress(config_.address) && !tls) {
    *error = "the console may listen on " + config_.address +
             " only over TLS: set its certificate and key files (settings 351 and 352 in orvserv.cfg)";
    return false;
  }
  if (config_.loginToken.size() < kMinLoginTokenLength) {
    *error = "the console's login token is shorter than " + std::to_string(kMinLoginTokenLength) + " characters";
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
  // Over TLS, browsers are told to keep to https for this host; a plain
  // console is loopback-only and must not send it.
  if (tls) {
    std::multimap<std::string, std::string> headers = transport_->commonHeaders();
    headers.emplace("Strict-Transport-Security", "max-age=31536000");
    transport_->setCommonHeaders(std::move(headers));
  }
  // A request with a live session's cookie keeps its connection out of
  // the room made for newcomers: the operator gets in while others hold
  // connections open.
  transport_->setTrust([this](const HttpRequest& r) {
    return sessions_.find(cookieValue(r, kSessionCookie)).has_value();
  });
  HttpEndpoint endpoint;
  endpoint.address = config_.address;
  endpoint.port = config_.port;
  endpoint.certificatePem = config_.certificatePem;
  endpoint.keyPem = config_.keyPem;
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
  if (isLoopbackAddress(req.peer) && !hostAllowed(req.header("host"), config_.address))
    return refuse(403, "unexpected Host header");
  bool post = req.method == "POST";
  if (!post && req.method != "GET" && req.method != "HEAD") return refuse(405, "method not allowed");
  // Monitoring: published counters only, nothing from mail or tables.
  if (!post && req.path == "/healthz") return json(api_.health());
  if (!post && req.path == "/metrics")
    return HttpAnswer{200, "text/plain; version=0.0.4; charset=utf-8", api_.metrics(), {}};
  followTokenFile();
  if (post && req.path == "/api/login") return passwordLogin(req);
  if (!post && req.path == "/" && req.hasParam("token")) {
    // 256 random bits cannot be guessed: no throttle, so nobody's guesses
    // can keep the operator's link out.
    if (tokensEqual(req.param("token"), loginToken())) {
      HttpAnswer redirect{303, "text/plain; charset=utf-8", "", {}};
      redirect.headers.emplace("Location", "/");
      return startSession(req, std::move(redirect));
    }
    return HttpAnswer{200, "text/html; charset=utf-8", loginPage(!config_.passwordHash.empty()), {}};
  }
  std::optional<ConsoleSession> session = sessions_.find(cookieValue(req, kSessionCookie));
  if (!session) return withoutSession(req);
  if (post) {
    if (!tokensEqual(req.header(kTokenHeader), session->csrfToken))
      return refuse(403, "missing or wrong console token");
    if (req.path == "/api/newtoken") return newLoginToken(req);
    if (req.path == "/api/logout") {
      sessions_.end(session->id);
      HttpAnswer done = jsonAnswer(200, {{"ok", true}});
      done.headers.emplace("Set-Cookie", std::string(kSessionCookie) + "=; Path=/; Max-Age=0; HttpOnly; SameSite=Strict" +
                                             (req.secure ? "; Secure" : ""));
      return done;
    }
  }
  return route(req, *session);
}

HttpAnswer ConsoleServer::withoutSession(const HttpRequest& req) {
  if (req.method != "POST") {
    if (req.path == "/")
      return HttpAnswer{200, "text/html; charset=utf-8", loginPage(!config_.passwordHash.empty()), {}};
    if (startsWith(req.path, "/assets/"))
      if (const ConsoleAsset* asset = loginAsset(std::string_view(req.path).substr(8)))
        return HttpAnswer{200, std::string(asset->contentType), std::string(asset->body), {}};
  }
  return loginRequired();
}

HttpAnswer ConsoleServer::startSession(const HttpRequest& req, HttpAnswer answer) {
  ConsoleSession session = sessions_.create();
  answer.headers.emplace("Set-Cookie", std::string(kSessionCookie) + "=" + session.id +
                                           "; Path=/; HttpOnly; SameSite=Strict" + (req.secure ? "; Secure" : ""));
  return answer;
}

HttpAnswer ConsoleServer::passwordLogin(const HttpRequest& req) {
  // A JSON content type cannot be sent across sites without a preflight,
  // which this server never grants: no other site can log a browser in.
  if (req.header("content-type").rfind("application/json", 0) != 0)
    return jsonAnswer(415, {{"error", "a JSON body is expected"}});
  nlohmann::json body = nlohmann::json::parse(req.body, nullptr, false);
  if (!body.is_object() || !body.contains("password") || !body["password"].is_string())
    return jsonAnswer(400, {{"error", "a JSON object with a password is expected"}});
  if (config_.passwordHash.empty())
    return jsonAnswer(401, {{"error", translate("*No console password is set: open the login address that orvserv printed when it started.").str()}});
  std::string client = req.peer;
  if (int64_t wait = throttle_.waitBefore(client, nowSeconds()); wait > 0) {
    std::string text = translateFormat("*Too many failed logins; try again in %s seconds.").str();
    if (size_t at = text.find("%s"); at != std::string::npos) text.replace(at, 2, std::to_string(wait));
    HttpAnswer later = jsonAnswer(401, {{"error", text}});
    later.headers.emplace("Retry-After", std::to_string(wait));
    return later;
  }
  if (!checkConsolePassword(config_.passwordHash, body["password"].get<std::string>())) {
    throttle_.failed(client, nowSeconds());
    return jsonAnswer(401, {{"error", translate("*Wrong password.").str()}});
  }
  throttle_.succeeded(client);
  return startSession(req, jsonAnswer(200, {{"ok", true}}));
}

HttpAnswer ConsoleServer::route(const HttpRequest& req, const ConsoleSession& session) {
  bool get = req.method != "POST";
  if (get && req.path == "/") {
    std::string page(consolePage());
    page = replaceAll(std::move(page), "{{TOKEN}}", session.csrfToken);
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
    std::string body;
    if (readWholeFile(*file, kMaxManualPage, body) != ReadFileResult::Ok)
      return refuse(500, "the manual page cannot be read");
    return HttpAnswer{200, contentTypeOf(*file), std::move(body), {}};
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
