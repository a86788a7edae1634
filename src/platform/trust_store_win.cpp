// Windows keeps its trusted roots in the certificate store (kept current by
// Windows Update and by the site's group policy); OpenSSL's default paths
// name a directory of the machine it was built on. Every root of the
// system's "ROOT" store (the machine's and the current user's) is added.
#include "platform/trust_store.h"

#include <windows.h>
#include <wincrypt.h>

void addSystemTrustAnchors(X509_STORE* store) {
  X509_STORE_set_default_paths(store);
  HCERTSTORE system = CertOpenSystemStoreW(0, L"ROOT");
  if (system == nullptr) return;
  const CERT_CONTEXT* cert = nullptr;
  while ((cert = CertEnumCertificatesInStore(system, cert)) != nullptr) {
    const unsigned char* der = cert->pbCertEncoded;
    X509* x = d2i_X509(nullptr, &der, static_cast<long>(cert->cbCertEncoded));
    if (x == nullptr) continue;
    X509_STORE_add_cert(store, x);  // a duplicate is refused harmlessly
    X509_free(x);
  }
  CertCloseStore(system, 0);
}
