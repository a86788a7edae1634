// The process's engine context: made on first use by the table layer,
// initialised with the gateway's engine settings and the gateway's error
// hook (engine_message.h), and released at exit.
//
//   | setting          | gateway value | why                                      |
//   |------------------|---------------|------------------------------------------|
//   | codePageMark     | 3             | the maintenance program's code page mark |
//   | singleOpen       | 0             | a table may be open twice (two managers) |
//   | lockAttempts     | 10            | give up a lock after about ten seconds   |
//   | unlockBeforeLock | 2             | keep locks on other files                |
//   (every other setting keeps the engine's default)
//
// One thread: the gateway thread (or a tool's main thread).
#pragma once

struct CODE4;
class FileSystem;

CODE4& gatewayEngine();

// Applies the gateway's settings to an initialised context and installs the
// hook; used by gatewayEngine() and by tools that make their own context.
void applyGatewaySettings(CODE4& c);

// The last error code the engine reported through the hook since
// clearLastEngineError(); 0 when none. The hook clears the engine's own
// error state, so this is how an operation finds the code of the error
// that made it fail.
int lastEngineError();
void clearLastEngineError();
// Records code as the last reported error (the hook calls this).
void noteEngineError(int code);
