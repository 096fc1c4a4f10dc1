#pragma once
// Parsing of the date and time texts that learning units hold.
#include <string>

// Reads "2017-06-06 09:44:59", "2017/6/6", "2017-06-06T09:44:59", "2017.6.6 9:44" and the
// like (year of four digits, month and day of one or two; '-', '/' or '.' between them; an
// optional time "H:MM[:SS[.fff]]" after blanks or 'T'; a time alone counts from day 0) into
// `value` as an OLE Automation date: days since 1899-12-30, the fraction being the time of
// day. Returns true when valid. Otherwise `value` is 0 for text that is no date (wrong form,
// month, day or time out of range) and -1 for a date outside the years 100 to 9999.
bool ParseDateText(const std::u16string& text, double& value);
