// Aligned tables, CSV and JSON for the inspector's listings.
#include "TextOutput.h"

#include <algorithm>

#include "Csv.h"

namespace inspect {

namespace {

// Decodes one UTF-8 sequence at `i`; malformed bytes count as one code point each.
char32_t NextCodePoint(const std::string& s, std::size_t& i) {
    const auto c = static_cast<unsigned char>(s[i]);
    int n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (n <= 0 || i + static_cast<std::size_t>(n) >= s.size()) {
        ++i;
        return n == 0 ? c : 0xFFFD;
    }
    char32_t cp = c & (0x3F >> n);
    for (int k = 1; k <= n; ++k) {
        const auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    i += static_cast<std::size_t>(n) + 1;
    return cp;
}

bool IsWide(char32_t cp) {
    return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0x303E) ||
           (cp >= 0x3041 && cp <= 0x33FF) || (cp >= 0x3400 && cp <= 0x4DBF) ||
           (cp >= 0x4E00 && cp <= 0x9FFF) || (cp >= 0xA000 && cp <= 0xA4CF) ||
           (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
           (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
           (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
}

bool IsCombining(char32_t cp) {
    return (cp >= 0x0300 && cp <= 0x036F) || (cp >= 0x200B && cp <= 0x200F);
}

// Control characters would break the table's lines.
std::string ForTable(const std::string& s) {
    std::string out = s;
    for (char& ch : out) {
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F)
            ch = ' ';
    }
    return out;
}

}  // namespace

int DisplayWidth(const std::string& s) {
    int w = 0;
    for (std::size_t i = 0; i < s.size();) {
        const char32_t cp = NextCodePoint(s, i);
        if (IsCombining(cp))
            continue;
        w += IsWide(cp) ? 2 : 1;
    }
    return w;
}

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        switch (ch) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += ch;
                }
        }
    }
    return out + "\"";
}

void CRowWriter::Write(std::FILE* out, Format format, const std::vector<bool>& numeric) const {
    if (format == Format::kCsv) {
        std::fputs(CsvLine(m_columns).c_str(), out);
        for (const auto& row : m_rows)
            std::fputs(CsvLine(row).c_str(), out);
        return;
    }
    if (format == Format::kJson) {
        std::fputs("[", out);
        for (std::size_t r = 0; r < m_rows.size(); ++r) {
            std::fputs(r ? ",\n  {" : "\n  {", out);
            for (std::size_t c = 0; c < m_columns.size(); ++c) {
                const std::string& v = c < m_rows[r].size() ? m_rows[r][c] : std::string();
                const bool bNum = c < numeric.size() && numeric[c] && !v.empty();
                std::fprintf(out, "%s%s: %s", c ? ", " : "", JsonString(m_columns[c]).c_str(),
                             bNum ? v.c_str() : JsonString(v).c_str());
            }
            std::fputs("}", out);
        }
        std::fputs(m_rows.empty() ? "]\n" : "\n]\n", out);
        return;
    }
    std::vector<int> widths;
    for (const auto& c : m_columns)
        widths.push_back(DisplayWidth(c));
    for (const auto& row : m_rows) {
        for (std::size_t c = 0; c < row.size() && c < widths.size(); ++c)
            widths[c] = std::max(widths[c], DisplayWidth(ForTable(row[c])));
    }
    auto line = [&](const std::vector<std::string>& cells) {
        std::string text;
        for (std::size_t c = 0; c < m_columns.size(); ++c) {
            const std::string cell = c < cells.size() ? ForTable(cells[c]) : std::string();
            text += cell;
            if (c + 1 < m_columns.size())
                text.append(static_cast<std::size_t>(widths[c] - DisplayWidth(cell) + 2), ' ');
        }
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        std::fprintf(out, "%s\n", text.c_str());
    };
    line(m_columns);
    for (const auto& row : m_rows)
        line(row);
}

}  // namespace inspect
