#include "MyKey.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "TestSupport.h"
#include "filebplustreenode.h"

namespace {

std::string Field(const CMyKey& k) {
    return std::string(k.m_szKey, CMyKey::kSize);
}

TEST(MyKey, DefaultKeyIsThirtyTwoZeroBytes) {
    CMyKey k;
    EXPECT_EQ(Field(k), std::string(32, '\0'));
    EXPECT_EQ(sizeof(k.m_szKey), 32u);
}

TEST(MyKey, ThirtyOneBytesStayWholeAndLongerTextsAreCutToThirtyOne) {
    std::string s31(31, 'a');
    EXPECT_EQ(CMyKey(CString(s31)).ToString().str(), s31);
    std::string s40 = std::string(31, 'b') + "cdefghijk";
    CMyKey k{CString(s40)};
    EXPECT_EQ(k.ToString().str(), std::string(31, 'b'));
    EXPECT_EQ(k.m_szKey[31], '\0');
}

TEST(MyKey, CutCanSplitATwoByteCharacter) {
    // 30 ASCII bytes and one GB2312 character: the cut keeps only its lead byte.
    std::string name = std::string(30, 'x') + mltest::Gb("中");
    CMyKey k{CString(name)};
    ASSERT_EQ(std::strlen(k.GetText()), 31u);
    EXPECT_EQ(static_cast<unsigned char>(k.m_szKey[30]),
              static_cast<unsigned char>(mltest::Gb("中")[0]));
}

TEST(MyKey, CopiesZeroFillAfterTheText) {
    CMyKey a{CString("PT101")};
    std::memset(a.m_szKey + 6, 'z', 20);  // junk after the NUL must not travel
    CMyKey b(a);
    EXPECT_EQ(Field(b), std::string("PT101") + std::string(27, '\0'));
    CMyKey c;
    c = a;
    EXPECT_EQ(Field(c), Field(b));
}

TEST(MyKey, DirectlyFilledThirtyTwoBytesActAsTheFirstThirtyOne) {
    CMyKey full;
    std::memcpy(full.m_szKey, std::string(32, 'q').data(), 32);
    CMyKey other;
    std::memcpy(other.m_szKey, (std::string(31, 'q') + "r").data(), 32);
    EXPECT_TRUE(full == other);
    CMyKey copy(full);
    EXPECT_EQ(copy.ToString().str(), std::string(31, 'q'));
    EXPECT_TRUE(copy == full);
}

TEST(MyKey, IntegerBecomesItsDecimalText) {
    EXPECT_STREQ(CMyKey(0).GetText(), "0");
    EXPECT_STREQ(CMyKey(-2147483647 - 1).GetText(), "-2147483648");
    EXPECT_STREQ(CMyKey(4711).GetText(), "4711");
}

TEST(MyKey, OrderIsByteWiseUnsigned) {
    EXPECT_LT(CMyKey("ABC"), CMyKey("abc"));
    EXPECT_LT(CMyKey("Tag10"), CMyKey("Tag9"));
    EXPECT_LT(CMyKey(""), CMyKey("0"));
    EXPECT_LT(CMyKey("Tag"), CMyKey("Tag0"));  // a prefix sorts first
    CMyKey gb{CString(mltest::Gb("啊"))};
    EXPECT_GT(gb, CMyKey("~~~~"));
    EXPECT_GT(gb, CMyKey("\x7f"));
    // All six operators agree with one another.
    CMyKey a("a"), b("b");
    EXPECT_TRUE(a < b && a <= b && a != b && !(a == b) && b > a && b >= a);
    EXPECT_TRUE(a <= CMyKey("a") && a >= CMyKey("a") && a == CMyKey("a"));
}

int Sign(int n) {
    return (n > 0) - (n < 0);
}

// A tree searches stored fields with a word-wise comparison; fields from files may carry any
// byte after their end, and all 32 bytes may be text.
TEST(MyKey, SearchComparisonOrdersStoredFieldsAsCompare) {
    std::mt19937 rng(7);
    auto field = [&] {
        CMyKey k;
        const int nText = static_cast<int>(rng() % 33);
        for (int i = 0; i < static_cast<int>(CMyKey::kSize); ++i)
            k.m_szKey[i] = static_cast<char>(i < nText ? 1 + rng() % 4 * 60 : rng() % 256);
        if (nText < static_cast<int>(CMyKey::kSize))
            k.m_szKey[nText] = '\0';
        return k;
    };
    for (int n = 0; n < 200000; ++n) {
        const CMyKey stored = field();
        CMyKey sought = CMyKey(field().GetText());
        if (n % 3 == 0)  // the same text as far as it goes, or a prefix of it
            sought = CMyKey(CString(std::string(stored.GetText(), strnlen(stored.GetText(), 31))
                                        .substr(0, rng() % 32)));
        const FileBPlusTreeNode::SoughtKey prepared(sought);
        ASSERT_EQ(Sign(prepared.CompareAt(stored.m_szKey)), Sign(stored.Compare(sought))) << n;
    }
}

TEST(MyKey, SerializeWritesAndReadsExactlyThirtyTwoBytes) {
    std::uint8_t buf[40];
    std::memset(buf, 0xEE, sizeof buf);
    CMyKey().Serialize(true, buf);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 32), std::string(32, '\0'));
    EXPECT_EQ(buf[32], 0xEE);
    CMyKey("PT101").Serialize(true, buf);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 32),
              std::string("PT101") + std::string(27, '\0'));

    std::uint8_t hostile[32];
    std::memset(hostile, 'h', sizeof hostile);
    CMyKey k;
    k.Serialize(false, hostile);
    EXPECT_EQ(k.ToString().str(), std::string(31, 'h'));
}

}  // namespace
