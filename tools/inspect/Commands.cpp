// ls, show, check, export, import and areas on a store directory.
#include "Commands.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "Csv.h"
#include "FileDypass.h"
#include "FileFace.h"
#include "FileSystem.h"
#include "Gb2312.h"
#include "StoreCheck.h"
#include "TagRecords.h"
#include "gbtext/StoreTexts.h"

namespace inspect {

namespace {

const char* const kTypeNames[] = {"", "bool", "int", "real", "string", "event", "task", "struct"};

std::string TypeName(int nType) {
    return nType >= 0 && nType <= 7 ? kTypeNames[nType] : std::to_string(nType);
}

std::string SourceName(int nSource) {
    return nSource == memtag::kSourceBrakk   ? "BRK"
           : nSource == memtag::kSourceZuZir ? "RMP"
                                             : std::to_string(nSource);
}

std::string Utf8(const CString& gb) {
    return mlplat::GbToUtf8(gb.str());
}

std::string Number(double d) {
    char buf[40];
    if (d == std::trunc(d) && std::fabs(d) < 1e15) {
        std::snprintf(buf, sizeof buf, "%.0f", d);
        return buf;
    }
    std::snprintf(buf, sizeof buf, "%.17g", d);
    // The shortest text that reads back as the same double.
    for (int prec = 1; prec <= 17; ++prec) {
        char shorter[40];
        std::snprintf(shorter, sizeof shorter, "%.*g", prec, d);
        if (std::strtod(shorter, nullptr) == d)
            return shorter;
    }
    return buf;
}

// The store in `strDir`, opened for reading only. Null (after a complaint) when the directory
// does not exist: a read-only look never creates it.
std::unique_ptr<CFileDypass> OpenReadOnly(const Options& opt) {
    if (!mlplat::IsDirectory(opt.strDir.c_str())) {
        std::fprintf(stderr, "memlist-inspect: %s is not a directory\n", opt.strDir.c_str());
        return nullptr;
    }
    return std::make_unique<CFileDypass>(CString(opt.strDir.c_str()), true,
                                         CString(opt.strAreaInfo.c_str()));
}

bool WantsTagType(const Options& opt, int nType) {
    return opt.strType.empty() || opt.strType == "tag" || opt.strType == TypeName(nType);
}

// Every live tag of the chosen sources, BRK first, in index order.
std::vector<CMemTag> ListTags(CFileDypass& engine, const Options& opt) {
    CArray<_INDEX_STRUCT, _INDEX_STRUCT&> idx;
    engine.GetTagArray(idx, opt.nSource);
    std::vector<CMemTag> tags;
    for (int i = 0; i < idx.GetSize(); ++i) {
        if (!WantsTagType(opt, idx[i].nDataType))
            continue;
        CMemTag tag;
        if (engine.GetTagInfoWithIdx(idx[i], tag))
            tags.push_back(tag);
    }
    return tags;
}

const std::vector<std::string> kTagColumns = {"name",   "type",        "source", "area",
                                              "region", "description", "trend"};
const std::vector<bool> kTagNumeric = {false, false, false, true, true, false, true};

std::vector<std::string> TagRow(const CMemTag& t) {
    return {Utf8(t.strName),         TypeName(t.nDataType),     SourceName(t.nDataSource),
            std::to_string(t.nArea), std::to_string(t.nRegion), Utf8(t.strDesc),
            std::to_string(t.nTrend)};
}

// --- CSV of tags -------------------------------------------------------------------------------

const std::vector<std::string> kCsvColumns = {
    "name",  "type", "source",     "area",      "region",    "description",
    "trend", "unit", "range_high", "range_low", "user_word", "tail_word"};

bool ParseInt(const std::string& s, long long lo, long long hi, long long& v) {
    if (s.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    v = std::strtoll(s.c_str(), &end, 10);
    return errno == 0 && *end == '\0' && v >= lo && v <= hi;
}

bool ParseDouble(const std::string& s, double& v) {
    if (s.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    v = std::strtod(s.c_str(), &end);
    return errno == 0 && *end == '\0' && std::isfinite(v);
}

// GB2312 bytes of `utf8` into a zero-terminated field of `nField` bytes; a complaint otherwise.
std::string PutText(const std::string& what, const std::string& utf8, char* field,
                    std::size_t nField) {
    std::string gb;
    if (!mlplat::Utf8ToGbStrict(utf8, gb))
        return what + " does not convert to GB2312";
    if (gb.size() >= nField)
        return what + " is " + std::to_string(gb.size()) + " bytes in GB2312, more than " +
               std::to_string(nField - 1);
    if (gb.find('\0') != std::string::npos)
        return what + " holds a zero character";
    std::memset(field, 0, nField);
    std::memcpy(field, gb.data(), gb.size());
    return {};
}

using memtag::AnyTagRecord;

// Builds the typed record of one CSV row; an empty result means the row fits.
std::string BuildRecord(const std::vector<std::string>& f, AnyTagRecord& rec, int& nType,
                        int& nSource) {
    if (f.size() != kCsvColumns.size())
        return "has " + std::to_string(f.size()) + " fields, not " +
               std::to_string(kCsvColumns.size());
    nType = 0;
    for (int t = memtag::kTypeBool; t <= memtag::kTypeString; ++t) {
        if (f[1] == kTypeNames[t])
            nType = t;
    }
    if (!nType)
        return "type \"" + f[1] + "\" is not bool, int, real or string";
    nSource = f[2] == "BRK" ? memtag::kSourceBrakk : f[2] == "RMP" ? memtag::kSourceZuZir : 0;
    if (!nSource)
        return "source \"" + f[2] + "\" is not BRK or RMP";
    rec.ResetAs(nType);
    // The four records share their head: the string record's fields name it.
    StringTagInfo& head = rec.s;
    if (f[0].empty())
        return "name is empty";
    std::string err = PutText("name", f[0], head.szName, sizeof head.szName);
    if (err.empty())
        err = PutText("description", f[5], head.szDesc, sizeof head.szDesc);
    if (!err.empty())
        return err;
    long long area, region, trend, user, tail = 0;
    if (!ParseInt(f[3], INT32_MIN, INT32_MAX, area) ||
        !ParseInt(f[4], INT32_MIN, INT32_MAX, region))
        return "area or region is not a 32-bit integer";
    if (!ParseInt(f[6], INT32_MIN, INT32_MAX, trend) ||
        !ParseInt(f[10], INT32_MIN, INT32_MAX, user))
        return "trend or user word is not a 32-bit integer";
    head.nArea = static_cast<std::int32_t>(area);
    head.nRegion = static_cast<std::int32_t>(region);
    head.nTrend = static_cast<std::int32_t>(trend);
    head.nUserWord = static_cast<std::int32_t>(user);
    if (nType != memtag::kTypeString && !ParseInt(f[11], INT32_MIN, INT32_MAX, tail))
        return "tail word is not a 32-bit integer";
    if (nType == memtag::kTypeString && !f[11].empty() && f[11] != "0")
        return "a string tag has no tail word";
    const bool bRanged = nType == memtag::kTypeInt || nType == memtag::kTypeFloat;
    if (!bRanged) {
        double hi = 0, lo = 0;
        if (!f[7].empty() || (!f[8].empty() && (!ParseDouble(f[8], hi) || hi != 0)) ||
            (!f[9].empty() && (!ParseDouble(f[9], lo) || lo != 0)))
            return "a " + f[1] + " tag has no unit or range";
    }
    switch (nType) {
        case memtag::kTypeBool:
            rec.b.nTailWord = static_cast<std::int32_t>(tail);
            break;
        case memtag::kTypeInt: {
            long long hi, lo;
            if (!ParseInt(f[8], INT32_MIN, INT32_MAX, hi) ||
                !ParseInt(f[9], INT32_MIN, INT32_MAX, lo))
                return "range of an int tag is not two 32-bit integers";
            rec.i.nRangeHigh = static_cast<std::int32_t>(hi);
            rec.i.nRangeLow = static_cast<std::int32_t>(lo);
            rec.i.nTailWord = static_cast<std::int32_t>(tail);
            return PutText("unit", f[7], rec.i.szUnit, sizeof rec.i.szUnit);
        }
        case memtag::kTypeFloat: {
            double hi, lo;  // the record's doubles are not aligned
            if (!ParseDouble(f[8], hi) || !ParseDouble(f[9], lo))
                return "range of a real tag is not two numbers";
            rec.f.dRangeHigh = hi;
            rec.f.dRangeLow = lo;
        }
            rec.f.nTailWord = static_cast<std::int32_t>(tail);
            return PutText("unit", f[7], rec.f.szUnit, sizeof rec.f.szUnit);
        default:
            break;
    }
    return {};
}

std::string ReadWholeFile(const std::string& path, bool& bOk) {
    std::ifstream in(path, std::ios::binary);
    bOk = static_cast<bool>(in);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace

int RunLs(const Options& opt) {
    auto engine = OpenReadOnly(opt);
    if (!engine)
        return kExitUsage;
    const std::string& t = opt.strType;
    if (t == "event" || t == "task" || t == "struct") {
        CArray<CMemTag, CMemTag&> arr;
        if (t == "event")
            engine->GetAllEvents(arr, opt.nSource);
        else if (t == "task")
            engine->GetAllTasks(arr, opt.nSource);
        else
            engine->GetAllStructObjects(arr, opt.nSource);
        if (t == "struct") {
            CRowWriter w({"name", "struct_type", "source"});
            for (int i = 0; i < arr.GetSize(); ++i)
                w.AddRow(
                    {Utf8(arr[i].strName), Utf8(arr[i].strDesc), SourceName(arr[i].nDataSource)});
            w.Write(stdout, opt.format);
            return kExitOk;
        }
        CRowWriter w({"number", "source", "group", "description", "user_word"});
        for (int i = 0; i < arr.GetSize(); ++i)
            w.AddRow({Utf8(arr[i].strName), SourceName(arr[i].nDataSource),
                      std::to_string(arr[i].nArea), Utf8(arr[i].strDesc),
                      std::to_string(arr[i].nUserWord)});
        w.Write(stdout, opt.format, {true, false, true, false, true});
        return kExitOk;
    }
    CRowWriter w(kTagColumns);
    for (const CMemTag& tag : ListTags(*engine, opt))
        w.AddRow(TagRow(tag));
    w.Write(stdout, opt.format, kTagNumeric);
    return kExitOk;
}

int RunShow(const Options& opt) {
    auto engine = OpenReadOnly(opt);
    if (!engine)
        return kExitUsage;
    std::string gb;
    if (!mlplat::Utf8ToGbStrict(opt.strArg, gb)) {
        std::fprintf(stderr, "memlist-inspect: the name does not convert to GB2312\n");
        return kExitUsage;
    }
    CMemTag t;
    if (!CFileFace::ResolveSelute(*engine, CString(gb.c_str()), t)) {
        std::fprintf(stderr, "memlist-inspect: %s: no such tag, event or task\n",
                     opt.strArg.c_str());
        return kExitFindings;
    }
    const bool bRanged = t.nDataType == memtag::kTypeInt || t.nDataType == memtag::kTypeFloat;
    std::vector<std::string> fields = {"name",        "type",  "source",    "area",     "region",
                                       "description", "trend", "user_word", "tail_word"};
    std::vector<std::string> values = {
        Utf8(t.strName),          TypeName(t.nDataType),       SourceName(t.nDataSource),
        std::to_string(t.nArea),  std::to_string(t.nRegion),   Utf8(t.strDesc),
        std::to_string(t.nTrend), std::to_string(t.nUserWord), std::to_string(t.nTailWord)};
    std::vector<bool> numeric = {false, false, false, true, true, false, true, true, true};
    if (bRanged) {
        fields.insert(fields.end(), {"unit", "range_high", "range_low"});
        values.insert(values.end(), {Utf8(t.strUnit), Number(t.dRangeHigh), Number(t.dRangeLow)});
        numeric.insert(numeric.end(), {false, true, true});
    }
    if (opt.format == Format::kTable) {
        CRowWriter w({"field", "value"});
        for (std::size_t i = 0; i < fields.size(); ++i)
            w.AddRow({fields[i], values[i]});
        w.Write(stdout, opt.format);
    } else {
        CRowWriter w(fields);
        w.AddRow(values);
        w.Write(stdout, opt.format, numeric);
    }
    return kExitOk;
}

int RunCheck(const Options& opt) {
    if (!mlplat::IsDirectory(opt.strDir.c_str())) {
        std::fprintf(stderr, "memlist-inspect: %s is not a directory\n", opt.strDir.c_str());
        return kExitUsage;
    }
    const std::vector<StoreFinding> findings =
        CStoreCheck::CheckDirectory(CString(opt.strDir.c_str()));
    CRowWriter w({"file", "offset", "finding"});
    for (const StoreFinding& f : findings)
        w.AddRow({f.strFile.str(), std::to_string(f.nOffset), f.strText.str()});
    const bool bSound = std::all_of(findings.begin(), findings.end(),
                                    [](const StoreFinding& f) { return f.bReclaimable; });
    if (opt.format == Format::kTable && findings.empty())
        std::printf("%s: the store is sound\n", opt.strDir.c_str());
    else
        w.Write(stdout, opt.format, {false, true, false});
    return bSound ? kExitOk : kExitFindings;
}

int RunRepair(const Options& opt) {
    if (!mlplat::IsDirectory(opt.strDir.c_str())) {
        std::fprintf(stderr, "memlist-inspect: %s is not a directory\n", opt.strDir.c_str());
        return kExitUsage;
    }
    // Opening the set brings each tree into agreement with its index, under the source's
    // write lock; the trees are then saved under their own lock.
    CFileDypass engine(CString(opt.strDir.c_str()), false);
    // Then every record is read as well: an entry whose record carries another name takes it
    // back, whatever the trees said.
    std::vector<CFileDypass::NameChange> changes = engine.GetOpenChanges();
    for (int nSource : {memtag::kSourceBrakk, memtag::kSourceZuZir})
        engine.ReconcileNames(nSource, &changes, true);
    CRowWriter w({"source", "name", "was", "now"});
    for (const CFileDypass::NameChange& c : changes)
        w.AddRow({SourceName(c.nSource), Utf8(c.strName), std::to_string(c.nOld),
                  std::to_string(c.nNew)});
    const std::size_t nChanges = changes.size();
    if (nChanges > 0 || opt.format != Format::kTable)
        w.Write(stdout, opt.format, {false, false, true, true});
    if (!engine.SaveNames()) {
        std::fprintf(stderr, "memlist-inspect: a name tree of %s could not be saved\n",
                     opt.strDir.c_str());
        return kExitUsage;
    }
    if (opt.format == Format::kTable)
        std::printf("%s: %zu name%s changed; both trees agree with the index files\n",
                    opt.strDir.c_str(), nChanges, nChanges == 1 ? "" : "s");
    return kExitOk;
}

int RunExport(const Options& opt) {
    auto engine = OpenReadOnly(opt);
    if (!engine)
        return kExitUsage;
    std::string text = CsvLine(kCsvColumns);
    int nSkipped = 0;
    for (const CMemTag& t : ListTags(*engine, opt)) {
        std::string name, desc, unit;
        if (!mlplat::GbToUtf8Strict(t.strName.str(), name) ||
            !mlplat::GbToUtf8Strict(t.strDesc.str(), desc) ||
            !mlplat::GbToUtf8Strict(t.strUnit.str(), unit)) {
            std::fprintf(stderr, "memlist-inspect: tag %s of %s: a text is not GB2312; skipped\n",
                         ShownOn(stderr, Utf8(t.strName)).c_str(),
                         SourceName(t.nDataSource).c_str());
            ++nSkipped;
            continue;
        }
        const bool bRanged = t.nDataType == memtag::kTypeInt || t.nDataType == memtag::kTypeFloat;
        std::vector<std::string> row = {
            name,
            TypeName(t.nDataType),
            SourceName(t.nDataSource),
            std::to_string(t.nArea),
            std::to_string(t.nRegion),
            desc,
            std::to_string(t.nTrend),
            bRanged ? unit : "",
            bRanged ? Number(t.dRangeHigh) : "",
            bRanged ? Number(t.dRangeLow) : "",
            std::to_string(t.nUserWord),
            t.nDataType == memtag::kTypeString ? "" : std::to_string(t.nTailWord)};
        // The file is meant for spreadsheets: no cell of it may run as a formula there.
        for (std::string& cell : row)
            cell = ToSpreadsheetCell(cell);
        text += CsvLine(row);
    }
    std::ofstream out(opt.strArg, std::ios::binary | std::ios::trunc);
    if (!out || !(out << text) || !out.flush()) {
        std::fprintf(stderr, "memlist-inspect: cannot write %s\n", opt.strArg.c_str());
        return kExitUsage;
    }
    return nSkipped ? kExitFindings : kExitOk;
}

int RunImport(const Options& opt) {
    bool bRead;
    const std::string text = ReadWholeFile(opt.strArg, bRead);
    if (!bRead) {
        std::fprintf(stderr, "memlist-inspect: cannot read %s\n", opt.strArg.c_str());
        return kExitUsage;
    }
    CFileFace store(CString(opt.strDir.c_str()), false, CString(opt.strAreaInfo.c_str()));
    CCsvReader csv(text);
    std::vector<std::string> fields;
    int nLine = 0, nAdded = 0, nSkipped = 0;
    bool bHeader = true;
    while (csv.Next(fields, nLine)) {
        if (bHeader) {
            bHeader = false;
            if (fields != kCsvColumns) {
                std::fprintf(stderr, "memlist-inspect: %s:%d: the header is not %s",
                             opt.strArg.c_str(), nLine, CsvLine(kCsvColumns).c_str());
                return kExitUsage;
            }
            continue;
        }
        if (fields.size() == 1 && fields[0].empty())
            continue;  // an empty line
        for (std::string& f : fields)
            f = FromSpreadsheetCell(f);
        AnyTagRecord rec;
        int nType = 0, nSource = 0;
        std::string err = BuildRecord(fields, rec, nType, nSource);
        if (err.empty()) {
            const CString name(rec.s.szName);
            const int nPresent = nSource == memtag::kSourceBrakk ? store.JustTagFromBRK(name)
                                                                 : store.JustTagFromRMP(name);
            if (nPresent)
                err = "name is already a tag of " + SourceName(nSource);
        }
        if (err.empty() && store.AddData(nType, nSource, &rec, CString()) != 1)
            err = "the store refused the record";
        if (!err.empty()) {
            std::fprintf(stderr, "memlist-inspect: %s:%d: %s; row skipped\n", opt.strArg.c_str(),
                         nLine, ShownOn(stderr, err).c_str());
            ++nSkipped;
            continue;
        }
        ++nAdded;
    }
    std::fprintf(stderr, "memlist-inspect: %d tags imported, %d rows skipped\n", nAdded, nSkipped);
    return nSkipped ? kExitFindings : kExitOk;
}

int RunAreas(const Options& opt) {
    auto engine = OpenReadOnly(opt);
    if (!engine)
        return kExitUsage;
    CDWordArray areaNo, regionArea, regionNo;
    CStringArray areaName, areaDesc, regionName, regionDesc;
    engine->GetAllAreaInfo(areaNo, areaName, areaDesc);
    engine->GetAllRegionInfo(regionArea, regionNo, regionName, regionDesc);
    CRowWriter w({"kind", "area", "region", "name", "description"});
    for (int i = 0; i < areaNo.GetSize(); ++i)
        w.AddRow({"area", std::to_string(areaNo[i]), "", Utf8(areaName[i]), Utf8(areaDesc[i])});
    for (int i = 0; i < regionNo.GetSize(); ++i)
        w.AddRow({"region", std::to_string(regionArea[i]), std::to_string(regionNo[i]),
                  Utf8(regionName[i]), Utf8(regionDesc[i])});
    w.Write(stdout, opt.format, {false, true, true, false, false});
    return kExitOk;
}

}  // namespace inspect
