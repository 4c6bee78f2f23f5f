// Tags whose every field follows from their name, so that any record read back can be checked
// on its own: a torn or misplaced record shows as fields that do not belong to its name.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "EngineFixture.h"
#include "StoreCheck.h"
#include "TagRecords.h"

namespace reltest {

// "B000123" is tag 123 of the Brakk source, "Z000123" of the ZuZir source.
inline std::string TagName(int nSource, int i) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%c%06d", nSource == memtag::kSourceBrakk ? 'B' : 'Z', i);
    return buf;
}
inline int TypeOf(int i) {
    return 1 + i % 4;
}

inline enginetest::AnyTag Record(int nSource, int i) {
    const std::string name = TagName(nSource, i);
    enginetest::AnyTag t = enginetest::MakeTag(TypeOf(i), name, i % 50, i % 7);
    t.s.nUserWord = i;
    t.s.nTrend = i % 2;
    if (TypeOf(i) == memtag::kTypeInt) {
        t.i.nRangeHigh = i;
        t.i.nRangeLow = -i;
        std::snprintf(t.i.szUnit, sizeof t.i.szUnit, "u%d", i % 100);
    } else if (TypeOf(i) == memtag::kTypeFloat) {
        t.f.dRangeHigh = i + 0.5;
        t.f.dRangeLow = -0.25;
        std::snprintf(t.f.szUnit, sizeof t.f.szUnit, "u%d", i % 100);
    }
    return t;
}

// Empty when `tag` carries exactly the fields of the tag its name names, else what differs.
inline std::string Mismatch(const CMemTag& tag) {
    const std::string name = tag.strName.str();
    if (name.size() != 7 || (name[0] != 'B' && name[0] != 'Z'))
        return "unexpected name '" + name + "'";
    const int nSource = name[0] == 'B' ? memtag::kSourceBrakk : memtag::kSourceZuZir;
    const int i = std::atoi(name.c_str() + 1);
    const std::string where = name + ": ";
    if (tag.strDesc.str() != "desc of " + name)
        return where + "description '" + tag.strDesc.str() + "'";
    if (tag.nDataType != TypeOf(i) || tag.nDataSource != nSource)
        return where + "type or source";
    if (tag.nArea != i % 50 || tag.nRegion != i % 7 || tag.nUserWord != i || tag.nTrend != i % 2)
        return where + "area, region, user word or trend";
    if (TypeOf(i) == memtag::kTypeInt && (tag.dRangeHigh != i || tag.dRangeLow != -i ||
                                          tag.strUnit.str() != "u" + std::to_string(i % 100)))
        return where + "integer range or unit";
    if (TypeOf(i) == memtag::kTypeFloat && (tag.dRangeHigh != i + 0.5 || tag.dRangeLow != -0.25 ||
                                            tag.strUnit.str() != "u" + std::to_string(i % 100)))
        return where + "real range or unit";
    return {};
}

// What an operation cut short after one of its writes may leave by design: a record or an
// entry written without the step after it (an appended one perhaps without its first two bytes),
// and a name tree older than the index (it is saved only when the set closes). Anything else (a
// damaged header, free list or slot grid, an entry pointing at a foreign record) is damage no
// interruption may cause. A change of a tag's name cut short between its entry and its record
// leaves the two naming different tags: allowed only where such a change was under way.
inline bool LeftByInterruptedWrite(const StoreFinding& f) {
    const std::string t = f.strText.str();
    for (const char* kind :
         {"is named by no index entry", "is not on the free list", "is not flagged deleted",
          "cannot be found by name in", "leads to the deleted entry", "leads to the entry at",
          "by a key that leads elsewhere"}) {
        if (t.find(kind) != std::string::npos)
            return true;
    }
    return false;
}

}  // namespace reltest
