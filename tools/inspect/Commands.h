// The inspector's subcommands. Each takes the parsed options, writes to stdout (results) and
// stderr (complaints) and returns the process's exit status.
#pragma once

#include <string>

#include "TextOutput.h"

namespace inspect {

struct Options {
    std::string strCommand;
    std::string strDir;
    std::string strArg;  // show: the name; export/import: the CSV file
    Format format = Format::kTable;
    int nSource = 0;      // 0 both, 1 RMP (ZuZir), 2 BRK (Brakk)
    std::string strType;  // empty or "tag": every tag; bool, int, real, string, event, task, struct
    std::string strAreaInfo;
};

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFindings = 1;  // check: inconsistencies; import: rows skipped; show: not found
constexpr int kExitUsage = 2;

int RunLs(const Options& opt);
int RunShow(const Options& opt);
int RunCheck(const Options& opt);
int RunRepair(const Options& opt);
int RunExport(const Options& opt);
int RunImport(const Options& opt);
int RunAreas(const Options& opt);

}  // namespace inspect
