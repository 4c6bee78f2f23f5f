// CMyKey: the fixed-width text key of the file B+ tree.
//
// A key is a NUL-terminated GB2312 byte string of at most 31 bytes held in a 32-byte field, so
// every key has the same size in memory and in a node slot. Construction and assignment copy at
// most 31 bytes, stop at the source's NUL and zero the rest; byte 31 is always 0 afterwards.
// Keys order by plain unsigned byte comparison (as strcmp). Values are copyable and never throw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "CString.h"

class CMyKey {
public:
    static constexpr std::size_t kSize = 32;

    CMyKey() = default;
    CMyKey(const CMyKey& other) { Assign(other.m_szKey, kSize); }
    CMyKey(const CString& str) {
        Assign(str.GetString(), static_cast<std::size_t>(str.GetLength()));
    }                                                          // NOLINT
    CMyKey(const char* psz) { Assign(psz, psz ? kSize : 0); }  // NOLINT
    explicit CMyKey(int nValue);
    virtual ~CMyKey() = default;

    CMyKey& operator=(const CMyKey& other) {
        if (this != &other)
            Assign(other.m_szKey, kSize);
        return *this;
    }

    // The text: NUL-terminated unless a caller filled all 32 bytes of the field itself.
    const char* GetText() const { return m_szKey; }
    CString ToString() const {
        return CString(m_szKey, static_cast<int>(strnlen(m_szKey, kSize - 1)));
    }
    int Compare(const CMyKey& other) const;

    friend bool operator<(const CMyKey& a, const CMyKey& b) { return a.Compare(b) < 0; }
    friend bool operator<=(const CMyKey& a, const CMyKey& b) { return a.Compare(b) <= 0; }
    friend bool operator==(const CMyKey& a, const CMyKey& b) { return a.Compare(b) == 0; }
    friend bool operator!=(const CMyKey& a, const CMyKey& b) { return a.Compare(b) != 0; }
    friend bool operator>(const CMyKey& a, const CMyKey& b) { return a.Compare(b) > 0; }
    friend bool operator>=(const CMyKey& a, const CMyKey& b) { return a.Compare(b) >= 0; }

    // Storing writes the 32 bytes of the field, byte 0 first; loading reads 32 bytes into it.
    // Loading re-establishes the terminating byte 31, so bytes from a damaged file can never
    // leave a key without its end.
    void Serialize(bool bStoring, std::uint8_t* pBytes);

    // The raw field. Callers that fill it directly must stay within its 32 bytes; a key filled
    // this way is cut to 31 bytes when it is copied.
    char m_szKey[kSize] = {};

private:
    // Copies at most 32 bytes of `p` (at most `n`), stopping at a NUL; zero-fills; byte 31 = 0.
    void Assign(const char* p, std::size_t n);
};
