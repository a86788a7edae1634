// Helpers shared by the data-file modules (data4*.cpp, field4*.cpp,
// memo4field.cpp); not for use outside the engine's data code.
#pragma once

#include <string>
#include <string_view>

#include "engine/data4.h"

// The file name d4open / d4create use: ".dbf" added when there is no
// extension, then resolved without regard to case.
std::string data4fileName(CODE4* c, std::string_view name);
// The alias for a file name: base name, no extension, upper case, <= 32.
std::string data4aliasFor(std::string_view fileName);
DATA4FILE* data4fileFind(CODE4* c, const std::string& upperName);
// Makes a handle on an open data file, with its fields and blank template.
DATA4* data4handleCreate(CODE4* c, DATA4FILE* f);
// Blanks fld in record (spaces, or zero bytes for binary fields).
void data4blankField(const FIELD4* fld, char* record);
// True while this process holds the append or file lock, or the file is
// not shared: the cached record count is then valid.
bool data4countIsCached(const DATA4FILE* f);
// Locks record recNo for d without the unlockBeforeLock rule.
int data4lockRecordLow(DATA4* d, int32_t recNo);
// Releases d's lock of recNo (if held).
int data4unlockRecordLow(DATA4* d, int32_t recNo);
// Marks every memo of d "not read" and not changed.
void data4memosReset(DATA4* d);
// Writes the changed memos of d into the record buffer's references;
// appending starts each changed memo at a new entry. 0 or error.
[[nodiscard]] int data4memosWrite(DATA4* d, bool appending);
// Stores a memo block reference in the record buffer.
void data4memoReference(FIELD4* fld, int64_t block);
// The memo block a record buffer references (0: none, -1: bad text).
int64_t data4memoBlock(const FIELD4* fld);
