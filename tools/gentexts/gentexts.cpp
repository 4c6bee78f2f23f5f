// Build-time generator of the system's GB2312 texts.
//
// Reads a definition file of lines `Name = text` (UTF-8; '#' starts a comment line; a text is
// taken to the end of the line, with \n and \t escapes) and writes a C++ header in which each
// text is a constexpr char array of its GB2312 bytes, the UTF-8 original beside it in a comment.
// Every source file stays UTF-8 and any compiler can build the result.
#include <iconv.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace {

bool ToGb(const std::string& in, std::string& out) {
    iconv_t cd = iconv_open("GB2312", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    out.assign(in.size() * 2 + 4, '\0');
    char* src = const_cast<char*>(in.data());
    size_t left = in.size();
    char* dst = out.data();
    size_t room = out.size();
    size_t r = iconv(cd, &src, &left, &dst, &room);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1))
        return false;
    out.resize(out.size() - room);
    return true;
}

std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            char c = s[++i];
            out += c == 'n' ? '\n' : c == 't' ? '\t' : c == 's' ? ' ' : c;
        } else {
            out += s[i];
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: gentexts DEFS.def OUT.h NAMESPACE\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::cerr << "gentexts: cannot read " << argv[1] << "\n";
        return 1;
    }
    std::ostringstream out;
    out << "// Generated from " << argv[1] << " by gentexts: do not edit.\n#pragma once\n\n"
        << "namespace " << argv[3] << " {\n\n";
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#')
            continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos) {
            std::cerr << argv[1] << ":" << lineNo << ": no '='\n";
            return 1;
        }
        std::string name = line.substr(first, eq - first);
        name.erase(name.find_last_not_of(" \t") + 1);
        std::string text = line.substr(eq + 1);
        if (!text.empty() && text[0] == ' ')
            text.erase(0, 1);  // one space after '=' is layout
        text = Unescape(text);
        std::string gb;
        if (!ToGb(text, gb)) {
            std::cerr << argv[1] << ":" << lineNo << ": not convertible to GB2312\n";
            return 1;
        }
        out << "// " << line.substr(eq + 1) << "\ninline constexpr char " << name << "[] = \"";
        for (unsigned char c : gb) {
            char hex[8];
            if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\' && c != '?') {
                out << c;
            } else {
                std::snprintf(hex, sizeof hex, "\\x%02X\"\"", c);
                out << hex;
            }
        }
        out << "\";\n";
    }
    out << "\n}  // namespace " << argv[3] << "\n";
    // Rewrite only on change so that dependants are not rebuilt for nothing.
    std::string text = out.str();
    std::ifstream old(argv[2], std::ios::binary);
    std::string prev((std::istreambuf_iterator<char>(old)), std::istreambuf_iterator<char>());
    if (prev == text)
        return 0;
    std::ofstream o(argv[2], std::ios::binary);
    o << text;
    return o ? 0 : 1;
}
