#include "MyKey.h"

#include <cstdio>
#include <cstring>

CMyKey::CMyKey(int nValue) {
    char buf[16];
    int n = std::snprintf(buf, sizeof buf, "%d", nValue);
    Assign(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
}

void CMyKey::Assign(const char* p, std::size_t n) {
    char tmp[kSize] = {};
    if (p)
        std::memcpy(tmp, p, strnlen(p, n < kSize ? n : kSize));
    tmp[kSize - 1] = '\0';
    std::memcpy(m_szKey, tmp, kSize);
}

int CMyKey::Compare(const CMyKey& other) const {
    // Bounded, so a field filled directly with 32 bytes compares as its first 31, just as its
    // copy would; strncmp takes the bytes as unsigned char.
    return std::strncmp(m_szKey, other.m_szKey, kSize - 1);
}

void CMyKey::Serialize(bool bStoring, std::uint8_t* pBytes) {
    if (!pBytes)
        return;
    if (bStoring) {
        std::memcpy(pBytes, m_szKey, kSize);
    } else {
        std::memcpy(m_szKey, pBytes, kSize);
        m_szKey[kSize - 1] = '\0';
    }
}
