// Aligned tables, CSV and JSON for the inspector's listings.
#include "TextOutput.h"

#include <unistd.h>

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

// The length of the control character at `i` (C0, DEL, or C1 as UTF-8 writes it), or 0.
std::size_t ControlAt(const std::string& s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c == 0x7F)
        return 1;
    if (c == 0xC2 && i + 1 < s.size()) {
        const auto d = static_cast<unsigned char>(s[i + 1]);
        return d >= 0x80 && d <= 0x9F ? 2 : 0;
    }
    return 0;
}

// Control characters would break the table's lines or drive the terminal.
std::string ForTable(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = ControlAt(s, i);
        out += n ? ' ' : s[i];
        i += n ? n : 1;
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

std::string ForTerminal(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = ControlAt(s, i);
        const auto c = static_cast<unsigned char>(s[i]);
        char buf[8];
        if (n == 2)
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(s[i + 1]));
        else if (c == '\n' || c == '\r' || c == '\t')
            std::snprintf(buf, sizeof buf, "\\%c", c == '\n' ? 'n' : c == '\r' ? 'r' : 't');
        else if (n == 1)
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
        if (n)
            out += buf;
        else
            out += s[i];
        i += n ? n : 1;
    }
    return out;
}

std::string ShownOn(std::FILE* out, const std::string& s) {
    return isatty(fileno(out)) ? ForTerminal(s) : s;
}

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char ch = s[i];
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
                // DEL and C1 too: a terminal would obey them.
                if (ControlAt(s, i) == 2) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(s[++i]));
                    out += buf;
                } else if (c < 0x20 || c == 0x7F) {
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
        const bool bTerminal = isatty(fileno(out));
        std::fputs(CsvLine(m_columns).c_str(), out);
        for (const auto& row : m_rows) {
            if (!bTerminal) {
                std::fputs(CsvLine(row).c_str(), out);
                continue;
            }
            std::vector<std::string> shown;
            for (const std::string& cell : row)
                shown.push_back(ForTerminal(cell));
            std::fputs(CsvLine(shown).c_str(), out);
        }
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
