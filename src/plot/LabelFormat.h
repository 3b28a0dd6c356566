#pragma once
// Tick label texts: numbers and date-times written by a pattern, with the user's locale's
// separators. The patterns are the plot's: digit placeholders ("#", "0") around an optional
// decimal point for numbers, and h, n, s, z, d, m, y fields with ":" as the time separator
// for date-times; other characters, and text in quotes, stand for themselves.

#include <string>

// "###0.##": at least one integer digit, up to two decimals, no trailing zeros and no bare
// decimal point; the decimal point is the locale's decimal separator.
std::string FormatFloat(const std::string& Format, double Value);
// "hh:mm:ss": the time of day of Value, 24-hour, joined by the locale's time separator.
std::string FormatDateTime(const std::string& Format, double Value);
// The separator between hours and minutes in the locale's time format; ':' when it has none.
char TimeSeparator();
