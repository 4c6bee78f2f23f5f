// memlist-inspect: looks into, checks, exports and imports a store directory.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Commands.h"
#include "FileSystem.h"

namespace {

const char kHelp[] =
    "Usage: memlist-inspect COMMAND DIR [ARG] [OPTIONS]\n"
    "\n"
    "Looks into the tag store kept in the directory DIR (the files Tmp*TagInfo.tag, *.idx and\n"
    "*.bpt). Only import and repair write to DIR; every other command opens the files for reading "
    "only and\n"
    "never creates, writes or saves anything. Texts are GB2312 in the store and UTF-8 here.\n"
    "\n"
    "Commands:\n"
    "  ls DIR              the tags (name, type, source, area, region, description, trend), or\n"
    "                      with --type event|task|struct the events, tasks or struct objects\n"
    "  show DIR NAME       every field of one tag, event or task, NAME resolved as the store\n"
    "                      resolves a user's name: the event or task prefix and a number name\n"
    "                      an event or a task, a struct object's bare name stands for its main\n"
    "                      member (.VAL, .PV or .MV), other names are tags (BRK first)\n"
    "  check DIR           verifies every file: headers, free lists, slot boundaries, index\n"
    "                      entries against the records they name, each name tree's structure\n"
    "                      and its agreement with the index; prints each inconsistency with its\n"
    "                      file and byte offset\n"
    "  repair DIR          brings both name trees into agreement with the index files (the\n"
    "                      authority on names), under the sources' write locks, saves them and\n"
    "                      prints every key it changed: the entry offset it led to and leads to\n"
    "                      now (0: no tag); a rename a killed program left half done is undone,\n"
    "                      an add it left half done completed\n"
    "  export DIR FILE.csv writes the tags to FILE.csv (UTF-8) with the columns\n"
    "                      name,type,source,area,region,description,trend,unit,range_high,\n"
    "                      range_low,user_word,tail_word (unit and range for int and real tags,\n"
    "                      tail word for all but string tags); a tag whose texts are not GB2312\n"
    "                      is reported and left out\n"
    "  import DIR FILE.csv adds the tags of FILE.csv (as export writes it) to the store in DIR,\n"
    "                      creating the store when needed; a row that does not convert to\n"
    "                      GB2312, does not fit its record (name over 31 bytes, description\n"
    "                      over 63, unit over 15, numbers out of range) or names a tag the\n"
    "                      source already has is reported with its line number and skipped\n"
    "  areas DIR           the areas and regions as the store loads them (from the directory\n"
    "                      the path service gives for QLX_PATH_D_AREAINFO, or --areainfo;\n"
    "                      the built-in area when ARInfo.xml cannot be read)\n"
    "\n"
    "Options:\n"
    "  --format table|csv|json  output of ls, show, check, repair and areas (default\n"
    "                      table: aligned columns for a person)\n"
    "  --source brk|rmp|all     the data source of ls and export (default all, BRK first)\n"
    "  --type TYPE         ls and export: tag (default: all tags), bool, int, real, string;\n"
    "                      ls only: event, task, struct\n"
    "  --areainfo ADIR     the directory of ARInfo.xml for areas, instead of the path service's\n"
    "  --help              this text\n"
    "\n"
    "Exit status: 0 success (check: the store is sound); 1 check found inconsistencies, import\n"
    "or export skipped rows, or show found nothing; 2 wrong usage or a file that cannot be read\n"
    "or written.\n";

int Usage(const char* why) {
    std::fprintf(stderr, "memlist-inspect: %s\nTry memlist-inspect --help.\n", why);
    return inspect::kExitUsage;
}

struct Command {
    const char* szName;
    bool bTakesArgument;
    int (*run)(const inspect::Options&);
};

constexpr Command kCommands[] = {
    {"ls", false, inspect::RunLs},        {"show", true, inspect::RunShow},
    {"check", false, inspect::RunCheck},  {"repair", false, inspect::RunRepair},
    {"export", true, inspect::RunExport}, {"import", true, inspect::RunImport},
    {"areas", false, inspect::RunAreas},
};

}  // namespace

int main(int argc, char** argv) {
    inspect::Options opt;
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kHelp, stdout);
            return inspect::kExitOk;
        }
        if (a.rfind("--", 0) == 0) {
            std::string value;
            const std::size_t eq = a.find('=');
            std::string name = a.substr(0, eq);
            if (eq != std::string::npos)
                value = a.substr(eq + 1);
            else if (i + 1 < argc)
                value = argv[++i];
            else
                return Usage(("option " + name + " needs a value").c_str());
            if (name == "--format") {
                if (value == "table")
                    opt.format = inspect::Format::kTable;
                else if (value == "csv")
                    opt.format = inspect::Format::kCsv;
                else if (value == "json")
                    opt.format = inspect::Format::kJson;
                else
                    return Usage("--format is table, csv or json");
            } else if (name == "--source") {
                if (value == "brk")
                    opt.nSource = 2;
                else if (value == "rmp")
                    opt.nSource = 1;
                else if (value == "all")
                    opt.nSource = 0;
                else
                    return Usage("--source is brk, rmp or all");
            } else if (name == "--type") {
                static const char* const kTypes[] = {"tag",    "bool",  "int",  "real",
                                                     "string", "event", "task", "struct"};
                bool bKnown = false;
                for (const char* t : kTypes)
                    bKnown = bKnown || value == t;
                if (!bKnown)
                    return Usage("--type is tag, bool, int, real, string, event, task or struct");
                opt.strType = value;
            } else if (name == "--areainfo") {
                opt.strAreaInfo = value;
            } else {
                return Usage(("unknown option " + name).c_str());
            }
            continue;
        }
        words.push_back(a);
    }
    if (words.empty())
        return Usage("no command");
    opt.strCommand = words[0];
    const std::string& c = opt.strCommand;
    const Command* pCommand = nullptr;
    for (const Command& k : kCommands)
        if (c == k.szName)
            pCommand = &k;
    if (!pCommand)
        return Usage(("unknown command " + c).c_str());
    const bool bTwo = pCommand->bTakesArgument;
    if (words.size() != (bTwo ? 3u : 2u))
        return Usage((c + (bTwo ? " takes DIR and one argument" : " takes DIR")).c_str());
    // The store's own directory code changes the current directory as it creates one: a
    // relative path would then be taken twice.
    opt.strDir = mlplat::MakeAbsolute(words[1]);
    if (bTwo)
        opt.strArg = words[2];
    if (c == "export" &&
        (opt.strType == "event" || opt.strType == "task" || opt.strType == "struct"))
        return Usage("export writes tags only");
    return pCommand->run(opt);
}
