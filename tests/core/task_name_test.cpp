#include "core/task_name.h"

#include <gtest/gtest.h>

#include <string>

#include "core/data_files.h"

namespace qv {
namespace {

TEST(TaskNameFaultTest, NamesTheCharacterThatCannotBeInAFileName) {
    EXPECT_EQ(TaskNameFault("灯具/测试"), "任务名称不能包含字符“/”：它不能用作文件名。");
    EXPECT_EQ(TaskNameFault(std::string("a\0b", 3)), "任务名称不能包含空字符（U+0000）。");
    EXPECT_EQ(TaskNameFault("."), "任务名称不能是“.”：它不能用作文件名。");
    EXPECT_EQ(TaskNameFault(".."), "任务名称不能是“..”：它不能用作文件名。");
    EXPECT_EQ(TaskNameFault("a\nb"), "任务名称不能包含控制字符（U+000A）。");
    EXPECT_EQ(TaskNameFault("a\x7f"), "任务名称不能包含控制字符（U+007F）。");
    EXPECT_EQ(TaskNameFault("a\xc2\x85"), "任务名称不能包含控制字符（U+0085）。");
    EXPECT_EQ(TaskNameFault("a\xff"), "任务名称包含无效的字符。");
    EXPECT_EQ(TaskNameFault("\xe5\xae"), "任务名称包含无效的字符。") << "a character cut short";
    EXPECT_EQ(TaskNameFault(" 灯具"), "任务名称的开头和结尾不能是空格。");
    EXPECT_EQ(TaskNameFault("灯具\u3000"), "任务名称的开头和结尾不能是空格。");
    EXPECT_EQ(TaskNameFault(""), "任务名称不能为空。");
    EXPECT_EQ(TaskNameFault(std::string(kMaxTaskNameBytes + 1, 'n')),
              "任务名称太长，最多 244 个字节（81 个汉字）。");
}

TEST(TaskNameFaultTest, OrdinaryNamesPassAndEveryPassingNameIsAUsableFileName) {
    for (const char* good : {"灯具", "...", ".hidden", "a..b", "灯具 (深圳)", "a\\b", "灯具's 2", "LED 灯　具"}) {
        EXPECT_EQ(TaskNameFault(good), "") << good;
        EXPECT_TRUE(IsUsableTaskName(good)) << good;
    }
    EXPECT_EQ(TaskNameFault(std::string(kMaxTaskNameBytes, 'n')), "");
}

}  // namespace
}  // namespace qv
