#include "engine/code4.h"

#include <cctype>

#include "engine/data4.h"
#include "platform/file.h"

CODE4::CODE4() = default;

CODE4::~CODE4() {
  if (initialized) code4initUndo(this);
  error4contextGone(this);
}

int code4init(CODE4* c, int version, size_t size) {
  if (version != kCode4Version) return error4(c, e4version, 0);
  if (size != sizeof(CODE4)) return error4(c, e4verify, 0);
  if (c->initialized) code4initUndo(c);
  ERROR4HOOK hook = c->errorHook;  // a hook installed before init survives
  void* hookData = c->errorHookData;
  FileSystem* fs = c->fileSystem;
  c->~CODE4();
  new (c) CODE4();
  c->errorHook = hook;
  c->errorHookData = hookData;
  c->fileSystem = fs;
  c->initialized = true;
  return 0;
}

int code4initUndo(CODE4* c) {
  // Closing needs a clear error state; the code is restored afterwards so
  // the caller still sees what went wrong last.
  int saved = error4set(c, 0);
  int rc = 0;
  while (!c->dataHandles.empty()) {
    DATA4* d = c->dataHandles.back().get();
    int r = d4close(d);
    if (r < 0 && rc == 0) rc = r;
    error4set(c, 0);
  }
  error4set(c, saved < 0 ? saved : rc);
  c->initialized = false;
  return rc;
}

DATA4* code4data(CODE4* c, std::string_view alias) {
  if (alias.size() > 33) alias = alias.substr(0, 33);
  for (auto& h : c->dataHandles) {
    const std::string& a = h->alias;
    if (a.size() != alias.size()) continue;
    bool same = true;
    for (size_t i = 0; i < a.size() && same; ++i)
      same = std::toupper(static_cast<unsigned char>(a[i])) ==
             std::toupper(static_cast<unsigned char>(alias[i]));
    if (same) return h.get();
  }
  return nullptr;
}

FileSystem& code4fileSystem(CODE4* c) {
  return c->fileSystem != nullptr ? *c->fileSystem : platformFileSystem();
}
