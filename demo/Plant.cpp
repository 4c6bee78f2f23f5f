#include "Plant.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "Gb2312.h"
#include "MemTagList.h"

namespace {

struct Kind {
    const char* code;
    const char* what;  // UTF-8
    int type;          // 1 boolean, 2 integer, 3 real
    double high;
};

// Ten kinds of a hundred loops each make one unit of a thousand tags.
const Kind kKinds[] = {
    {"FIC", "流量调节", 3, 500}, {"TIC", "温度调节", 3, 650},  {"PIC", "压力调节", 3, 16},
    {"LIC", "液位调节", 3, 100}, {"FI", "流量", 3, 500},       {"TI", "温度", 3, 650},
    {"PI", "压力", 3, 16},       {"FQ", "累计流量", 2, 99999}, {"XV", "阀门开关状态", 1, 0},
    {"PS", "泵运行信号", 1, 0},
};

struct Place {
    int area, region;
    const char* name;  // UTF-8, the region's name in the sample ARInfo.xml
};

const Place kPlaces[] = {{1, 1, "汽包"}, {1, 2, "燃烧"}, {1, 3, "给水"}, {2, 1, "主汽"},
                         {2, 2, "润滑"}, {3, 1, "除盐"}, {3, 2, "加药"}};

void Put(char* field, size_t cap, const std::string& utf8) {
    std::string gb = mlplat::Utf8ToGb(utf8);
    std::memset(field, 0, cap);
    std::memcpy(field, gb.data(), std::min(gb.size(), cap - 1));
}

template <class Rec>
void FillHead(Rec& r, const char* name, const std::string& desc, const Place& p, int trend) {
    r.Reset();
    Put(r.szName, sizeof r.szName, name);
    Put(r.szDesc, sizeof r.szDesc, desc);
    r.nArea = p.area;
    r.nRegion = p.region;
    r.nTrend = trend;
}

}  // namespace

int FillPlant(CMemTagList& list, int nTags) {
    int nAdded = 0;
    for (int i = 0; i < std::min(nTags, 100000); ++i) {
        const int unit = i / 1000, loop = i % 100;
        const Kind& k = kKinds[(i / 100) % 10];
        const Place& p = kPlaces[unit % 7];
        char name[32], desc[96];
        std::snprintf(name, sizeof name, "%s%02d%02d", k.code, unit, loop);
        std::snprintf(desc, sizeof desc, "%s%02d单元%s%d", p.name, unit, k.what, loop + 1);
        const int trend = i % 3 != 0;
        const int source = unit % 5 == 4 ? 1 : 2;
        int r = -1;
        if (k.type == 1) {
            BoolTagInfo t;
            FillHead(t, name, desc, p, trend);
            r = list.AddData(1, source, &t, "");
        } else if (k.type == 2) {
            IntTagInfo t;
            FillHead(t, name, desc, p, trend);
            t.nRangeHigh = static_cast<int>(k.high);
            r = list.AddData(2, source, &t, "");
        } else {
            FloatTagInfo t;
            FillHead(t, name, desc, p, trend);
            t.dRangeHigh = k.high;
            r = list.AddData(3, source, &t, "");
        }
        nAdded += r == 1 ? 1 : 0;
    }
    return nAdded;
}
