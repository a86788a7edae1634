// The console password: stored only as an Argon2id hash (libsodium's
// crypto_pwhash_str format, "$argon2id$v=19$m=...,t=...,p=1$salt$hash"),
// which carries its own salt and cost, so a hash made with other costs
// still verifies.
//
// Cost: 19 MiB and 2 passes, enough to make guessing expensive while a
// login stays well under a second here. Checks run one at a time, so
// concurrent logins cannot multiply the memory.
//
// Thread-safety: both functions may be called from any thread.
#pragma once

#include <optional>
#include <string>

// The hash of password; nothing when libsodium cannot make one (out of
// memory).
std::optional<std::string> hashConsolePassword(const std::string& password);

// True when password matches hash. False for an empty or malformed hash.
bool checkConsolePassword(const std::string& hash, const std::string& password);
