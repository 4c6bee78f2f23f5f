// The demo's run of the browser: all four pages, a real window when a display is present,
// otherwise offscreen, writing a PNG of each page into a folder; then what was chosen. With a
// search text it shows the tag page alone and, offscreen, pictures it enlarged with the text
// typed into its search field (page5.png).
#pragma once

#include <string>

class CMemTagList;

// Runs the browser on `list`; `shotDir` empty means no screenshots; `search` is UTF-8.
// DoModal's result.
int RunBrowser(CMemTagList& list, const std::string& shotDir, const std::string& search = "");
