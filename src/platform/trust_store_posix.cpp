#include "platform/trust_store.h"

void addSystemTrustAnchors(X509_STORE* store) { X509_STORE_set_default_paths(store); }
