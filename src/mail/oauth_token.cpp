#include "mail/oauth_token.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/https_client.h"

namespace {

// "https://host:port/path" -> "host:port", for messages.
std::string endpointHost(const std::string& url) {
  size_t start = url.find("://");
  start = start == std::string::npos ? 0 : start + 3;
  size_t end = url.find('/', start);
  return url.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// Printable ASCII only, at most 100 bytes: provider error codes go into
// diagnostics.
std::string safeWord(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c > ' ' && c < 127 && out.size() < 100) out += c;
  return out;
}

}  // namespace

void OAuthToken::configure(const OAuthSettings& settings) {
  if (settings == settings_) return;
  settings_ = settings;
  refreshToken_ = settings.refreshToken;
  token_.clear();
  expiresAtMs_ = 0;
}

int OAuthToken::accessToken(std::string& token, std::string& error) {
  if (token_.empty() || platformClock().monotonicMs() > expiresAtMs_ - kRenewMarginMs)
    if (request(error) != 0) return -1;
  token = token_;
  return 0;
}

int OAuthToken::request(std::string& error) {
  token_.clear();
  const std::string where = "the token endpoint " + endpointHost(settings_.tokenUrl);
  if (settings_.tokenUrl.empty() || settings_.clientId.empty() || refreshToken_.empty()) {
    error = "the OAuth settings are incomplete (token URL, client id and refresh token are needed)";
    return -1;
  }
  std::vector<std::pair<std::string, std::string>> form = {
      {"grant_type", "refresh_token"}, {"client_id", settings_.clientId}, {"refresh_token", refreshToken_}};
  if (!settings_.clientSecret.empty()) form.emplace_back("client_secret", settings_.clientSecret);
  if (!settings_.scope.empty()) form.emplace_back("scope", settings_.scope);

  ++requests_;
  const int64_t askedAt = platformClock().monotonicMs();
  HttpsReply reply;
  if (httpsPostForm(settings_.tokenUrl, form, settings_.caFile, kTimeoutSeconds, kMaxReplyBytes, reply) != 0) {
    error = where + ": " + reply.error;
    return -1;
  }
  nlohmann::json body = nlohmann::json::parse(reply.body, nullptr, false);
  if (reply.status != 200) {
    error = where + " answered HTTP " + std::to_string(reply.status);
    if (body.is_object() && body.contains("error") && body["error"].is_string())
      error += " (" + safeWord(body["error"].get<std::string>()) + ")";
    return -1;
  }
  if (!body.is_object() || !body.contains("access_token") || !body["access_token"].is_string() ||
      body["access_token"].get<std::string>().empty()) {
    error = where + " sent no access token";
    return -1;
  }
  token_ = body["access_token"].get<std::string>();
  int64_t life = kDefaultLifeMs;
  if (body.contains("expires_in")) {
    const auto& e = body["expires_in"];
    if (e.is_number_integer()) life = e.get<int64_t>() * 1000;
    else if (e.is_string()) life = std::atoll(e.get<std::string>().c_str()) * 1000;
    if (life <= 0 || life > int64_t(366) * 24 * 3600 * 1000) life = kDefaultLifeMs;
  }
  expiresAtMs_ = askedAt + life;
  if (body.contains("refresh_token") && body["refresh_token"].is_string() &&
      !body["refresh_token"].get<std::string>().empty())
    refreshToken_ = body["refresh_token"].get<std::string>();
  return 0;
}
