// CString: the class library's byte string, on std::string.
//
// A CString holds bytes (GB2312 text throughout this system); no encoding conversion ever
// happens inside it, and every index and length counts bytes. It is header-only so that a host
// and the library each get their own copy of the code and nothing of it is exported.
#pragma once

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "WinTypes.h"

class CString {
public:
    CString() = default;
    CString(const char* psz) : m_s(psz ? psz : "") {}  // NOLINT: implicit as in the class library
    CString(const char* pch, int nLength) : m_s(pch ? pch : "", pch && nLength > 0 ? nLength : 0) {}
    CString(char ch, int nRepeat = 1) : m_s(nRepeat > 0 ? nRepeat : 0, ch) {}
    CString(std::string s) : m_s(std::move(s)) {}  // NOLINT
    CString(std::string_view sv) : m_s(sv) {}      // NOLINT

    // The class library's LPCTSTR conversion; valid until the string is next changed.
    operator const char*() const { return m_s.c_str(); }  // NOLINT
    const char* GetString() const { return m_s.c_str(); }
    const std::string& str() const { return m_s; }
    std::string_view view() const { return m_s; }

    int GetLength() const { return static_cast<int>(m_s.size()); }
    bool IsEmpty() const { return m_s.empty(); }
    void Empty() { m_s.clear(); }

    char GetAt(int i) const { return m_s.at(static_cast<size_t>(i)); }
    void SetAt(int i, char ch) { m_s.at(static_cast<size_t>(i)) = ch; }
    char operator[](int i) const { return GetAt(i); }

    CString& operator=(const char* psz) {
        m_s = psz ? psz : "";
        return *this;
    }
    CString& operator=(char ch) {
        m_s.assign(1, ch);
        return *this;
    }
    // The text of a fixed-width field (see CStringFromField), in this string's own storage:
    // a string filled again and again allocates only when it must grow.
    CString& AssignField(const char* field, size_t cap) {
        const void* z = std::memchr(field, 0, cap);
        m_s.assign(field, z ? static_cast<size_t>(static_cast<const char*>(z) - field) : cap);
        return *this;
    }
    CString& operator+=(const CString& s) {
        m_s += s.m_s;
        return *this;
    }
    CString& operator+=(const char* psz) {
        if (psz)
            m_s += psz;
        return *this;
    }
    CString& operator+=(char ch) {
        m_s += ch;
        return *this;
    }

    friend CString operator+(const CString& a, const CString& b) { return CString(a.m_s + b.m_s); }
    friend CString operator+(const CString& a, const char* b) {
        return CString(a.m_s + (b ? b : ""));
    }
    friend CString operator+(const char* a, const CString& b) {
        return CString((a ? a : "") + b.m_s);
    }
    friend CString operator+(const CString& a, char b) { return CString(a.m_s + b); }
    friend CString operator+(char a, const CString& b) { return CString(a + b.m_s); }

    friend bool operator==(const CString& a, const CString& b) { return a.m_s == b.m_s; }
    friend bool operator==(const CString& a, const char* b) { return a.m_s == (b ? b : ""); }
    friend bool operator==(const char* a, const CString& b) { return b == a; }
    friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
    friend bool operator!=(const CString& a, const char* b) { return !(a == b); }
    friend bool operator!=(const char* a, const CString& b) { return !(b == a); }
    friend bool operator<(const CString& a, const CString& b) { return a.m_s < b.m_s; }
    friend bool operator>(const CString& a, const CString& b) { return b.m_s < a.m_s; }

    // Byte-wise comparison, as strcmp: negative, 0 or positive.
    int Compare(const char* psz) const { return std::strcmp(m_s.c_str(), psz ? psz : ""); }
    // ASCII letters compared without case; other bytes as they are.
    int CompareNoCase(const char* psz) const {
        const unsigned char* a = reinterpret_cast<const unsigned char*>(m_s.c_str());
        const unsigned char* b = reinterpret_cast<const unsigned char*>(psz ? psz : "");
        for (;; ++a, ++b) {
            int ca = (*a >= 'A' && *a <= 'Z') ? *a + 32 : *a;
            int cb = (*b >= 'A' && *b <= 'Z') ? *b + 32 : *b;
            if (ca != cb || ca == 0)
                return ca - cb;
        }
    }

    CString Left(int n) const { return CString(m_s.substr(0, Clamp(n))); }
    CString Right(int n) const {
        size_t k = Clamp(n);
        return CString(m_s.substr(m_s.size() - k));
    }
    CString Mid(int first) const { return Mid(first, GetLength()); }
    CString Mid(int first, int count) const {
        size_t f = Clamp(first);
        size_t c = count < 0 ? 0 : static_cast<size_t>(count);
        return CString(m_s.substr(f, std::min(c, m_s.size() - f)));
    }

    int Find(char ch, int start = 0) const { return ToIndex(m_s.find(ch, Clamp(start))); }
    int Find(const char* sub, int start = 0) const {
        if (!sub)
            return -1;
        return ToIndex(m_s.find(sub, Clamp(start)));
    }
    int ReverseFind(char ch) const { return ToIndex(m_s.rfind(ch)); }
    int FindOneOf(const char* set) const { return set ? ToIndex(m_s.find_first_of(set)) : -1; }

    CString& TrimRight() { return TrimRight(" \t\r\n\v\f"); }
    CString& TrimLeft() { return TrimLeft(" \t\r\n\v\f"); }
    CString& Trim() { return TrimRight().TrimLeft(); }
    CString& TrimRight(char ch) {
        while (!m_s.empty() && m_s.back() == ch)
            m_s.pop_back();
        return *this;
    }
    CString& TrimRight(const char* set) {
        size_t e = m_s.find_last_not_of(set ? set : "");
        m_s.erase(e == std::string::npos ? 0 : e + 1);
        return *this;
    }
    CString& TrimLeft(char ch) {
        size_t b = m_s.find_first_not_of(ch);
        m_s.erase(0, b == std::string::npos ? m_s.size() : b);
        return *this;
    }
    CString& TrimLeft(const char* set) {
        size_t b = m_s.find_first_not_of(set ? set : "");
        m_s.erase(0, b == std::string::npos ? m_s.size() : b);
        return *this;
    }

    // ASCII letters only; GB2312 bytes (0xA1..0xFE) are never touched.
    CString& MakeUpper() {
        for (char& c : m_s)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 32);
        return *this;
    }
    CString& MakeLower() {
        for (char& c : m_s)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c + 32);
        return *this;
    }

    int Replace(const char* from, const char* to) {
        if (!from || !*from)
            return 0;
        std::string_view f(from), t(to ? to : "");
        int n = 0;
        for (size_t p = m_s.find(f); p != std::string::npos; p = m_s.find(f, p + t.size())) {
            m_s.replace(p, f.size(), t);
            ++n;
        }
        return n;
    }
    int Remove(char ch) {
        size_t before = m_s.size();
        m_s.erase(std::remove(m_s.begin(), m_s.end(), ch), m_s.end());
        return static_cast<int>(before - m_s.size());
    }
    int Insert(int index, const char* psz) {
        m_s.insert(std::min(Clamp(index), m_s.size()), psz ? psz : "");
        return GetLength();
    }
    int Delete(int index, int count = 1) {
        size_t i = Clamp(index);
        if (i < m_s.size() && count > 0)
            m_s.erase(i, static_cast<size_t>(count));
        return GetLength();
    }

    // Writable buffer of at least nMinLength bytes; ReleaseBuffer(-1) cuts at the first zero.
    char* GetBuffer(int nMinLength = 0) {
        if (nMinLength > GetLength())
            m_s.resize(static_cast<size_t>(nMinLength));
        return m_s.data();
    }
    void ReleaseBuffer(int nNewLength = -1) {
        if (nNewLength < 0)
            m_s.resize(std::strlen(m_s.c_str()));
        else
            m_s.resize(std::min(static_cast<size_t>(nNewLength), m_s.size()));
    }

    // printf semantics. The arguments must be plain values: pass a CString as (const char*).
    void Format(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
        va_list ap;
        va_start(ap, fmt);
        FormatV(fmt, ap);
        va_end(ap);
    }
    void AppendFormat(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
        std::string keep = std::move(m_s);
        va_list ap;
        va_start(ap, fmt);
        FormatV(fmt, ap);
        va_end(ap);
        m_s.insert(0, keep);
    }
    void FormatV(const char* fmt, va_list ap) {
        m_s.clear();
        if (!fmt)
            return;
        va_list ap2;
        va_copy(ap2, ap);
        int n = std::vsnprintf(nullptr, 0, fmt, ap2);
        va_end(ap2);
        if (n <= 0)
            return;
        m_s.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(m_s.data(), m_s.size(), fmt, ap);
        m_s.resize(static_cast<size_t>(n));
    }

private:
    size_t Clamp(int n) const {
        if (n < 0)
            return 0;
        return std::min(static_cast<size_t>(n), m_s.size());
    }
    static int ToIndex(size_t p) { return p == std::string::npos ? -1 : static_cast<int>(p); }

    std::string m_s;
};

// A CString of at most `cap` bytes of a fixed-width text field: stops at the first zero and
// never reads past the field, so an unterminated field is safe.
inline CString CStringFromField(const char* field, size_t cap) {
    CString s;
    s.AssignField(field, cap);
    return s;
}
