// The class library's basic type names, so that the system's modules and its hosts keep the
// names they were designed with. Widths are fixed: a DWORD is 32 bits on every platform.
#pragma once

#include <cstdint>

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using LONG = std::int32_t;
using LPCTSTR = const char*;
using LPTSTR = char*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Dialog results.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// The toolkit's window class; a host passes one as the browser's parent.
class CWnd;
