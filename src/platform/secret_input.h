// Reads a secret (a password) from the user: on a terminal with echo off,
// the prompt written to the terminal's output; otherwise one line from the
// stream, with no prompt. The line end is dropped.
#pragma once

#include <cstdio>
#include <string>

// True when in is a terminal.
bool isTerminal(std::FILE* in);

// False at end of input or on a read error.
bool readSecretLine(std::FILE* in, std::FILE* out, const std::string& prompt, std::string& line);
