#include "status.h"

#include <gtest/gtest.h>

using namespace rfid;

TEST(StatusTexts, TableLookups) {
    EXPECT_EQ(falsereason("83"), "卡不存在....");
    EXPECT_EQ(falsereason("8F"), "读写设备接收到了未定义的命令.....");
    EXPECT_EQ(falsereason("89"), "The parameter of the command or the Format of the command Erro...");
    EXPECT_EQ(falsereason("92"), "在命令的FLAG参数中，不支持OPTION 模式....");
    EXPECT_EQ(falsereason("10"), "输入的参数大于最大允许范围，溢出.....");
    EXPECT_EQ(falsereason("96"), "写操作不成功....");
    // Codes compare as whole texts, case and length included.
    for (const char* code : {"", "00", "01", "11", "86", "88", "8D", "8E", "97", "FF", "8a", "8", "830"})
        EXPECT_EQ(falsereason(QLatin1String(code)), QString()) << code;
}
