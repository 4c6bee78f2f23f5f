// memlist-inspect as a user runs it: export and import round trip, rows that cannot be taken,
// check's exit status, read-only looks, aligned tables.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "EngineFixture.h"

namespace {

using enginetest::AnyTag;
using enginetest::MakeTag;

struct ToolRun {
    int nStatus;
    std::string out;
    std::string err;
};

class InspectTool : public enginetest::EngineTest {
protected:
    mltest::TempDir scratch;

    ToolRun Tool(const std::string& args) {
        const std::string errFile = scratch / "stderr.txt";
        const std::string cmd =
            std::string(MEMLIST_BINARY_DIR) + "/out/memlist-inspect " + args + " 2>" + errFile;
        ToolRun r{-1, {}, {}};
        FILE* p = popen(cmd.c_str(), "r");
        if (!p)
            return r;
        char buf[4096];
        std::size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0)
            r.out.append(buf, n);
        const int st = pclose(p);
        r.nStatus = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        r.err = mltest::ReadFileText(errFile);
        return r;
    }
    // A store with GB2312 texts, all four types in both sources, and a deleted tag.
    void BuildStore() {
        AnyTag t = MakeTag(3, mltest::Gb("流量FIC101.PV"), 3, 4);
        std::snprintf(t.f.szDesc, sizeof t.f.szDesc, "%s", mltest::Gb("一号, \"主\"流量").c_str());
        std::snprintf(t.f.szUnit, sizeof t.f.szUnit, "%s", mltest::Gb("立方米/时").c_str());
        t.f.dRangeHigh = 123.25;
        t.f.dRangeLow = -0.1;
        t.f.nTailWord = 9;
        ASSERT_GE(Add(3, 2, t), 0);
        AnyTag i = MakeTag(2, "TI-1", 1, 65536);
        i.i.nRangeHigh = 200;
        i.i.nRangeLow = -50;
        ASSERT_GE(Add(2, 1, i), 0);
        ASSERT_GE(Add(1, 2, "SW1"), 0);
        ASSERT_GE(Add(4, 1, "TXT"), 0);
        ASSERT_GE(Add(1, 1, "GONE"), 0);
        ASSERT_EQ(engine->DeleteTag("GONE"), 1);
        engine.reset();
    }
    std::string Q(const std::string& s) { return "'" + s + "'"; }
};

TEST_F(InspectTool, ExportThenImportIntoAFreshDirectoryGivesTheSameTags) {
    BuildStore();
    const std::string csv = scratch / "tags.csv";
    const std::string copy = scratch / "copy";
    ToolRun ex = Tool("export " + Q(dir.path()) + " " + Q(csv));
    ASSERT_EQ(ex.nStatus, 0) << ex.err;
    ToolRun im = Tool("import " + Q(copy) + " " + Q(csv));
    ASSERT_EQ(im.nStatus, 0) << im.err;
    for (const char* fmt : {"table", "csv", "json"}) {
        ToolRun a = Tool("ls " + Q(dir.path()) + " --format " + fmt);
        ToolRun b = Tool("ls " + Q(copy) + " --format " + fmt);
        EXPECT_EQ(a.nStatus, 0);
        EXPECT_EQ(a.out, b.out) << fmt;
        // Four live tags and a header line, or the JSON brackets.
        EXPECT_NE(a.out.find("TI-1"), std::string::npos);
        EXPECT_EQ(a.out.find("GONE"), std::string::npos);
    }
    // Every field, not only the listed ones, came across.
    const std::string name = "流量FIC101.PV";
    ToolRun sa = Tool("show " + Q(dir.path()) + " " + Q(name));
    ToolRun sb = Tool("show " + Q(copy) + " " + Q(name));
    EXPECT_EQ(sa.nStatus, 0) << sa.err;
    EXPECT_EQ(sa.out, sb.out);
    EXPECT_NE(sa.out.find("立方米/时"), std::string::npos) << sa.out;
    EXPECT_NE(sa.out.find("123.25"), std::string::npos) << sa.out;
    EXPECT_NE(sa.out.find("-0.1"), std::string::npos) << sa.out;
    // The imported store is sound and a second export is the same text.
    EXPECT_EQ(Tool("check " + Q(copy)).nStatus, 0);
    const std::string csv2 = scratch / "again.csv";
    ASSERT_EQ(Tool("export " + Q(copy) + " " + Q(csv2)).nStatus, 0);
    EXPECT_EQ(mltest::ReadFileText(csv), mltest::ReadFileText(csv2));
}

TEST_F(InspectTool, RowsThatDoNotConvertOrFitAreReportedByLineAndSkipped) {
    engine.reset();
    const std::string csv = scratch / "in.csv";
    mltest::WriteFileBytes(
        csv,
        "name,type,source,area,region,description,trend,unit,range_high,range_low,user_word,"
        "tail_word\n"
        "OK1,bool,BRK,0,0,first,0,,,,0,0\n"
        "EURO\xE2\x82\xAC,bool,BRK,0,0,x,0,,,,0,0\n"                    // line 3: no GB2312
        "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456,int,RMP,0,0,x,0,,1,0,0,0\n"  // line 4: 33 bytes
        "OK2,real,RMP,1,2,\"two\nlines\",1,m,1.5,0,0,0\n"               // lines 5 and 6
        "BADTYPE,double,BRK,0,0,x,0,,,,0,0\n"                           // line 7
        "OK3,int,BRK,0,0,x,0,,99999999999,0,0,0\n"                      // line 8: range
        "OK1,bool,BRK,0,0,again,0,,,,0,0\n"                             // line 9: present
        "OK4,string,BRK,5,6,\xB0\xA1,0,,,,0,\n");                       // line 10: not UTF-8
    ToolRun r = Tool("import " + Q(dir.path()) + " " + Q(csv));
    EXPECT_EQ(r.nStatus, 1) << r.err;
    for (int line : {3, 4, 7, 8, 9, 10})
        EXPECT_NE(r.err.find("in.csv:" + std::to_string(line) + ":"), std::string::npos)
            << line << "\n"
            << r.err;
    for (int line : {2, 5, 6})
        EXPECT_EQ(r.err.find("in.csv:" + std::to_string(line) + ":"), std::string::npos) << line;
    ToolRun ls = Tool("ls " + Q(dir.path()) + " --format csv");
    EXPECT_EQ(ls.out,
              "name,type,source,area,region,description,trend\n"
              "OK1,bool,BRK,0,0,first,0\n"
              "OK2,real,RMP,1,2,\"two\nlines\",1\n");
}

TEST_F(InspectTool, CheckExitStatusSaysWhetherTheStoreIsSound) {
    BuildStore();
    ToolRun ok = Tool("check " + Q(dir.path()));
    EXPECT_EQ(ok.nStatus, 0) << ok.out;
    // The ZuZir int record's deleted flag set behind the index's back.
    auto b = Bytes("TmpZuZirIntTagInfo.tag");
    b[40 + 148] = 1;
    mltest::WriteFileBytes(Path("TmpZuZirIntTagInfo.tag"), std::string(b.begin(), b.end()));
    ToolRun bad = Tool("check " + Q(dir.path()) + " --format csv");
    EXPECT_EQ(bad.nStatus, 1);
    EXPECT_NE(bad.out.find("TmpZuZirIntTagInfo.tag,40,"), std::string::npos) << bad.out;
    EXPECT_NE(bad.out.find("TmpZuzirTagIndex.idx,40,"), std::string::npos) << bad.out;
}

TEST_F(InspectTool, LookingIntoAStoreWritesNothing) {
    BuildStore();
    const auto before = mltest::SnapshotDir(dir.path());
    const std::string d = Q(dir.path());
    EXPECT_EQ(Tool("ls " + d).nStatus, 0);
    EXPECT_EQ(Tool("ls " + d + " --type event").nStatus, 0);
    EXPECT_EQ(Tool("show " + d + " NOSUCH").nStatus, 1);
    EXPECT_EQ(Tool("show " + d + " SW1").nStatus, 0);
    EXPECT_EQ(Tool("areas " + d).nStatus, 0);
    EXPECT_EQ(Tool("check " + d).nStatus, 0);
    EXPECT_EQ(Tool("export " + d + " " + Q(scratch / "x.csv")).nStatus, 0);
    EXPECT_EQ(mltest::SnapshotDir(dir.path()), before);
    const std::string absent = scratch / "absent";
    EXPECT_EQ(Tool("ls " + Q(absent)).nStatus, 2);
    EXPECT_FALSE(mltest::FileExists(absent));
}

TEST_F(InspectTool, TableColumnsAlignByDisplayWidth) {
    ASSERT_GE(Add(1, 2, mltest::Gb("仪表")), 0);  // four columns wide
    ASSERT_GE(Add(2, 2, "ABCDE"), 0);             // five
    engine.reset();
    ToolRun r = Tool("ls " + Q(dir.path()) + " --source brk");
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < r.out.size()) {
        std::size_t nl = r.out.find('\n', at);
        lines.push_back(r.out.substr(at, nl - at));
        at = nl + 1;
    }
    ASSERT_EQ(lines.size(), 3u) << r.out;
    // The name column is five columns wide: two CJK characters take four, so three spaces.
    EXPECT_EQ(lines[0], "name   type  source  area  region  description    trend");
    EXPECT_EQ(lines[1], "仪表   bool  BRK     1     2       desc of 仪表   1");
    EXPECT_EQ(lines[2], "ABCDE  int   BRK     1     2       desc of ABCDE  1");
}

TEST_F(InspectTool, HelpDocumentsEveryCommandAndOption) {
    ToolRun r = Tool("--help");
    EXPECT_EQ(r.nStatus, 0);
    for (const char* w :
         {"ls DIR", "show DIR NAME", "check DIR", "export DIR FILE.csv", "import DIR FILE.csv",
          "areas DIR", "--format", "--source", "--type", "--areainfo", "Exit status"})
        EXPECT_NE(r.out.find(w), std::string::npos) << w;
    EXPECT_EQ(Tool("frobnicate " + Q(dir.path())).nStatus, 2);
    EXPECT_EQ(Tool("ls " + Q(dir.path()) + " --format xml").nStatus, 2);
}

}  // namespace

TEST_F(InspectTool, ExportedCellsCannotRunAsFormulasAndImportGivesThemBackExactly) {
    const std::vector<std::string> descs = {
        "=cmd|' /C calc'!A0", "+1",       "@SUM(A1)", "-2+3", "\tTAB",
        "'=quoted",           "''+twice", "'plain",   "-7"};
    for (std::size_t i = 0; i < descs.size(); ++i) {
        AnyTag t = MakeTag(2, "D" + std::to_string(i), -3, 4);
        std::snprintf(t.i.szDesc, sizeof t.i.szDesc, "%s", descs[i].c_str());
        t.i.nRangeLow = -50;
        ASSERT_GE(Add(2, 2, t), 0);
    }
    engine.reset();
    const std::string csv = scratch / "tags.csv";
    ASSERT_EQ(Tool("export " + Q(dir.path()) + " " + Q(csv)).nStatus, 0);
    const std::string text = mltest::ReadFileText(csv);
    for (const char* cell : {",'=cmd|' /C calc'!A0,", ",'+1,", ",'@SUM(A1),", ",'-2+3,", ",'\tTAB,",
                             ",''=quoted,", ",'''+twice,", ",'plain,", ",-7,", ",-3,4,", ",-50,"})
        EXPECT_NE(text.find(cell), std::string::npos) << cell << "\n" << text;
    const std::string copy = scratch / "copy";
    ASSERT_EQ(Tool("import " + Q(copy) + " " + Q(csv)).nStatus, 0);
    ToolRun a = Tool("ls " + Q(dir.path()) + " --format json");
    EXPECT_EQ(a.out, Tool("ls " + Q(copy) + " --format json").out);
    for (std::string d : descs) {
        if (d[0] == '\t')
            d = "\\t" + d.substr(1);
        EXPECT_NE(a.out.find("\"" + d + "\""), std::string::npos) << d << "\n" << a.out;
    }
}

// ls --format csv on a terminal (a pseudo-terminal here) shows a stored escape sequence as text;
// into a pipe it writes the bytes as they are.
TEST_F(InspectTool, ControlCharactersReachATerminalOnlyAsEscapes) {
    AnyTag t = MakeTag(1, "ESC");
    std::snprintf(t.b.szDesc, sizeof t.b.szDesc, "%s", "red \x1b[31m bell \x07");
    ASSERT_GE(Add(1, 2, t), 0);
    engine.reset();
    EXPECT_NE(Tool("ls " + Q(dir.path()) + " --format csv").out.find("red \x1b[31m bell \x07"),
              std::string::npos);

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string slave = ::ptsname(master);
    const std::string tool = std::string(MEMLIST_BINARY_DIR) + "/out/memlist-inspect";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
        if (fd < 0 || ::dup2(fd, 1) < 0)
            ::_exit(97);
        ::execl(tool.c_str(), tool.c_str(), "ls", dir.path().c_str(), "--format", "csv",
                static_cast<char*>(nullptr));
        ::_exit(98);
    }
    std::string out;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0)
            break;  // EIO once the child's side is closed
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(master);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(out.find("red \\x1b[31m bell \\x07"), std::string::npos) << out;
    EXPECT_EQ(out.find('\x1b'), std::string::npos);
    EXPECT_EQ(out.find('\x07'), std::string::npos);
}
