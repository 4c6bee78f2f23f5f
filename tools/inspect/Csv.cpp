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
