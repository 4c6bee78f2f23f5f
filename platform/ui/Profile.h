// The host application's profile, on QSettings: the application's own settings store (as named
// by its organisation and application names), one group per section.
#pragma once

#include <string>
#include <string_view>

namespace mlui {

// The binary value of `entry` in `section`; false when there is none.
bool GetProfileBinary(const char* section, const char* entry, std::string& bytes);
bool WriteProfileBinary(const char* section, const char* entry, std::string_view bytes);
// The integer value of `entry` in `section`; `nDefault` when there is none or it is no number.
int GetProfileInt(const char* section, const char* entry, int nDefault);
bool WriteProfileInt(const char* section, const char* entry, int nValue);

}  // namespace mlui
