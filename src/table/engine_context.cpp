#include "table/engine_context.h"

#include <cstdio>
#include <memory>

#include "engine/code4.h"
#include "table/engine_message.h"

namespace {
int lastCode = 0;
}

void applyGatewaySettings(CODE4& c) {
  c.codePageMark = 3;
  c.singleOpen = 0;
  c.lockAttempts = 10;
  c.lockDelay = 100;
  c.unlockBeforeLock = 2;
  c.errorHook = engineErrorHook;
}

CODE4& gatewayEngine() {
  static CODE4* engine = [] {
    auto* c = new CODE4();
    c->errorHook = engineErrorHook;
    if (code4init(c) != 0) std::fprintf(stderr, "engine context could not be initialised\n");
    applyGatewaySettings(*c);
    // Closed at exit so that every table is flushed.
    std::atexit([] { code4initUndo(&gatewayEngine()); });
    return c;
  }();
  return *engine;
}

int lastEngineError() { return lastCode; }
void clearLastEngineError() { lastCode = 0; }
void noteEngineError(int code) { lastCode = code; }
