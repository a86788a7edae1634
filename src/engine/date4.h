// Dates as records hold them (CCYYMMDD text) and as Julian day numbers over
// the proleptic Gregorian calendar: 1 January of year 1 is day 1721426,
// 1 January 2000 is day 2451545.
#pragma once

#include <cstddef>

// Julian day of 8 bytes of CCYYMMDD text: 0 for a blank date (all blanks),
// -1 for text that is not eight digits or not a valid date.
long date4long(const char* text);
// Writes the day as CCYYMMDD into out[0..7]; a day of 0 or less gives blanks.
void date4assign(char* out, long julian);
// Today's local date as CCYYMMDD (out[0..7]).
void date4today(char* out);
// Julian day as a double; a blank date gives 1e100 (sorts after all dates).
double date4dbl(const char* text);
// Today's local year (full), month and day.
void date4todayParts(int* year, int* month, int* day);
