// Rows of text for a person or a program: an aligned table, CSV or JSON.
//
// Cells are UTF-8. The table pads by display width (a CJK character takes two columns) and
// shows control characters as spaces; CSV quotes as RFC 4180 does, and to a terminal writes
// control characters as escapes; JSON escapes as JSON does.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace inspect {

enum class Format { kTable, kCsv, kJson };

// Columns a terminal gives the UTF-8 text `s`.
int DisplayWidth(const std::string& s);
std::string JsonString(const std::string& s);
// `s` with its control characters (C0, DEL and the two-byte C1 of UTF-8) written out as
// escapes ("\n", "\x1b", "\u009b"), so that a terminal shows a stored text instead of
// obeying it.
std::string ForTerminal(const std::string& s);
// ForTerminal(s) when `out` is a terminal, else `s` as it is.
std::string ShownOn(std::FILE* out, const std::string& s);

class CRowWriter {
public:
    explicit CRowWriter(std::vector<std::string> columns) : m_columns(std::move(columns)) {}
    void AddRow(std::vector<std::string> cells) { m_rows.push_back(std::move(cells)); }
    std::size_t RowCount() const { return m_rows.size(); }
    // Table and CSV: a header line, then one line per row. JSON: an array of objects keyed by
    // the column names; `numeric` columns are written as bare numbers.
    void Write(std::FILE* out, Format format, const std::vector<bool>& numeric = {}) const;

private:
    std::vector<std::string> m_columns;
    std::vector<std::vector<std::string>> m_rows;
};

}  // namespace inspect
