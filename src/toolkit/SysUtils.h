#pragma once
// Small run-time helpers shared by every layer: date-times as days since 1899-12-30, number and
// date texts in the user's locale, and where the program and its files live.

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

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

// The running program's file, resolved through /proc; falls back to "latmo" in the current
// directory when that is impossible.
std::string ProgramPath();
std::string ProgramDir();
// Whether files can be created in this directory by this process.
bool DirectoryWritable(const std::string& dir);
// $XDG_<kind>_HOME or its default under the home directory (~/.config, ~/.local/state,
// ~/.local/share); kind is "CONFIG", "STATE" or "DATA". Only named, not created.
std::string XdgHomeDir(const std::string& kind);
// XdgHomeDir(kind) with "latmo" appended; created when missing.
std::string UserDataDir(const std::string& kind);
// Writes all bytes to an open descriptor, going on after interruptions and short writes.
// Returns 0, or the errno of the failure (EIO when the device takes nothing more).
int WriteAllToFd(int fd, const std::string& data);
// Whether something of that name exists (a file, a directory, …).
bool FileExists(const std::string& path);
// Appends bytes to a regular file, creating it (mode 0644) when missing; an existing file is
// never emptied. Opens without waiting and writes to nothing but a regular file, so that a pipe
// or a device of that name cannot hold the caller up. A link is followed only when it is the
// user's or root's own, so that a link another user planted cannot steer the bytes into a file
// of the user's. The bytes go in one write; what a full disk took of them is cut off again, so
// the file holds them whole or not at all. Returns an empty text, or why the bytes were not
// written ("Not a regular file", or the system's text for the error).
std::string AppendToFile(const std::string& path, const std::string& data);
// The system's text for an errno value, such as "Permission denied".
std::string SysErrorMessage(int error);
// Where the program keeps its file of that name: beside it where that directory can be written
// and it and the file are the user's own (NotOwnReason), otherwise (an installed copy, a folder
// others may write) in the user's XDG directory of that kind (UserDataDir). why, when given,
// receives why a directory the program could write was passed over and where the file goes
// instead; empty otherwise.
std::string ProgramFilesDir(const std::string& programDir, const std::string& kind,
                            const std::string& name, std::string* why = nullptr);
// Creates a directory and its parents; true when it exists afterwards.
bool ForceDirectories(const std::string& dir);
