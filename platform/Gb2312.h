// The one conversion between GB2312 bytes and Unicode, on glibc's iconv.
//
// Characters that do not convert are replaced ('?' towards GB2312, U+FFFD towards Unicode) by
// the lenient forms; the strict forms report failure instead. A lead byte is 0x81..0xFE: a
// multi-byte character is stepped over whole without asking the C locale.
#pragma once

#include <string>
#include <string_view>

namespace mlplat {

// True when byte `c` starts a two-byte character.
inline bool IsGbLeadByte(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}

std::string GbToUtf8(std::string_view gb);
std::string Utf8ToGb(std::string_view utf8);
// Strict forms: false (and `out` unspecified) when any character does not convert.
bool GbToUtf8Strict(std::string_view gb, std::string& out);
bool Utf8ToGbStrict(std::string_view utf8, std::string& out);
// One Unicode code point as GB2312 bytes; false when GB2312 has no such character.
bool CodePointToGb(char32_t cp, std::string& out);

}  // namespace mlplat
