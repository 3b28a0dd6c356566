#pragma once
// Two copies of the program that share one settings file each write it whole. So that neither
// undoes what the other changed meanwhile, a copy that finds the file changed since it last read
// or wrote it writes only its own changes onto what the file holds now.

#include <string>

// The text of theirs (the file as it is now) with what mine changed against base (the text this
// copy last read or wrote): keys whose value mine changed or added take mine's value, keys and
// sections mine removed go; everything else stays as theirs has it. Keys are compared as the
// document compares them (ignoring letter case); the result is in the document's own layout.
std::string MergeIniText(const std::string& base, const std::string& mine,
                         const std::string& theirs);
