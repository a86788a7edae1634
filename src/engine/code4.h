// CODE4: the engine context. One per process in the gateway; it holds the
// engine settings, the error state and hook, and every open data file and
// data handle. code4init sets the defaults; code4initUndo closes everything.
//
// Settings are plain fields: the caller sets them after code4init (the
// gateway column gives the values the gateway uses). They are read at the
// moment an operation needs them; accessMode and readOnly are copied into
// each file when it is opened.
//
// Thread-safety: one context is used by one thread.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/error4.h"

class FileSystem;
struct DATA4;
struct DATA4FILE;

// Library version and the value code4init expects from its caller.
inline constexpr int kCode4Version = 6401;

// Access modes (accessMode).
enum : char { OPEN4DENY_NONE = 0, OPEN4DENY_RW = 1, OPEN4DENY_WRITE = 2 };

struct CODE4 {
  //                                          default   gateway
  int autoOpenIndex = 1;                      // 1        1: open the production index with its table
  short fileCompatibility = 25;               // 25       25: new files FoxPro 2.x (30: Visual FoxPro)
  char createSafety = 1;                      // 1        1: 1 refuses to replace a file on create
  char codePageMark = 0;                      // 0        3: header byte 29 of new data files
  char allowExtendedTypes = 0;                // 0        0: 1 accepts VFP types in FoxPro 2.x files
  char accessMode = OPEN4DENY_NONE;           // 0        0: shared, 1: exclusive, 2: deny write
  int readOnly = 0;                           // 0        0
  short singleOpen = 1;                       // 1        0: 1 refuses a second handle on an open file
  int lockAttempts = -1;                      // -1       10: tries per lock, -1 = for ever
  int lockDelay = 100;                        // 100      100: hundredths of a second between tries
  char readLock = 0;                          // 0        0: 1 locks a record before reading it
  int lockEnforce = 0;                        // 0        0: 1 makes changing an unlocked record -50
  short unlockBeforeLock = 1;                 // 1        2: 0 keep, 1 all context, 2 same file
  int errorOnBadGo = 1;                       // 1        1
  int errorOnFieldName = 1;                   // 1        1
  int errorOnTagName = 1;                     // 1        1
  int errorOnSkip = 1;                        // 1        1
  int errorOnOpen = 1;                        // 1        1
  int errorOnCreate = 1;                      // 1        1
  int errorOnExpr = 1;                        // 1        expression errors are reported
  int errorBoxOff = 0;                        // 0        1: the default report only records the code
  int flushEachWrite = 0;                     // 0        every file write followed by a flush
  int memoBlockSize = 512;                    // 512      block size of new memo files (>= 33)
  int memoExprLength = 1024;                  // 1024     length of a memo field in expressions
  std::string dateFormat = "MM/DD/YY";        // "MM/DD/YY"

  // Error state.
  int errorCode = 0;
  long errorLocation = 0;
  ERROR4HOOK errorHook = nullptr;
  void* errorHookData = nullptr;  // for the hook's owner; the engine never reads it

  // Files go through this file system (the process-wide one by default).
  FileSystem* fileSystem = nullptr;

  // Open objects, owned by the context.
  std::vector<std::unique_ptr<DATA4FILE>> dataFiles;
  std::vector<std::unique_ptr<DATA4>> dataHandles;

  bool initialized = false;

  CODE4();
  ~CODE4();
  CODE4(const CODE4&) = delete;
  CODE4& operator=(const CODE4&) = delete;
};

// Initialises c with the defaults. version must be kCode4Version (else
// -1095) and size sizeof(CODE4) (else -960).
[[nodiscard]] int code4init(CODE4* c, int version = kCode4Version, size_t size = sizeof(CODE4));
// Closes every open data handle and releases the context's resources.
int code4initUndo(CODE4* c);
// The open data handle with this alias (compared upper case, at most 33
// characters), or nullptr.
DATA4* code4data(CODE4* c, std::string_view alias);
// The file system files of this context go through.
FileSystem& code4fileSystem(CODE4* c);
