#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "cli/commands.h"
#include "core/gbk.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

struct Outcome {
    int code;
    std::string out, err;
};

Outcome RunCli(std::vector<std::string> args) {
    args.insert(args.begin(), "quorvane-cli");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    std::ostringstream out, err;
    int code = cli::Run(static_cast<int>(argv.size()), argv.data(), {out, err});
    return {code, out.str(), err.str()};
}

TEST(PageCommands, ParseProfilePrintsSixteenFieldLines) {
    test::TempDir dir;
    const std::string file = dir.file("profile.html");
    test::WriteFileBytes(file, Utf8ToGbk("<div id=\"bodyCont\"><div></div><div></div><div>简介\r\n文字"
                                         "</div><table><td>主营行业</td><td>纺织</td>"
                                         "<td>银行帐号</td><td>6222</td></table></div>"));
    Outcome r = RunCli({"parse-profile", file});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "CompanyContext\t简介文字\nIndustry\t纺织\nProduct\t\nCompanyType\t\n"
              "CompanyMode\t\nRegCapital\t\nRegAddress\t\nEmployee\t\nRegDate\t\n"
              "Corporation\t\nMostlyClient\t\nTurnover\t\nDealAddress\t\nBrand\t\n"
              "Bank\t\nBankAccount\t6222\n");
}

TEST(PageCommands, ResultCountAndMissingFiles) {
    test::TempDir dir;
    const std::string file = dir.file("result.html");
    test::WriteFileBytes(file, Utf8ToGbk("<div class=\"ld_yrhere\">共<span>1,234</span>家</div>"));
    Outcome r = RunCli({"result-count", file});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "1,234\n");

    for (const char* command : {"result-count", "parse-profile"}) {
        Outcome missing = RunCli({command, dir.file("absent.html")});
        EXPECT_EQ(missing.code, 1) << command;
        EXPECT_EQ(missing.out, "");
        EXPECT_NE(missing.err.find("absent.html"), std::string::npos);
    }
    Outcome directory = RunCli({"result-count", dir.path().string()});
    EXPECT_EQ(directory.code, 1);
}

}  // namespace
}  // namespace qv
