#include "core/data_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <set>
#include <vector>

#include "core/database.h"
#include "core/field_cipher.h"
#include "core/text.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& ch : out) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return out;
}

MemberValues SampleMember(const std::string& company) {
    MemberValues v;
    for (size_t i = 0; i < v.size(); ++i) v[i] = "v" + std::to_string(i);
    v[mfCompanyName] = company;
    v[mfMemberID] = "shenzhen-lamps";
    v[mfLinkMan] = "王小明";
    v[mfMobile] = "";
    v[mfAddress] = "O'Brien's Road 8号";
    return v;
}

TEST(MemberColumnsTest, TableAgreesWithTheCreationStatement) {
    std::string sql(kCreateDataListSql);
    std::regex column(R"((\w+)\s+text\s+null)");
    std::vector<std::string> names;
    for (std::sregex_iterator it(sql.begin(), sql.end(), column), end; it != end; ++it)
        names.push_back((*it)[1]);
    ASSERT_EQ(names.size(), static_cast<size_t>(kMemberColumnCount));
    std::set<int> grid;
    std::set<std::string> enciphered;
    for (size_t i = 0; i < names.size(); ++i) {
        const MemberColumn& c = kMemberColumns[i];
        EXPECT_EQ(c.name, names[i]);
        EXPECT_EQ(Lower(c.insert_name), Lower(c.name));
        EXPECT_TRUE(c.grid_column == -1 || grid.insert(c.grid_column).second) << c.name;
        if (c.enciphered) enciphered.insert(std::string(c.name));
    }
    EXPECT_EQ(grid.size(), 31u);
    EXPECT_EQ(*grid.begin(), 1);
    EXPECT_EQ(*grid.rbegin(), 31);
    EXPECT_EQ(enciphered, (std::set<std::string>{"CompanyName", "MemberID", "LinkMan", "Mobile",
                                                 "Phone", "Fax", "Bank", "BankAccount"}));
    EXPECT_EQ(kMemberColumns[mfContactLink].grid_column, -1);
    EXPECT_EQ(kMemberColumns[mfBankAccount].name, "BankAccount");
}

TEST(InsertStatementTest, EnciphersTheMarkedFieldsAndQuotesEveryValue) {
    MemberValues v = SampleMember("深圳市光明灯具有限公司");
    std::string sql = BuildInsertStatement(v);
    EXPECT_EQ(sql.rfind("insert into datalist(CompanyName,memberID,memberType,goodIndex,", 0), 0u);
    EXPECT_NE(
        sql.find(",Bank,BankAccount) values('" + EncipherTextHex(v[mfCompanyName], FieldCipherKey) +
                 "','" + EncipherTextHex(v[mfMemberID], FieldCipherKey) + "','v2','v3',"),
        std::string::npos)
        << sql;
    EXPECT_NE(sql.find(",'O''Brien''s Road 8号',"), std::string::npos);
    // An empty enciphered value stays empty.
    EXPECT_NE(sql.find("'v9',''," + std::string("'") + EncipherTextHex("v11", FieldCipherKey)),
              std::string::npos)
        << sql;
    EXPECT_EQ(sql.back(), ')');
    EXPECT_EQ(sql.find("王小明"), std::string::npos);
}

class DataFileTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string path = dir.file("任务.db");
};

TEST_F(DataFileTest, NewTaskFileHoldsAnEmptyDataList) {
    ASSERT_TRUE(CreateDatabaseFile(path, false));
    ExecuteOnDatabaseFile(path, kCreateDataListSql);
    Connection c(path, DatabaseKind::DataFile);
    DataPacket info = c.Query("PRAGMA table_info(DataList)");
    ASSERT_EQ(info.rows.size(), 33u);
    EXPECT_EQ(info.Text(0, "name"), "ID");
    EXPECT_EQ(info.Text(32, "name"), "BankAccount");
    EXPECT_TRUE(c.Query("SELECT * FROM DataList").rows.empty());
    EXPECT_EQ(c.Query("PRAGMA journal_mode").Text(0, "journal_mode"), "wal");
}

TEST_F(DataFileTest, RecordsKeepOrderQuotesAndFindTheirEncipheredName) {
    ASSERT_TRUE(CreateDatabaseFile(path, false));
    ExecuteOnDatabaseFile(path, kCreateDataListSql);
    const std::string first = "深圳市光明灯具有限公司", second = "Acme Pumps Ltd.";
    ExecuteOnDatabaseFile(path, BuildInsertStatement(SampleMember(first)));
    ExecuteOnDatabaseFile(path, BuildInsertStatement(SampleMember(second)));
    ExecuteOnDatabaseFile(path, BuildInsertStatement(SampleMember(first)));

    Connection c(path, DatabaseKind::DataFile);
    DataPacket rows = c.Query("SELECT * FROM DataList ORDER BY ID");
    ASSERT_EQ(rows.rows.size(), 3u);
    EXPECT_EQ(rows.Integer(0, "ID"), 1);
    EXPECT_EQ(rows.Text(0, "companyname"), EncipherTextHex(first, FieldCipherKey));
    EXPECT_EQ(rows.Text(1, "CompanyName"), EncipherTextHex(second, FieldCipherKey));
    EXPECT_EQ(DecipherTextHex(rows.Text(0, "LinkMan"), FieldCipherKey), "王小明");
    EXPECT_EQ(rows.Text(0, "Mobile"), "");
    EXPECT_EQ(rows.Text(0, "Address"), "O'Brien's Road 8号");
    EXPECT_EQ(rows.Text(0, "SiteUrl"), "v15");

    c.Execute("update datalist set CompanyContext='简介' where CompanyName=" +
              QuotedStr(EncipherTextHex(first, FieldCipherKey)));
    EXPECT_EQ(c.Changes(), 2);
    rows = c.Query("SELECT * FROM DataList WHERE CompanyContext='简介' ORDER BY ID");
    ASSERT_EQ(rows.rows.size(), 2u);
    EXPECT_EQ(rows.Integer(0, "ID"), 1);
    EXPECT_EQ(rows.Integer(1, "ID"), 3);
}

TEST_F(DataFileTest, ExistingFilesFollowTheOverwriteRules) {
    ASSERT_TRUE(CreateDatabaseFile(path, false));
    ExecuteOnDatabaseFile(path, kCreateDataListSql);
    std::string before = test::ReadFileBytes(path);
    EXPECT_FALSE(CreateDatabaseFile(path, false));
    EXPECT_EQ(test::ReadFileBytes(path), before);

    {
        Connection held(path, DatabaseKind::DataFile);
        EXPECT_TRUE(IsHeldOpen(path));
        EXPECT_FALSE(CreateDatabaseFile(path, true));
        EXPECT_NO_THROW(held.Query("SELECT * FROM DataList"));
    }
    EXPECT_FALSE(IsHeldOpen(path));
    ASSERT_TRUE(CreateDatabaseFile(path, true));
    Connection fresh(path, DatabaseKind::DataFile);
    EXPECT_TRUE(fresh.Query("SELECT name FROM sqlite_master").rows.empty());

    fs::create_directory(dir.path() / "dir.db");
    EXPECT_FALSE(CreateDatabaseFile(dir.file("dir.db"), true));
    EXPECT_TRUE(fs::is_directory(dir.path() / "dir.db"));
}

TEST_F(DataFileTest, StaleLogOfAnEarlierFileIsNotReplayed) {
    // A killed collection leaves its write-ahead log beside a file that is then replaced.
    std::string earlier = dir.file("earlier.db");
    ASSERT_TRUE(CreateDatabaseFile(earlier, false));
    {
        Connection c(earlier, DatabaseKind::DataFile);
        c.Execute("PRAGMA wal_autocheckpoint=0");
        c.Execute(kCreateDataListSql);
        c.Execute(BuildInsertStatement(SampleMember("Old Company")));
        fs::copy_file(earlier + "-wal", path + "-wal");
    }
    ASSERT_TRUE(CreateDatabaseFile(path, true));
    EXPECT_FALSE(fs::exists(path + "-wal"));
    ExecuteOnDatabaseFile(path, kCreateDataListSql);
    Connection c(path, DatabaseKind::DataFile);
    EXPECT_TRUE(c.Query("SELECT * FROM DataList").rows.empty());
}

TEST_F(DataFileTest, FailuresRaiseAndLeaveNothingBehind) {
    std::string nowhere = dir.file("Data/t.db");
    try {
        CreateDatabaseFile(nowhere, true);
        FAIL() << "created a file in a missing directory";
    } catch (const DatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("No such file"), std::string::npos) << e.what();
    }
    EXPECT_THROW(ExecuteOnDatabaseFile(dir.file("absent.db"), kCreateDataListSql), DatabaseError);
    EXPECT_FALSE(fs::exists(dir.file("absent.db")));

    ASSERT_TRUE(CreateDatabaseFile(path, false));
    EXPECT_THROW(ExecuteOnDatabaseFile(path, "create table a (x text); drop table DataList"),
                 DatabaseError);
    EXPECT_THROW(ExecuteOnDatabaseFile(path, "select nothing from nowhere"), DatabaseError);
    Connection c(path, DatabaseKind::DataFile);
    EXPECT_TRUE(c.Query("SELECT name FROM sqlite_master").rows.empty());
}

TEST_F(DataFileTest, ReadOnlyDataDirectoryRaises) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    fs::path data = dir.path() / "Data";
    fs::create_directory(data);
    fs::permissions(data, fs::perms::owner_read | fs::perms::owner_exec);
    std::string file = (data / "t.db").string();
    try {
        CreateDatabaseFile(file, true);
        FAIL() << "created a file in a read-only directory";
    } catch (const DatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("Permission denied"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(file));
}

TEST(TaskNameTest, NamesThatWouldLeaveDataAreRefused) {
    const std::vector<std::string> refused = {
        "", ".", "..", "a/b", "../x", "/etc/passwd", std::string("a\0b", 3), std::string(245, 'n')};
    for (const std::string& bad : refused) {
        EXPECT_FALSE(IsUsableTaskName(bad)) << bad;
        EXPECT_THROW(TaskDataFilePath("/d/Data/", bad), std::invalid_argument) << bad;
    }
    EXPECT_TRUE(IsUsableTaskName(std::string(244, 'n')));
    // The limit counts bytes: 81 Chinese characters are 243 bytes, 82 are too many.
    std::string chinese;
    for (int i = 0; i < 81; ++i) chinese += "灯";
    EXPECT_TRUE(IsUsableTaskName(chinese));
    EXPECT_FALSE(IsUsableTaskName(chinese + "灯"));
    for (const char* good : {"...", ".hidden", "a..b", "灯具 (深圳)", "a\\b"})
        EXPECT_TRUE(IsUsableTaskName(good)) << good;
    EXPECT_EQ(TaskDataFilePath("/d/Data/", "灯具"), "/d/Data/灯具.db");
    EXPECT_EQ(TaskDataFilePath("/d/Data", "x"), "/d/Data/x.db");
}

TEST(TaskNameTest, TheLongestUsableNameGetsAWorkingDataFile) {
    // The side files ("-journal", "-wal", "-shm") are longer than the file's own name.
    test::TempDir dir;
    const std::string path = TaskDataFilePath(dir.path().string(), std::string(kMaxTaskNameBytes, 'n'));
    ASSERT_TRUE(CreateDatabaseFile(path, false));
    ExecuteOnDatabaseFile(path, kCreateDataListSql);
    ExecuteOnDatabaseFile(path, "INSERT INTO DataList (CompanyName) VALUES ('x')");
}

}  // namespace
}  // namespace qv
