// The library's GB2312 texts are the bytes an independent conversion gives.
#include <gtest/gtest.h>

#include <string>

#include "Gb2312.h"
#include "TestSupport.h"
#include "gbtext/StoreTexts.h"

using mltest::Gb;

TEST(GbTexts, KnownBytesOfTheCaption) {
    // 显示位号 in GB2312, from the code table.
    EXPECT_EQ(std::string(gbtext::SheetCaption), "\xCF\xD4\xCA\xBE\xCE\xBB\xBA\xC5");
}

TEST(GbTexts, EveryStoreTextMatchesIconv) {
    EXPECT_EQ(std::string(gbtext::AddDataFileFailed), Gb("添加数据到Temp文件失败！"));
    EXPECT_EQ(std::string(gbtext::DelEventBadNo), Gb("所要删除事件的名称:事件%d 错误！"));
    EXPECT_EQ(std::string(gbtext::ErrFileIdLine), Gb("文件标识：%s"));
    EXPECT_EQ(std::string(gbtext::SetDataTypeBad), Gb("在数据类型转换时，数据类型指定错误！"));
    EXPECT_EQ(std::string(gbtext::ModifyOldNameMissing), Gb("未找到旧位号名称%s;"));
}

TEST(Gb2312, RoundTripAndLeadBytes) {
    std::string gb = Gb("位号A");
    EXPECT_EQ(mlplat::GbToUtf8(gb), "位号A");
    EXPECT_TRUE(mlplat::IsGbLeadByte(static_cast<unsigned char>(gb[0])));
    EXPECT_FALSE(mlplat::IsGbLeadByte('A'));
    std::string out;
    EXPECT_FALSE(mlplat::Utf8ToGbStrict("\xF0\x9F\x98\x80", out));  // an emoji has no GB2312 form
    EXPECT_EQ(mlplat::Utf8ToGb("a\xF0\x9F\x98\x80"
                               "b"),
              "a?b");
    EXPECT_TRUE(mlplat::CodePointToGb(0x4F4D, out));  // 位
    EXPECT_EQ(out, Gb("位"));
    EXPECT_FALSE(mlplat::CodePointToGb(0x1F600, out));
}
