// The engine's current data type, data source and struct type: their checks and messages.
#include <gtest/gtest.h>

#include "FileDypass.h"
#include "TestSupport.h"

using mltest::Gb;

namespace {

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
    auto msgs = mltest::Messages(e);
    ASSERT_EQ(msgs.size(), 2u);
    EXPECT_EQ(msgs[0], Gb("在数据类型转换时，数据类型指定错误！"));
    EXPECT_EQ(msgs[1], Gb("指定数据类型错误！"));
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
    auto msgs = mltest::Messages(e);
    ASSERT_EQ(msgs.size(), 3u);
    EXPECT_EQ(msgs[0], Gb("指定数据来源错误！"));
    EXPECT_EQ(msgs[1], Gb("在数据来源类型转换时，数据来源类型指定错误！"));
    EXPECT_EQ(msgs[2], Gb("指定数据来源错误！"));
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
    auto msgs = mltest::Messages(e);
    ASSERT_EQ(msgs.size(), 2u);
    EXPECT_EQ(msgs[0], Gb("指定结构类型错误！"));
    EXPECT_EQ(msgs[1], Gb("指定结构类型错误！"));
}
