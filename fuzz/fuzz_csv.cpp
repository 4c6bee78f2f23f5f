// memlist-inspect's CSV: any bytes read as records, written and read again. Reading what was
// written gives the same records, and writing them again the same text; the spreadsheet
// apostrophe comes off exactly as it went on; a cell shown on a terminal holds no control byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "Csv.h"
#include "TextOutput.h"

namespace {

using Records = std::vector<std::vector<std::string>>;

Records ReadAll(const std::string& text) {
    inspect::CCsvReader reader(text);
    Records out;
    std::vector<std::string> fields;
    int nLine = 0, nLast = 0;
    while (reader.Next(fields, nLine)) {
        if (nLine <= nLast)
            std::abort();  // line numbers only grow
        nLast = nLine;
        out.push_back(fields);
    }
    return out;
}

std::string WriteAll(const Records& records) {
    std::string text;
    for (const auto& r : records)
        text += inspect::CsvLine(r);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const Records records = ReadAll(input);
    const std::string written = WriteAll(records);
    if (ReadAll(written) != records || WriteAll(ReadAll(written)) != written)
        std::abort();
    for (const auto& r : records) {
        for (const std::string& cell : r) {
            const std::string safe = inspect::ToSpreadsheetCell(cell);
            if (inspect::FromSpreadsheetCell(safe) != cell)
                std::abort();
            const char first = safe.empty() ? 0 : safe[0];
            if ((first == '=' || first == '+' || first == '@' || first == '\t' || first == '\r') ||
                (first == '-' && safe == cell &&
                 cell.find_first_not_of("0123456789.eE+-") != std::string::npos))
                std::abort();
            for (char ch : inspect::ForTerminal(cell)) {
                if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F)
                    std::abort();
            }
        }
    }
    return 0;
}
