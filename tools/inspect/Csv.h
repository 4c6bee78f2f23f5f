// CSV as RFC 4180 writes it: comma-separated, fields with a comma, quote or line break quoted,
// quotes doubled, lines ending in LF (CR LF is read as well); and the apostrophe by which CSV
// meant for spreadsheets keeps a text from being taken as a formula.
#pragma once

#include <string>
#include <vector>

namespace inspect {

// One line of fields, with its line break.
std::string CsvLine(const std::vector<std::string>& fields);

// A spreadsheet runs a cell that begins with '=', '+', '-', '@', tab or CR as a formula. Such a
// cell, also when only apostrophes come before that character, gets one more apostrophe in
// front, which the spreadsheet shows as text; a plain decimal number ("-0.5", "-1e+20") stays
// bare. FromSpreadsheetCell takes that one apostrophe off again, so that every text (one that
// truly begins with "'=" included) comes back byte for byte.
std::string ToSpreadsheetCell(const std::string& cell);
std::string FromSpreadsheetCell(const std::string& cell);

class CCsvReader {
public:
    explicit CCsvReader(std::string text) : m_text(std::move(text)) {}
    // The next record into `fields`; `nLine` receives the line it starts on (1-based). False at
    // the end of the text. A quoted field may span lines; a quote left open runs to the end.
    bool Next(std::vector<std::string>& fields, int& nLine);

private:
    std::string m_text;
    std::size_t m_pos = 0;
    int m_nLine = 1;
};

}  // namespace inspect
