#pragma once
// The user's local time and number format, as the system keeps them.

#include <ctime>

// The local calendar fields of a moment; safe to call from any thread.
std::tm LocalTime(std::time_t moment);
// The decimal separator of the user's number format; '.' when it is more than one character.
char LocaleDecimalSeparator();
// The separator between hours and minutes in the user's time format; ':' when unknown.
char LocaleTimeSeparator();
