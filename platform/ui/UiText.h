// Texts crossing between the system's GB2312 byte strings and Qt, and the locale-aware
// comparison the lists sort by.
//
// Every text shown in a widget is converted here, and every text read back from a widget
// returns through here as GB2312. The comparison is ICU collation for Chinese (pinyin order) at
// tertiary strength, so it is case-sensitive like the comparison the lists were designed with,
// and puts digits, punctuation and Latin letters before Chinese characters as that one does.
#pragma once

#include <QString>

#include "CString.h"

namespace mlui {

QString ToQ(const char* gb);
QString ToQ(const CString& gb);
CString FromQ(const QString& s);

// <0, 0 or >0 as `a` sorts before, with or after `b` (both GB2312).
int CompareLocale(const char* a, const char* b);

}  // namespace mlui
