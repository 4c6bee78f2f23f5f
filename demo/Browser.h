// The demo's run of the browser: all four pages, a real window when a display is present,
// otherwise offscreen, writing a PNG of each page into a folder; then what was chosen.
#pragma once

#include <string>

class CMemTagList;

// Runs the browser on `list`; `shotDir` empty means no screenshots. DoModal's result.
int RunBrowser(CMemTagList& list, const std::string& shotDir);
