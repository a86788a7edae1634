// OAuthToken: the access token for XOAUTH2 logins (Microsoft 365, Gmail),
// got from the provider's token endpoint with the refresh token grant
// (RFC 6749 section 6) and kept until shortly before it expires.
//
//   POST token URL (HTTPS only)   grant_type=refresh_token, client_id,
//                                 client_secret (when set), refresh_token,
//                                 scope (when set)
//   200 {"access_token": "...", "expires_in": 3599, ...}
//
// accessToken hands out the kept token while more than kRenewMarginMs of
// its life is left, and asks for a new one otherwise; a run asks for it
// right before each login, so a token never runs out between two runs of a
// long-lived gateway. A new refresh token in a reply (providers may rotate
// them) replaces the configured one for the rest of the process.
// "expires_in" missing or not a number counts as one hour.
//
// A reply body over kMaxReplyBytes is an error (the endpoint is not read
// further). Errors name the endpoint's host and the provider's "error" code, never
// the client secret, refresh token or access token.
//
// Not thread-safe; lives on the gateway thread with the mail managers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct OAuthSettings {
  std::string clientId;
  std::string clientSecret;
  std::string refreshToken;
  std::string tokenUrl;
  std::string scope;
  std::string caFile;

  bool operator==(const OAuthSettings&) const = default;
};

class OAuthToken {
 public:
  static constexpr int64_t kRenewMarginMs = 120 * 1000;
  static constexpr int64_t kDefaultLifeMs = 3600 * 1000;
  static constexpr int kTimeoutSeconds = 30;
  // A token reply is a few kilobytes; a longer one is refused unread.
  static constexpr size_t kMaxReplyBytes = 256 * 1024;

  // New settings drop the kept token.
  void configure(const OAuthSettings& settings);
  // 0 and token, or -1 and error.
  [[nodiscard]] int accessToken(std::string& token, std::string& error);
  // Token requests made so far (for tests and the connection test).
  int requests() const { return requests_; }

 private:
  [[nodiscard]] int request(std::string& error);

  OAuthSettings settings_;
  std::string refreshToken_;
  std::string token_;
  int64_t expiresAtMs_ = 0;
  int requests_ = 0;
};
