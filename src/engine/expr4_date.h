// Dates for expressions and keys: the date4 conversions in the forms the
// expression language needs, and the date pictures of DTOC / CTOD.
//
// Julian day numbers are the astronomical day numbers over the proleptic
// Gregorian calendar: 1 January 1 is 1721426, 1 January 2000 is 2451545.
// Date text is CCYYMMDD; a blank date is eight blanks.
#pragma once

#include <string>
#include <string_view>

namespace expr4 {

// Year, month and day of a Julian day (all 0 for a blank date).
void ymdFromJulian(long jd, int& year, int& month, int& day);
// CCYYMMDD text to a Julian day: eight blanks give 0, anything that is not a
// valid date gives -1.
long julianFromDateText(std::string_view text);
// A date value as the day number the date routines take. Arithmetic can
// carry it anywhere a double goes (DATE-1E40, a NaN); what is no date,
// or lies far past the year 9999, is the blank date 0.
long julianDay(double v);
// A Julian day as CCYYMMDD; 0 or less gives eight blanks.
std::string dateTextFromJulian(long jd);
// Today's date as CCYYMMDD text (local time).
std::string todayText();
// The date in a picture such as "MM/DD/YY" (CC century, YY year, MM month,
// more than two M the month name, DD day); blank date gives blanks.
std::string formatDate(std::string_view ccyymmdd, std::string_view picture);
// Text read with a picture, as CCYYMMDD (blanks when it cannot be read).
std::string parseDate(std::string_view text, std::string_view picture);

}  // namespace expr4
