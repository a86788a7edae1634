#include "platform/https_client.h"

#include <httplib.h>
#include <openssl/x509.h>

#include <cctype>

#include "platform/trust_store.h"

namespace {

std::string percentEncoded(const std::string& text) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

const char* errorText(httplib::Error error) {
  switch (error) {
    case httplib::Error::Connection: return "cannot connect";
    case httplib::Error::SSLConnection: return "TLS handshake failed";
    case httplib::Error::SSLServerVerification: return "server certificate not trusted";
    case httplib::Error::Read: return "reading the reply failed";
    case httplib::Error::Write: return "sending the request failed";
    case httplib::Error::ConnectionTimeout: return "no connection in time";
    default: return "request failed";
  }
}

}  // namespace

int httpsPostForm(const std::string& url, const std::vector<std::pair<std::string, std::string>>& form,
                  const std::string& caFile, int timeoutSeconds, size_t maxBodyBytes, HttpsReply& reply) {
  reply = HttpsReply{};
  const std::string scheme = "https://";
  if (url.compare(0, scheme.size(), scheme) != 0) {
    reply.error = "the token URL must begin with https://";
    return -1;
  }
  size_t slash = url.find('/', scheme.size());
  std::string authority = url.substr(0, slash);
  std::string path = slash == std::string::npos ? "/" : url.substr(slash);
  if (authority.size() == scheme.size() || authority.find_first_of(" \r\n") != std::string::npos) {
    reply.error = "the token URL names no server";
    return -1;
  }

  // The system's trust store, plus the CA file: a CA file given for a local
  // mail server must not make a public token endpoint untrusted.
  X509_STORE* trust = X509_STORE_new();
  if (!trust) {
    reply.error = "no memory for the trust store";
    return -1;
  }
  addSystemTrustAnchors(trust);
  if (!caFile.empty() && X509_STORE_load_locations(trust, caFile.c_str(), nullptr) != 1) {
    X509_STORE_free(trust);
    reply.error = "cannot read the CA file " + caFile;
    return -1;
  }
  httplib::Client client(authority);
  client.enable_server_certificate_verification(true);
  client.set_ca_cert_store(trust);  // the client owns it from here
  client.set_connection_timeout(timeoutSeconds, 0);
  client.set_read_timeout(timeoutSeconds, 0);
  client.set_write_timeout(timeoutSeconds, 0);
  client.set_follow_location(false);

  std::string body;
  for (const auto& [name, value] : form) {
    if (!body.empty()) body += '&';
    body += percentEncoded(name) + '=' + percentEncoded(value);
  }
  // The body is taken through a receiver that counts it, so a server that
  // sends without end (or a small compressed body that unpacks to a huge
  // one) is cut off at maxBodyBytes instead of filling the memory.
  httplib::Request request;
  request.method = "POST";
  request.path = path;
  request.body = std::move(body);
  request.set_header("Content-Type", "application/x-www-form-urlencoded");
  std::string received;
  bool tooLarge = false;
  request.content_receiver = [&](const char* data, size_t length, uint64_t, uint64_t) {
    if (length > maxBodyBytes - received.size()) {
      tooLarge = true;
      return false;
    }
    received.append(data, length);
    return true;
  };
  auto result = client.send(request);
  if (tooLarge) {
    reply.error = "the reply is larger than " + std::to_string(maxBodyBytes) + " bytes";
    return -1;
  }
  if (!result) {
    reply.error = errorText(result.error());
    return -1;
  }
  reply.status = result->status;
  reply.body = std::move(received);
  return 0;
}
