// OpenSSL client sessions over SocketLayer handles; see tls_stream.h.
#include "platform/tls_stream.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <functional>
#include <map>
#include <memory>

#include "platform/clock.h"
#include "platform/inet.h"
#include "platform/socket.h"
#include "platform/trust_store.h"

namespace {

struct Session {
  int handle = -1;
  SSL_CTX* ctx = nullptr;
  SSL* ssl = nullptr;
  int64_t deadline = 0;
  bool timedOut = false;
  // Asked between the slices of every wait of the handshake; empty after it.
  std::function<bool()> stop;
  bool stopped = false;
  bool pinned = false;
  std::string verifyError;
  std::string fingerprint;

  ~Session() {
    if (ssl) SSL_free(ssl);  // frees the BIO too
    if (ctx) SSL_CTX_free(ctx);
  }
};

std::map<int, std::unique_ptr<Session>>& sessions() {
  static std::map<int, std::unique_ptr<Session>> map;
  return map;
}

Session* sessionOf(int handle) {
  auto it = sessions().find(handle);
  return it == sessions().end() ? nullptr : it->second.get();
}

// Longest single wait of a handshake that can be stopped.
constexpr int64_t kTlsSliceMs = 200;

int64_t leftMs(const Session& s) { return s.deadline - platformClock().monotonicMs(); }

// --- the BIO: TLS records go through platformSockets() ---

int bioRead(BIO* bio, char* buffer, int length) {
  auto* s = static_cast<Session*>(BIO_get_data(bio));
  BIO_clear_retry_flags(bio);
  if (length <= 0) return 0;
  int ready = 0;
  for (;;) {
    if (s->stop && s->stop()) {
      s->stopped = true;
      break;
    }
    int64_t left = leftMs(*s);
    if (left <= 0) {
      s->timedOut = true;
      break;
    }
    int64_t slice = s->stop && left > kTlsSliceMs ? kTlsSliceMs : left;
    ready = platformSockets().waitReadable(s->handle, slice);
    if (ready != 0) break;
  }
  if (ready == 0) {
    // Marked as "try again" so that the session survives a time limit.
    BIO_set_retry_read(bio);
    return -1;
  }
  if (ready < 0) return -1;
  long n = platformSockets().receive(s->handle, buffer, static_cast<size_t>(length));
  if (n < 0) return -1;
  return static_cast<int>(n);
}

int bioWrite(BIO* bio, const char* data, int length) {
  auto* s = static_cast<Session*>(BIO_get_data(bio));
  BIO_clear_retry_flags(bio);
  if (length <= 0) return 0;
  int64_t left = leftMs(*s);
  long n = platformSockets().sendAll(s->handle, data, static_cast<size_t>(length), left > 0 ? left : 1);
  if (n < 0) return -1;
  return static_cast<int>(n);
}

long bioCtrl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

int bioCreate(BIO* bio) {
  BIO_set_init(bio, 1);
  return 1;
}

BIO_METHOD* socketLayerMethod() {
  static BIO_METHOD* method = [] {
    BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "orv socket layer");
    BIO_meth_set_read(m, bioRead);
    BIO_meth_set_write(m, bioWrite);
    BIO_meth_set_ctrl(m, bioCtrl);
    BIO_meth_set_create(m, bioCreate);
    return m;
  }();
  return method;
}

// --- verification ---

std::string hexFingerprint(X509* cert) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!cert || X509_digest(cert, EVP_sha256(), digest, &length) != 1) return {};
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned int i = 0; i < length; ++i) {
    if (i) out += ':';
    out += hex[digest[i] >> 4];
    out += hex[digest[i] & 15];
  }
  return out;
}

int verifyCallback(int preverifyOk, X509_STORE_CTX* store) {
  auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
  auto* s = ssl ? static_cast<Session*>(SSL_get_app_data(ssl)) : nullptr;
  if (!s) return preverifyOk;
  if (s->fingerprint.empty()) s->fingerprint = hexFingerprint(X509_STORE_CTX_get0_cert(store));
  if (!preverifyOk && s->verifyError.empty())
    s->verifyError = X509_verify_cert_error_string(X509_STORE_CTX_get_error(store));
  // With a pin the fingerprint decides, after the handshake.
  return s->pinned ? 1 : preverifyOk;
}

std::string openSslError() {
  unsigned long code = ERR_get_error();
  if (code == 0) return {};
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

bool isIpAddress(const std::string& host) {
  unsigned char buffer[16];
  return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

int fail(TlsOutcome& out, std::string reason) {
  out.reason = std::move(reason);
  return -1;
}

}  // namespace

std::string normalizedFingerprint(const std::string& text) {
  std::string digits;
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c))) digits += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    else if (c != ':' && c != ' ' && c != '-') return {};
  }
  if (digits.size() != 64) return {};
  std::string out;
  for (size_t i = 0; i < digits.size(); i += 2) {
    if (i) out += ':';
    out += digits.substr(i, 2);
  }
  return out;
}

int tlsStartClient(int handle, const TlsOptions& options, int64_t timeoutMs, const std::function<bool()>& stop,
                   TlsOutcome& out) {
  out = TlsOutcome{};
  ERR_clear_error();
  tlsEnd(handle);
  auto s = std::make_unique<Session>();
  s->handle = handle;
  std::string pin;
  if (!options.pin.empty()) {
    pin = normalizedFingerprint(options.pin);
    if (pin.empty()) return fail(out, "the certificate pin is not a SHA-256 fingerprint (64 hex digits)");
    s->pinned = true;
  }

  s->ctx = SSL_CTX_new(TLS_client_method());
  if (!s->ctx) return fail(out, openSslError());
  SSL_CTX_set_min_proto_version(s->ctx, TLS1_2_VERSION);
  addSystemTrustAnchors(SSL_CTX_get_cert_store(s->ctx));
  if (!options.caFile.empty() && SSL_CTX_load_verify_locations(s->ctx, options.caFile.c_str(), nullptr) != 1)
    return fail(out, "cannot read the CA file " + options.caFile);
  SSL_CTX_set_verify(s->ctx, SSL_VERIFY_PEER, verifyCallback);

  s->ssl = SSL_new(s->ctx);
  if (!s->ssl) return fail(out, openSslError());
  SSL_set_app_data(s->ssl, s.get());
  const bool ip = isIpAddress(options.host);
  if (!ip && !options.host.empty()) SSL_set_tlsext_host_name(s->ssl, options.host.c_str());
  if (!s->pinned) {
    X509_VERIFY_PARAM* param = SSL_get0_param(s->ssl);
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    int ok = ip ? X509_VERIFY_PARAM_set1_ip_asc(param, options.host.c_str())
                : X509_VERIFY_PARAM_set1_host(param, options.host.c_str(), options.host.size());
    if (ok != 1) return fail(out, "the server name cannot be checked against a certificate");
  }
  BIO* bio = BIO_new(socketLayerMethod());
  if (!bio) return fail(out, openSslError());
  BIO_set_data(bio, s.get());
  SSL_set_bio(s->ssl, bio, bio);

  s->deadline = platformClock().monotonicMs() + timeoutMs;
  s->stop = stop;
  int rc = SSL_connect(s->ssl);
  s->stop = nullptr;
  out.fingerprint = s->fingerprint;
  if (rc != 1) {
    if (!s->verifyError.empty()) return fail(out, "certificate not trusted: " + s->verifyError);
    if (s->stopped) {
      out.interrupted = true;
      return fail(out, "the TLS handshake was interrupted");
    }
    if (s->timedOut) return fail(out, "no answer to the TLS handshake in time");
    std::string why = openSslError();
    return fail(out, why.empty() ? "the server closed the connection during the TLS handshake" : "TLS handshake failed: " + why);
  }
  if (out.fingerprint.empty()) out.fingerprint = s->fingerprint = hexFingerprint(SSL_get0_peer_certificate(s->ssl));
  if (s->pinned && out.fingerprint != pin)
    return fail(out, "the certificate's SHA-256 fingerprint is not the pinned one");
  out.protocol = SSL_get_version(s->ssl);
  out.cipher = SSL_get_cipher_name(s->ssl);
  sessions()[handle] = std::move(s);
  return 0;
}

bool tlsActive(int handle) { return sessionOf(handle) != nullptr; }

void tlsEnd(int handle) {
  Session* s = sessionOf(handle);
  if (!s) return;
  s->deadline = platformClock().monotonicMs() + 1000;
  ERR_clear_error();
  (void)SSL_shutdown(s->ssl);  // close_notify; the peer's answer is not awaited
  ERR_clear_error();
  sessions().erase(handle);
}

long streamReceive(int handle, char* buffer, size_t capacity, int64_t timeoutMs) {
  Session* s = sessionOf(handle);
  if (!s) {
    int ready = platformSockets().waitReadable(handle, timeoutMs);
    if (ready == 0) return -ETIMEDOUT;
    if (ready < 0) return ready;
    return platformSockets().receive(handle, buffer, capacity);
  }
  if (capacity == 0) return 0;
  s->deadline = platformClock().monotonicMs() + timeoutMs;
  s->timedOut = false;
  ERR_clear_error();
  int n = SSL_read(s->ssl, buffer, capacity > INT_MAX ? INT_MAX : static_cast<int>(capacity));
  if (n > 0) return n;
  int err = SSL_get_error(s->ssl, n);
  if (err == SSL_ERROR_ZERO_RETURN) return 0;
  if (s->timedOut) return -ETIMEDOUT;
  ERR_clear_error();
  return -EIO;
}

long streamSendAll(int handle, const char* data, size_t length, int64_t timeoutMs) {
  Session* s = sessionOf(handle);
  if (!s) return platformSockets().sendAll(handle, data, length, timeoutMs);
  size_t sent = 0;
  while (sent < length) {
    s->deadline = platformClock().monotonicMs() + timeoutMs;
    size_t piece = length - sent > (size_t(1) << 20) ? (size_t(1) << 20) : length - sent;
    ERR_clear_error();
    int n = SSL_write(s->ssl, data + sent, static_cast<int>(piece));
    if (n <= 0) {
      ERR_clear_error();
      return -EIO;
    }
    sent += static_cast<size_t>(n);
  }
  return static_cast<long>(sent);
}
