// The system's trust anchors for certificate checks: OpenSSL's default
// locations, and on Windows also the root certificates of the Windows
// certificate store, which OpenSSL does not read on its own.
#pragma once

#include <openssl/x509.h>

void addSystemTrustAnchors(X509_STORE* store);
