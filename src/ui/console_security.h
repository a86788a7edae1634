// The checks that keep the operator console to its operator.
//
// Security: the console is a web server, so every request is treated as
// possibly hostile.
//   * Sessions: nobody, loopback peers included, sees or changes anything
//     without a login session (console_server.h): the login token of
//     @Orvane/console.token (at least kMinLoginTokenLength characters) or
//     the console password. Off loopback the console speaks only TLS.
//   * Host header: a loopback peer must name a loopback host or the listen
//     address, so a page on another site that re-points its own name at
//     127.0.0.1 (DNS rebinding) cannot read the console.
//   * State changes: only POST, and only with the session's CSRF token
//     (made from /dev/urandom, handed to the page) in the X-Orvane-Token
//     header, which no cross-site form or image can send.
//   * Paths: assets are looked up by exact name in a fixed table; manual
//     files are resolved under the manual directory and refused unless the
//     resolved path (symbolic links followed) stays inside it.
//   * Output: the page builds every text from mail or tables with
//     textContent; htmlEscape serves the server-made HTML.
// Tokens are compared in constant time.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The setting that held the access token of earlier versions for
// non-loopback peers. The login replaces it; it is read only to tell the
// operator that it is no longer used.
inline constexpr int kConsoleAccessTokenSetting = 207;
// Console settings: the password's Argon2id hash, the TLS certificate and
// key files (PEM).
inline constexpr int kConsolePasswordSetting = 350;
inline constexpr int kConsoleCertificateSetting = 351;
inline constexpr int kConsoleKeySetting = 352;
// A shorter login token is never accepted.
inline constexpr size_t kMinLoginTokenLength = 16;

// 127.0.0.0/8, ::1 and IPv4-mapped 127.x addresses.
bool isLoopbackAddress(std::string_view address);

// True when a loopback peer may use this Host header value: a loopback
// address, "localhost", or listenAddress, each with or without a port.
bool hostAllowed(std::string_view hostHeader, std::string_view listenAddress);

// 32 random bytes as 64 lower-case hexadecimal digits.
std::string makeProcessToken();

// A login token the console accepts: at least kMinLoginTokenLength
// characters of [A-Za-z0-9_-].
bool usableLoginToken(std::string_view token);
// The token kept in the file at path (its first line); empty when the
// file is missing, unreadable or holds no usable token.
std::string readLoginToken(const std::string& path);
// A new random token, written to path (mode 0600, replacing the file
// whole); nothing, with *error set, when it cannot be written.
std::optional<std::string> writeNewLoginToken(const std::string& path, std::string* error);

// Equal length and bytes; time depends only on the lengths.
bool tokensEqual(std::string_view a, std::string_view b);

// & < > " ' as entities.
std::string htmlEscape(std::string_view text);

// The regular file root/relative when relative is a plain relative path
// ("a/b.htm": no "..", no empty or "." segment, no backslash or NUL) and
// the file, symbolic links resolved, lies inside root; nothing otherwise.
std::optional<std::string> resolveUnder(const std::string& root, std::string_view relative);
