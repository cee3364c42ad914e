#include <gtest/gtest.h>

#include <sstream>

#include "cli/commands.h"

namespace qv {
namespace {

int Cli(std::vector<std::string> args, std::string& out) {
    std::vector<const char*> argv{"quorvane-cli", "search-url"};
    for (auto& a : args) argv.push_back(a.c_str());
    std::ostringstream o, e;
    int code = cli::Run(static_cast<int>(argv.size()), argv.data(), {o, e});
    out = o.str();
    return code;
}

TEST(SearchUrlCommand, PrintsKeywordAndCategoryUrls) {
    std::string out;
    ASSERT_EQ(Cli({"--host", "http://h:1", "--keyword", "手机", "--province", "广东", "--trustpass",
                   "--biztype", "生产型", "--year", "超过1年"},
                  out),
              0);
    EXPECT_EQ(out.rfind("http://h:1/search/company_search.htm?filt=y&categoryId=0&", 0), 0u);
    EXPECT_NE(out.find("&memberlevel=pm&province=%B9%E3%B6%AB&city=&biztype=1&"), std::string::npos);
    EXPECT_NE(out.find("&keywords=%CA%D6%BB%FA\n"), std::string::npos);
    ASSERT_EQ(Cli({"--host", "http://h:1", "--category", "玩具"}, out), 0);
    EXPECT_NE(out.find("categoryId=1813&"), std::string::npos);
}

TEST(SearchUrlCommand, UsageErrorsExitTwo) {
    std::string out;
    EXPECT_EQ(Cli({"--keyword", "a", "--biztype", "批发型"}, out), 2);
    EXPECT_EQ(Cli({"--keyword", "a", "--year", "十年"}, out), 2);
    EXPECT_EQ(Cli({"--category", "不存在"}, out), 2);
    EXPECT_EQ(Cli({"--keyword", "a", "--category", "玩具"}, out), 2);
    EXPECT_EQ(Cli({"--keyword", "   "}, out), 2);
    EXPECT_EQ(Cli({}, out), 2);
    EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace qv
