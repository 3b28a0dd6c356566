#pragma once
// Small run-time helpers shared by every layer: date-times as days since 1899-12-30, number and
// date texts in the user's locale, and where the program and its files live.

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/OwnFiles.h"

// Days since 30 December 1899; the fraction is the time of day.
using TDateTime = double;

// Days from 1899-12-30 to the Unix epoch.
inline constexpr double UnixDateDelta = 25569.0;

TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
// Breaks a date-time into local calendar fields (tm_year is years since 1900, as in <ctime>).
std::tm DateTimeToTm(TDateTime value);
// The local date-time of a moment given as seconds since the Unix epoch.
TDateTime UnixToLocalDateTime(double unixSeconds);
// The current local date-time, to the millisecond.
TDateTime Now();

// The locale's short date, one blank, the locale's long time; at exactly midnight the date
// alone.
std::string DateTimeToStr(TDateTime value);

// The decimal separator of the user's locale (LC_NUMERIC).
char DecimalSeparator();
// printf's "%width.precisionf": at least width characters, blanks on the left, precision
// decimals, joined by the given separator. Independent of the C library's current locale.
std::string FormatFixed(double value, int width, int precision, char separator);
// The same with the user's locale's separator.
std::string FormatFixed(double value, int width, int precision);

// "abc.ext" -> "abc.log"; an extension is added where there is none. Only the last path
// element is looked at, so a dot in a directory name is not an extension.
std::string ChangeFileExt(const std::string& path, const std::string& ext);
std::string ExtractFileDir(const std::string& path);
std::string ExtractFileName(const std::string& path);
std::string IncludeTrailingPathDelimiter(const std::string& dir);

// ProgramPath, DirectoryWritable, FileExists, AppendToFile and SysErrorMessage come from
// platform/Files.h; NotOwnReason and FirstOwnFile from platform/OwnFiles.h.
std::string ProgramDir();
// UserProgramDir(kind), created when missing.
std::string UserDataDir(const std::string& kind);
// Where the program keeps its file of that name: beside it where that directory can be written
// and it and the file are the user's own (NotOwnReason), otherwise (an installed copy, a folder
// others may write) in the user's own folder of that kind (UserDataDir). why, when given,
// receives why a directory the program could write was passed over (or, where programs keep
// their files beside themselves, why it could not be written) and where the file goes instead;
// empty otherwise.
std::string ProgramFilesDir(const std::string& programDir, const std::string& kind,
                            const std::string& name, std::string* why = nullptr);
// Creates a directory and its parents; true when it exists afterwards.
bool ForceDirectories(const std::string& dir);
