// The engine's current data type, data source and struct type: their checks and messages.
#include <gtest/gtest.h>

#include "FileDypass.h"
#include "TestSupport.h"

using mltest::Gb;

namespace {

std::vector<std::string> GbLines(std::initializer_list<const char*> utf8) {
    std::vector<std::string> lines;
    for (const char* s : utf8)
        lines.push_back(Gb(s));
    return lines;
}

struct EngineDir {
    mltest::TempDir dir;
    mltest::ScopedEnv env{"QLX_PATH_D_TEMP", dir.path().c_str()};
};

}  // namespace

TEST(EngineCodes, InvalidTypeLeavesNoValidTypeWhateverCameBefore) {
    EngineDir d;
    CFileDypass e;
    e.SetDataType(2);
    EXPECT_EQ(e.CheckDataType(), 1);
    e.SetDataType(5);
    EXPECT_EQ(e.CheckDataType(), 0);
    EXPECT_EQ(mltest::Messages(e),
              GbLines({"在数据类型转换时，数据类型指定错误！", "指定数据类型错误！"}));
    e.SetDataType(0);
    EXPECT_EQ(e.CheckDataType(), 1);
    EXPECT_EQ(mltest::Messages(e).size(), 2u);
}

TEST(EngineCodes, InvalidSourceLeavesNoValidSource) {
    EngineDir d;
    CFileDypass e;
    EXPECT_EQ(e.CheckDataSource(), 0);  // nothing set yet
    e.SetDataSource(1);
    EXPECT_EQ(e.CheckDataSource(), 1);
    e.SetDataSource(3);
    EXPECT_EQ(e.CheckDataSource(), 0);
    EXPECT_EQ(mltest::Messages(e),
              GbLines({"指定数据来源错误！", "在数据来源类型转换时，数据来源类型指定错误！",
                       "指定数据来源错误！"}));
}

TEST(EngineCodes, StructTypeMustStartWithHash) {
    EngineDir d;
    CFileDypass e;
    EXPECT_EQ(e.CheckStructType(), 1);  // "#" at start
    e.SetStructType("");
    EXPECT_EQ(e.CheckStructType(), 0);
    e.SetStructType("LOOP");
    EXPECT_EQ(e.CheckStructType(), 0);
    e.SetStructType("#LOOP");
    EXPECT_EQ(e.CheckStructType(), 1);
    EXPECT_EQ(mltest::Messages(e), GbLines({"指定结构类型错误！", "指定结构类型错误！"}));
}
