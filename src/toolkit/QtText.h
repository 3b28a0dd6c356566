#pragma once
// Texts on their way into Qt and back. The program's texts are UTF-8 bytes, and Qt holds
// UTF-16. A byte that is not part of a well-formed UTF-8 sequence (a value written in an 8-bit
// code page, say) crosses as one of the code units U+DC80..U+DCFF, which no typed or pasted text
// holds, and comes back as that same byte: what a control is given it gives back byte for byte,
// and a settings value it shows is saved as it was read.

#include <QString>
#include <string>

QString ToQString(const std::string& text);
std::string FromQString(const QString& text);
