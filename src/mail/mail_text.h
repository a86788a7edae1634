// Small text helpers shared by the mail managers: translated format texts
// and the check that keeps outside values from becoming protocol commands.
#pragma once

#include "common/string.h"

// Translates marked (a "*..." format text), then fills in the arguments.
// A translation whose %-conversions differ from those of marked (a message
// file that asks for a %s where the program passes a number) is not used:
// marked itself is filled in instead, so a bad message file cannot make the
// formatting read the wrong argument.
stringT formatMarked(const char* marked, ...) __attribute__((format(printf, 1, 2)));

// True when text holds a carriage return, a line feed or a NUL byte: such a
// value, written into a command line, would end the command early and let
// the rest be read as another command.
bool hasLineBreakOrNul(const stringT& text);
