// A store engine on a scratch directory, and records filled as a host fills them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FileDypass.h"
#include "TagRecords.h"
#include "TestSupport.h"

namespace enginetest {

using AnyTag = memtag::AnyTagRecord;

inline AnyTag MakeTag(int nType, const std::string& name, int nArea = 1, int nRegion = 2) {
    AnyTag t;
    t.ResetAs(nType);
    std::memcpy(t.s.szName, name.data(), std::min(name.size(), sizeof t.s.szName));
    std::snprintf(t.s.szDesc, sizeof t.s.szDesc, "desc of %s", name.c_str());
    t.s.nArea = nArea;
    t.s.nRegion = nRegion;
    t.s.nUserWord = 77;
    t.s.nTrend = 1;
    return t;
}

inline std::uint32_t U32(const std::vector<std::uint8_t>& b, size_t at) {
    std::uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}
inline std::uint16_t U16(const std::vector<std::uint8_t>& b, size_t at) {
    std::uint16_t v = 0;
    std::memcpy(&v, b.data() + at, 2);
    return v;
}

// A store directory of the test's own, and no area list.
class StoreDirTest : public ::testing::Test {
protected:
    mltest::TempDir dir;
    mltest::ScopedEnv env{"QLX_PATH_D_TEMP", dir.path().c_str()};
    mltest::ScopedEnv noAreas{"QLX_PATH_D_AREAINFO", nullptr};
};

class EngineTest : public StoreDirTest {
protected:
    std::unique_ptr<CFileDypass> engine = std::make_unique<CFileDypass>();

    std::string Path(const std::string& name) const { return dir / name; }
    std::vector<std::uint8_t> Bytes(const std::string& name) const {
        return mltest::ReadFileBytes(Path(name));
    }
    void Reopen() {
        engine.reset();
        engine = std::make_unique<CFileDypass>();
    }

    // The facade's add: set and check the codes, write the record, then its index entry.
    // The record offset, or -1.
    int Add(int nType, int nSource, AnyTag& rec, CFileDypass* e = nullptr) {
        CFileDypass& eng = e ? *e : *engine;
        eng.SetDataType(nType);
        eng.SetDataSource(nSource);
        if (!eng.CheckDataType() || !eng.CheckDataSource())
            return -1;
        int off = eng.WriteTagRecord(&rec);
        if (off < 0 || eng.AddIndexEntry(off, &rec) < 0)
            return -1;
        return off;
    }
    int Add(int nType, int nSource, const std::string& name) {
        AnyTag t = MakeTag(nType, name);
        return Add(nType, nSource, t);
    }
    // The change's first step alone, with the codes set as given: the record offset, or -1.
    int Relink(int nType, int nSource, void* pRec, const std::string& oldName) {
        engine->SetDataType(nType);
        engine->SetDataSource(nSource);
        return engine->RelinkTag(pRec, oldName.c_str());
    }
    // The facade's change: relink, then rewrite. 1 or -1.
    int Modify(int nType, int nSource, void* pRec, const std::string& oldName) {
        int off = Relink(nType, nSource, pRec, oldName);
        if (off < 0)
            return -1;
        return engine->RewriteTagRecord(off, pRec, nType);
    }
    std::vector<std::string> Messages() { return mltest::Messages(*engine); }
};

}  // namespace enginetest
