// Engine result codes, error codes and error reporting.
//
// Every engine operation returns an int: 0 success, small positive codes for
// ordinary outcomes (end of file, locked, ...), negative codes for errors.
// An error is also reported: error4() stores the code in the context and
// calls the context's error hook, or, without a hook, writes the default
// report (titled "TARNWICK ERROR") to stderr. While the context's code is
// negative every operation returns at once without touching files (the
// already-in-error rule); the caller clears it with error4set(c, 0).
//
// Location numbers identify the reporting place; the few that callers look
// for (the gateway's message table) are named below.
#pragma once

#include <cstdint>

struct CODE4;

// Result codes shared by the whole engine, and error codes (one enum, so
// that either may stand in one conditional expression).
enum : int {
  r4success = 0,
  r4after = 2,
  r4eof = 3,
  r4bof = 4,
  r4entry = 5,
  r4descending = 10,
  r4candidate = 15,
  r4unique = 20,
  r4uniqueContinue = 25,
  r4locked = 50,
  r4noCreate = 60,
  r4noOpen = 70,
  r4noTag = 80,
  r4unlocked = 120,

  // Error codes (the engine's error table, error4.cpp, holds their texts).
  e4close = -10,
  e4create = -20,
  e4len = -30,
  e4lenSet = -40,
  e4lock = -50,
  e4open = -60,
  e4permiss = -61,
  e4access = -62,
  e4numFiles = -63,
  e4fileFind = -64,
  e4instance = -69,
  e4read = -70,
  e4remove = -80,
  e4rename = -90,
  e4seek = -250,
  e4unlock = -110,
  e4write = -120,
  e4data = -200,
  e4fieldName = -210,
  e4fieldType = -220,
  e4recordLen = -230,
  e4append = -240,
  e4entry = -300,
  e4index = -310,
  e4tagName = -330,
  e4unique = -340,
  e4tagInfo = -350,
  e4candidate = -360,
  e4commaExpected = -400,
  e4complete = -410,
  e4dataName = -420,
  e4lengthErr = -422,
  e4notConstant = -425,
  e4numParms = -430,
  e4overflow = -440,
  e4rightMissing = -450,
  e4typeSub = -460,
  e4unrecFunction = -470,
  e4unrecOperator = -480,
  e4unrecValue = -490,
  e4unterminated = -500,
  e4tagExpr = -510,
  e4optimize = -610,
  e4optRemove = -620,
  e4optFlush = -630,
  e4relate = -710,
  e4lookupErr = -720,
  e4relateRefer = -730,
  e4info = -910,
  e4memory = -920,
  e4parm = -930,
  e4parmNull = -935,
  e4result = -950,
  e4verify = -960,
  e4struct = -970,
  e4notIndex = -1010,
  e4notMemo = -1020,
  e4notRename = -1030,
  e4notWrite = -1040,
  e4notClipper = -1050,
  e4notLock = -1060,
  e4notSupported = -1090,
  e4version = -1095,
  e4memoCorrupt = -1110,
  e4memoCreate = -1120,
  e4codeBase = -1410,
  e4nameNotFound = -1420,
};

// Location numbers that the gateway's message table distinguishes.
enum : long {
  loc4createSystem = 90058,   // create failed in the operating system
  loc4create = 90059,         // create refused (file exists, in use)
  loc4openSystem = 90071,     // open failed in the operating system
  loc4open = 90072,           // open refused by the engine's own checks
  loc4writeReadOnly = 80013,  // write through a read-only file
  loc4writeSystem = 90075,    // write failed in the operating system
  loc4write = 90076,          // short write
  loc4flushSystem = 90085,    // flush after write failed
  loc4readSystem = 90077,     // read failed in the operating system
  loc4read = 90078,           // short read
};

// Error hook: called for every reported error with up to three texts
// (never null; "" when absent).
using ERROR4HOOK = void (*)(CODE4* c, int code, long location, const char* text1,
                            const char* text2, const char* text3);

// Reports code with no texts; returns code.
int error4(CODE4* c, int code, long location);
// Reports code with up to three texts (nullptr = absent); returns code.
int error4describe(CODE4* c, int code, long location, const char* text1,
                   const char* text2 = nullptr, const char* text3 = nullptr);
// The context's current error code.
[[nodiscard]] int error4code(const CODE4* c);
// Sets the current error code; returns the old one.
int error4set(CODE4* c, int code);
// The text of an error code from the error table, or "Invalid or Unknown
// Error Code".
const char* error4text(int code);
// Builds the default report (the text shown under "TARNWICK ERROR") for an
// error, at most 256 characters; used by the default report and by tests.
void error4reportText(int code, long location, const char* routine, const char* text1,
                      const char* text2, const char* text3, char* out, int outSize);
// Called when a context goes away, so that reports made without a context
// no longer reach it.
void error4contextGone(CODE4* c);
