// Writing and reading CSV records.
#include "Csv.h"

namespace inspect {

std::string CsvLine(const std::vector<std::string>& fields) {
    std::string out;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i)
            out += ',';
        const std::string& f = fields[i];
        if (f.find_first_of(",\"\r\n") == std::string::npos) {
            out += f;
            continue;
        }
        out += '"';
        for (char ch : f) {
            if (ch == '"')
                out += '"';
            out += ch;
        }
        out += '"';
    }
    return out + "\n";
}

namespace {

bool IsFormulaStart(char ch) {
    return ch == '=' || ch == '+' || ch == '-' || ch == '@' || ch == '\t' || ch == '\r';
}

// Whether the first character after the leading apostrophes (at least nApostrophes of them)
// starts a formula.
bool FormulaAfterApostrophes(const std::string& cell, std::size_t nApostrophes) {
    const std::size_t at = cell.find_first_not_of('\'');
    return at != std::string::npos && at >= nApostrophes && IsFormulaStart(cell[at]);
}

// An optional minus, digits, an optional fraction and exponent: what a spreadsheet reads as a
// number, never as a formula.
bool IsPlainNumber(const std::string& s) {
    std::size_t i = s[0] == '-' ? 1 : 0;
    auto digits = [&] {
        const std::size_t from = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            ++i;
        return i > from;
    };
    if (!digits())
        return false;
    if (i < s.size() && s[i] == '.' && (++i, !digits()))
        return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
        if (!digits())
            return false;
    }
    return i == s.size();
}

}  // namespace

std::string ToSpreadsheetCell(const std::string& cell) {
    if (!FormulaAfterApostrophes(cell, 0) || IsPlainNumber(cell))
        return cell;
    return "'" + cell;
}

std::string FromSpreadsheetCell(const std::string& cell) {
    return FormulaAfterApostrophes(cell, 1) ? cell.substr(1) : cell;
}

bool CCsvReader::Next(std::vector<std::string>& fields, int& nLine) {
    fields.clear();
    if (m_pos >= m_text.size())
        return false;
    nLine = m_nLine;
    std::string field;
    bool bQuoted = false;
    while (m_pos < m_text.size()) {
        const char ch = m_text[m_pos++];
        if (bQuoted) {
            if (ch == '"') {
                if (m_pos < m_text.size() && m_text[m_pos] == '"') {
                    field += '"';
                    ++m_pos;
                } else {
                    bQuoted = false;
                }
            } else {
                if (ch == '\n')
                    ++m_nLine;
                field += ch;
            }
            continue;
        }
        if (ch == '"') {
            bQuoted = true;
        } else if (ch == ',') {
            fields.push_back(std::move(field));
            field.clear();
        } else if (ch == '\n' || ch == '\r') {
            if (ch == '\r' && m_pos < m_text.size() && m_text[m_pos] == '\n')
                ++m_pos;
            ++m_nLine;
            break;
        } else {
            field += ch;
        }
    }
    fields.push_back(std::move(field));
    return true;
}

}  // namespace inspect
