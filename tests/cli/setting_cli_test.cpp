#include <gtest/gtest.h>

#include <sys/stat.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "core/gbk.h"
#include "core/ini_file.h"
#include "tests/support/temp_dir.h"

namespace qv::cli {
namespace {

int RunCli(std::vector<std::string> args, std::string* out = nullptr) {
    args.insert(args.begin(), "quorvane-cli");
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    std::ostringstream o, e;
    int code = Run(static_cast<int>(argv.size()), argv.data(), Streams{o, e});
    if (out) *out = o.str();
    return code;
}

TEST(SettingCli, WritesAndReadsAValueInTheGbkFile) {
    test::TempDir dir;
    std::string file = dir.file("config.ini");
    std::string out;
    EXPECT_EQ(RunCli({"setting", "--file", file, "Options", "SearchHost"}, &out), 0);
    EXPECT_EQ(out, "\n") << "a missing file reads as empty";
    EXPECT_EQ(RunCli({"setting", "--file", file, "Searchs", "1", "灯具"}), 0);
    EXPECT_EQ(RunCli({"setting", "--file", file, "Searchs", "1"}, &out), 0);
    EXPECT_EQ(out, "灯具\n");
    EXPECT_NE(test::ReadFileBytes(file).find(Utf8ToGbk("灯具")), std::string::npos);
    // The first setting of a new profile makes its folders.
    EXPECT_EQ(RunCli({"setting", "--file", dir.file("no/such/dir/config.ini"), "A", "b", "c"}), 0);
    EXPECT_EQ(TIniFileEx::ReadString(dir.file("no/such/dir/config.ini"), "A", "b", ""), "c");
}

TEST(SettingCli, AFifoNamedLikeTheFileDoesNotHangTheCommand) {
    test::TempDir dir;
    std::string file = dir.file("config.ini");
    ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0);
    std::string out;
    EXPECT_EQ(RunCli({"setting", "--file", file, "Options", "SearchHost"}, &out), 0);
    EXPECT_EQ(out, "\n");
    EXPECT_EQ(RunCli({"setting", "--file", file, "Options", "SearchHost", "x"}), 1);
}

}  // namespace
}  // namespace qv::cli
