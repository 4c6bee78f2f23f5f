#include "Gb2312.h"

#include <iconv.h>

#include <cerrno>

namespace mlplat {
namespace {

// GB2312 in glibc is EUC-CN: the two-byte characters with both bytes 0xA1..0xFE.
constexpr const char* kGb = "GB2312";

bool Convert(const char* to, const char* from, std::string_view in, std::string& out,
             const char* replacement) {
    out.clear();
    iconv_t cd = ::iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    bool ok = true;
    char* src = const_cast<char*>(in.data());
    size_t left = in.size();
    char buf[1024];
    while (left > 0) {
        char* dst = buf;
        size_t room = sizeof buf;
        size_t r = ::iconv(cd, &src, &left, &dst, &room);
        out.append(buf, static_cast<size_t>(dst - buf));
        if (r != static_cast<size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        // EILSEQ or EINVAL (a character cut at the end): skip one byte.
        ok = false;
        if (!replacement)
            break;
        out += replacement;
        ++src;
        --left;
        // A UTF-8 sequence's continuation bytes would each be replaced again.
        if (std::string_view(from) == "UTF-8")
            while (left > 0 && (static_cast<unsigned char>(*src) & 0xC0) == 0x80) {
                ++src;
                --left;
            }
    }
    ::iconv_close(cd);
    return ok;
}

}  // namespace

std::string GbToUtf8(std::string_view gb) {
    std::string out;
    Convert("UTF-8", kGb, gb, out, "\xEF\xBF\xBD");
    return out;
}

std::string Utf8ToGb(std::string_view utf8) {
    std::string out;
    Convert(kGb, "UTF-8", utf8, out, "?");
    return out;
}

bool GbToUtf8Strict(std::string_view gb, std::string& out) {
    return Convert("UTF-8", kGb, gb, out, nullptr);
}

bool Utf8ToGbStrict(std::string_view utf8, std::string& out) {
    return Convert(kGb, "UTF-8", utf8, out, nullptr);
}

bool CodePointToGb(char32_t cp, std::string& out) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return false;
    char u[4];
    size_t n;
    if (cp < 0x80) {
        u[0] = static_cast<char>(cp);
        n = 1;
    } else if (cp < 0x800) {
        u[0] = static_cast<char>(0xC0 | (cp >> 6));
        u[1] = static_cast<char>(0x80 | (cp & 0x3F));
        n = 2;
    } else if (cp < 0x10000) {
        u[0] = static_cast<char>(0xE0 | (cp >> 12));
        u[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        u[2] = static_cast<char>(0x80 | (cp & 0x3F));
        n = 3;
    } else {
        u[0] = static_cast<char>(0xF0 | (cp >> 18));
        u[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        u[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        u[3] = static_cast<char>(0x80 | (cp & 0x3F));
        n = 4;
    }
    return Convert(kGb, "UTF-8", std::string_view(u, n), out, nullptr);
}

}  // namespace mlplat
