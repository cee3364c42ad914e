#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

#include "cli/commands.h"
#include "core/data_files.h"
#include "core/database.h"
#include "core/field_cipher.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

struct Result {
    int code;
    std::string out, err;
};

Result RunDump(const std::vector<std::string>& args) {
    std::vector<const char*> argv{"quorvane-cli", "dump"};
    for (const auto& a : args) argv.push_back(a.c_str());
    std::ostringstream out, err;
    int code = cli::Run(static_cast<int>(argv.size()), argv.data(), {out, err});
    return {code, out.str(), err.str()};
}

std::vector<nlohmann::ordered_json> Lines(const std::string& out) {
    std::vector<nlohmann::ordered_json> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(nlohmann::ordered_json::parse(line));
    return lines;
}

class DumpCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CreateDatabaseFile(path, false));
        ExecuteOnDatabaseFile(path, kCreateDataListSql);
    }
    test::TempDir dir;
    std::string path = dir.file("灯具.db");
};

TEST_F(DumpCliTest, PrintsEveryRowInIdOrderWithPlainValues) {
    MemberValues first;
    first[mfCompanyName] = "深圳市光明灯具有限公司";
    first[mfLinkMan] = "王小明";
    first[mfAddress] = "O'Brien 路 8号";
    first[mfBankAccount] = "6222 0000 1111";
    MemberValues second;
    second[mfCompanyName] = "Acme \"Pumps\"";
    ExecuteOnDatabaseFile(path, BuildInsertStatement(first));
    ExecuteOnDatabaseFile(path, BuildInsertStatement(second));
    // A row written by another tool, with NULL cells.
    ExecuteOnDatabaseFile(path, "insert into datalist(MemberType) values('诚信通会员')");

    Result r = RunDump({path});
    ASSERT_EQ(r.code, 0) << r.err;
    auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 3u);
    ASSERT_EQ(lines[0].size(), 33u);
    EXPECT_EQ(lines[0].begin().key(), "ID");
    size_t i = 0;
    for (auto it = std::next(lines[0].begin()); it != lines[0].end(); ++it, ++i)
        EXPECT_EQ(it.key(), kMemberColumns[i].name);
    EXPECT_EQ(lines[0]["ID"], 1);
    EXPECT_EQ(lines[0]["CompanyName"], "深圳市光明灯具有限公司");
    EXPECT_EQ(lines[0]["LinkMan"], "王小明");
    EXPECT_EQ(lines[0]["BankAccount"], "6222 0000 1111");
    EXPECT_EQ(lines[0]["Address"], "O'Brien 路 8号");
    EXPECT_EQ(lines[0]["Mobile"], "");
    EXPECT_EQ(lines[1]["ID"], 2);
    EXPECT_EQ(lines[1]["CompanyName"], "Acme \"Pumps\"");
    EXPECT_EQ(lines[2]["CompanyName"], "");
    EXPECT_EQ(lines[2]["MemberType"], "诚信通会员");
}

TEST_F(DumpCliTest, DamagedCellsAreShownAsStored) {
    ExecuteOnDatabaseFile(path, "insert into datalist(CompanyName,Phone,Address) values('" +
                                    EncipherTextHex("Good Co", FieldCipherKey) +
                                    "','not hex','\xff\xfe bytes')");
    Result r = RunDump({path});
    ASSERT_EQ(r.code, 0) << r.err;
    auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["CompanyName"], "Good Co");
    EXPECT_EQ(lines[0]["Phone"], "not hex");
    // Bytes that are not UTF-8 do not stop the line from being written.
    EXPECT_NE(lines[0]["Address"].get<std::string>().find("bytes"), std::string::npos);
}

TEST_F(DumpCliTest, AnythingButADataFileFails) {
    std::string missing = dir.file("missing.db");
    std::string text = dir.file("notes.db");
    test::WriteFileBytes(text, std::string(2048, 'n'));
    std::string other = dir.file("other.db");
    ASSERT_TRUE(CreateDatabaseFile(other, false));
    for (const auto& file : {missing, text, other}) {
        Result r = RunDump({file});
        EXPECT_EQ(r.code, 1) << file;
        EXPECT_TRUE(r.out.empty());
        EXPECT_NE(r.err.find(file), std::string::npos) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_EQ(RunDump({}).code, 2);
}

TEST_F(DumpCliTest, LeavesTheJournalModeOfTheFileAlone) {
    {
        Connection c(path, DatabaseKind::Project);
        c.Query("PRAGMA journal_mode=DELETE");
    }
    ASSERT_EQ(RunDump({path}).code, 0);
    Connection c(path, DatabaseKind::Project);
    EXPECT_EQ(c.Query("PRAGMA journal_mode").Text(0, "journal_mode"), "delete");
}

}  // namespace
}  // namespace qv
