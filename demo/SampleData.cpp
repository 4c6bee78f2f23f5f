#include "SampleData.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "Gb2312.h"
#include "MemTagList.h"

namespace {

std::vector<std::vector<std::string>> ReadCsv(const std::string& path) {
    std::vector<std::vector<std::string>> rows;
    std::ifstream in(path);
    std::string line;
    bool header = true;
    while (std::getline(in, line)) {
        if (header) {
            header = false;
            continue;
        }
        if (line.empty())
            continue;
        std::vector<std::string> cells;
        std::stringstream ss(line);
        std::string cell;
        while (std::getline(ss, cell, ','))
            cells.push_back(cell);
        if (line.back() == ',')
            cells.emplace_back();
        rows.push_back(std::move(cells));
    }
    return rows;
}

int Source(const std::string& s) {
    return s == "RMP" ? 1 : 2;
}

// Copies UTF-8 text into a fixed GB2312 field, always zero-terminated.
void Put(char* field, size_t cap, const std::string& utf8) {
    std::string gb = mlplat::Utf8ToGb(utf8);
    std::memset(field, 0, cap);
    std::memcpy(field, gb.data(), std::min(gb.size(), cap - 1));
}

template <class Rec>
void FillHead(Rec& r, const std::vector<std::string>& c, int userWord) {
    r.Reset();
    r.nUserWord = userWord;
    Put(r.szName, sizeof r.szName, c[2]);
    Put(r.szDesc, sizeof r.szDesc, c[3]);
    r.nArea = std::atoi(c[4].c_str());
    r.nRegion = std::atoi(c[5].c_str());
    r.nTrend = std::atoi(c[6].c_str());
}

void SetRange(IntTagInfo& r, const std::vector<std::string>& c) {
    r.nRangeLow = std::atoi(c[8].c_str());
    r.nRangeHigh = std::atoi(c[9].c_str());
}
void SetRange(FloatTagInfo& r, const std::vector<std::string>& c) {
    r.dRangeLow = std::atof(c[8].c_str());
    r.dRangeHigh = std::atof(c[9].c_str());
}

// Integer and real tags add a unit and a range to the head.
template <class Rec>
void FillRanged(Rec& r, const std::vector<std::string>& c, int userWord) {
    FillHead(r, c, userWord);
    Put(r.szUnit, sizeof r.szUnit, c[7]);
    SetRange(r, c);
    r.nTailWord = userWord;
}

// Events and tasks come from the same columns.
template <class Item>
void FillItem(Item& it, const std::vector<std::string>& c, int src) {
    it.nNo = std::atoi(c[2].c_str());
    it.byHost73 = 0;
    it.Reset();
    it.wGroup = static_cast<std::uint16_t>(std::atoi(c[3].c_str()));
    it.byDataSource = static_cast<std::uint8_t>(src);
    Put(it.szDesc, sizeof it.szDesc, c[4]);
}

// An add that worked counts in `nDone`, any other as a failure.
void Tally(int nResult, int& nDone, SampleCounts& n) {
    if (nResult == 1)
        ++nDone;
    else
        ++n.nFailed;
}

}  // namespace

SampleCounts LoadSampleData(CMemTagList& list, const std::string& dataDir) {
    SampleCounts n;
    int userWord = 1000;
    for (const auto& c : ReadCsv(dataDir + "/tags.csv")) {
        if (c.size() < 10)
            continue;
        int src = Source(c[0]);
        int ok = -1;
        ++userWord;
        if (c[1] == "bool") {
            BoolTagInfo r;
            FillHead(r, c, userWord);
            r.nTailWord = userWord;
            ok = list.AddData(1, src, &r, "");
        } else if (c[1] == "int") {
            IntTagInfo r;
            FillRanged(r, c, userWord);
            ok = list.AddData(2, src, &r, "");
        } else if (c[1] == "float") {
            FloatTagInfo r;
            FillRanged(r, c, userWord);
            ok = list.AddData(3, src, &r, "");
        } else if (c[1] == "string") {
            StringTagInfo r;
            FillHead(r, c, userWord);
            ok = list.AddData(4, src, &r, "");
        }
        Tally(ok, n.nTags, n);
    }
    for (const auto& c : ReadCsv(dataDir + "/structs.csv")) {
        if (c.size() < 3)
            continue;
        StructObject_Info s;
        s.Reset();
        Put(s.szObjName, sizeof s.szObjName, c[1]);
        Put(s.szStructType, sizeof s.szStructType, c[2]);
        s.byDataSource = static_cast<std::uint8_t>(Source(c[0]));
        Tally(list.AddStruct(Source(c[0]), &s), n.nStructs, n);
    }
    for (const auto& c : ReadCsv(dataDir + "/items.csv")) {
        if (c.size() < 5)
            continue;
        int src = Source(c[0]);
        if (c[1] == "event") {
            Thing_Info e;
            FillItem(e, c, src);
            Tally(list.AddEvent(src, &e), n.nEvents, n);
        } else {
            Task_Info t;
            FillItem(t, c, src);
            Tally(list.AddTask(src, &t), n.nTasks, n);
        }
    }
    return n;
}
