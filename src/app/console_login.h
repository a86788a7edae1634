// The console's login secrets on the gateway's side:
//
//   * the login token, kept in @Orvane/console.token (mode 0600, made by
//     the first start, kept across restarts): the printed login address
//     carries it;
//   * /ConsolePassword: asks for the console password (twice on a
//     terminal, echo off; one line when stdin is not a terminal) and
//     returns its Argon2id hash for setting 350.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

// The token in the file at path; a new random one, written with mode
// 0600, when the file is missing or holds no usable token (shorter than
// kMinLoginTokenLength, or not [A-Za-z0-9_-]). Nothing, with *error set,
// when the file can be neither read nor written.
std::optional<std::string> loadOrCreateLoginToken(const std::string& path, std::string* error);

// The hash of the password read from in; nothing, with *error set (a
// translated text), when none was given, the two differ, or hashing
// failed.
std::optional<std::string> askConsolePassword(std::FILE* in, std::FILE* out, std::string* error);
