// A single HTTPS POST of a form (application/x-www-form-urlencoded), for
// the token endpoints of mail providers (OAuth 2.0). cpp-httplib's client
// with OpenSSL does the work: the server certificate is checked against
// the system's trust store and the certificates of caFile (when given), and
// against the host name of the URL.
//
// Only "https://host[:port]/path" URLs are accepted; a plain "http://" URL
// would send the client secret and refresh token in clear and is refused.
//
// Thread-safe (no shared state); blocks for at most timeoutSeconds.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

struct HttpsReply {
  int status = 0;     // HTTP status; 0 when no reply came
  std::string body;
  std::string error;  // why no reply came (connection, certificate, URL)
};

// Percent-encodes each name and value; returns 0 when a reply came (any
// status), -1 otherwise with reply.error set. A reply body longer than
// maxBodyBytes (after any content decoding) is not read to its end: -1,
// "the reply is larger than N bytes".
[[nodiscard]] int httpsPostForm(const std::string& url, const std::vector<std::pair<std::string, std::string>>& form,
                                const std::string& caFile, int timeoutSeconds, size_t maxBodyBytes,
                                HttpsReply& reply);
