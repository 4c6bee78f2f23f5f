// The records' resets, their sizes by type, and the tag copy the queries hand out.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "TagRecords.h"

namespace {

template <class T>
bool AllBytesAre(const T& rec, size_t from, size_t to, unsigned char v) {
    const auto* p = reinterpret_cast<const unsigned char*>(&rec);
    for (size_t i = from; i < to; ++i)
        if (p[i] != v)
            return false;
    return true;
}

}  // namespace

TEST(TagRecords, TypedResetZeroesAllButTheTypeAndTheBooleanWordAt450) {
    BoolTagInfo b;
    std::memset(&b, 0x5A, sizeof b);
    b.Reset();
    EXPECT_EQ(b.nDataType, 1);
    int32_t w450;
    std::memcpy(&w450, reinterpret_cast<const char*>(&b) + 450, 4);
    EXPECT_EQ(w450, -1);
    EXPECT_TRUE(AllBytesAre(b, 0, 104, 0));
    EXPECT_TRUE(AllBytesAre(b, 108, 450, 0));
    EXPECT_TRUE(AllBytesAre(b, 454, sizeof b, 0));

    FloatTagInfo f;
    std::memset(&f, 0x5A, sizeof f);
    f.Reset();
    EXPECT_EQ(f.nDataType, 3);
    EXPECT_TRUE(AllBytesAre(f, 108, sizeof f, 0));

    IntTagInfo i;
    i.Reset();
    StringTagInfo s;
    s.Reset();
    EXPECT_EQ(i.nDataType, 2);
    EXPECT_EQ(s.nDataType, 4);
    EXPECT_EQ(memtag::TagRecordSize(0), 0);
    EXPECT_EQ(memtag::TagRecordSize(3), 1022);
    EXPECT_EQ(memtag::TagRecordSize(5), 0);
}

TEST(TagRecords, EventResetKeepsNumberAndByte73) {
    Thing_Info t;
    std::memset(&t, 0x77, sizeof t);
    t.nNo = 12;
    t.Reset();
    EXPECT_EQ(t.nNo, 12);
    EXPECT_EQ(t.byHost73, 0x77);
    EXPECT_EQ(t.byDataSource, 1);
    EXPECT_EQ(t.wGroup, 0);
    EXPECT_EQ(t.wDeleted, 0);
    EXPECT_EQ(t.nUserWord, 0);
    EXPECT_TRUE(AllBytesAre(t, 4, 68, 0));

    StructObject_Info so;
    std::memset(&so, 0x33, sizeof so);
    so.Reset();
    EXPECT_TRUE(AllBytesAre(so, 0, 58, 0));
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(&so)[58], 1);
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(&so)[59], 2);
}

TEST(TagRecords, MemTagStartsWithUserWordMinusOneAndNoRange) {
    CMemTag t;
    EXPECT_EQ(t.nUserWord, -1);
    EXPECT_EQ(t.dRangeHigh, 0.0);
    EXPECT_EQ(t.dRangeLow, 0.0);
    EXPECT_TRUE(t.strName.IsEmpty() && t.strDesc.IsEmpty() && t.strUnit.IsEmpty());
    t.strName = "A";
    CMemTag u = t;
    u.strName = "B";
    EXPECT_EQ(t.strName, "A");  // copies own their strings
}
