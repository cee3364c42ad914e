#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <vector>

#include "cli/commands.h"
#include "core/data_files.h"
#include "core/database.h"
#include "core/field_cipher.h"
#include "core/text.h"
#include "tests/support/project_database.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

namespace fs = std::filesystem;


int RunMakeCategories(const std::vector<std::string>& args, std::string* err = nullptr) {
    std::vector<const char*> argv{"quorvane-cli", "make-categories"};
    for (const auto& a : args) argv.push_back(a.c_str());
    std::ostringstream out, error;
    const int code = cli::Run(static_cast<int>(argv.size()), argv.data(), {out, error});
    if (err) *err = error.str();
    return code;
}

// The whole set is made once for the tests below; it takes a second or two.
class CategoryFilesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new test::TempDir;
        test::MakeProjectDatabase(ProjectDb());
        ASSERT_EQ(RunMakeCategories({"--out", dir->file("category"), "--project", ProjectDb()}), 0);
    }
    // Made from DefaultProject.sql: the one in the build folder holds the user's tasks.
    static std::string ProjectDb() { return dir->file("DefaultProject.db"); }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
    }
    static fs::path Folder() { return dir->path() / "category"; }

    static test::TempDir* dir;
};

test::TempDir* CategoryFilesTest::dir = nullptr;

TEST_F(CategoryFilesTest, EveryCategoryHasItsFileAndTheSetStaysSmall) {
    Connection project(ProjectDb(), DatabaseKind::Project);
    DataPacket categories = project.Query("SELECT * FROM IndustryDetail ORDER BY ParentID,ID");
    ASSERT_GT(categories.rows.size(), 100u);
    std::set<std::string> expected;
    for (size_t r = 0; r < categories.rows.size(); ++r)
        expected.insert("1." + std::to_string(categories.Integer(r, "ID")) + "." +
                        Trim(categories.Text(r, "Name")) + ".db");
    std::set<std::string> made;
    std::uintmax_t bytes = 0;
    for (const auto& entry : fs::directory_iterator(Folder())) {
        made.insert(entry.path().filename().string());
        bytes += entry.file_size();
    }
    EXPECT_EQ(made, expected) << "one file per category, no leftovers";
    EXPECT_LT(bytes, 60u * 1000 * 1000);

    // In rollback-journal mode: reading one, as the directory does, creates nothing beside it.
    {
        Connection reader((Folder() / *made.begin()).string(), DatabaseKind::ReadOnly);
        EXPECT_EQ(reader.Query("PRAGMA journal_mode").Text(0, "journal_mode"), "delete");
        EXPECT_GT(reader.Query("SELECT COUNT(*) AS n FROM DataList").Integer(0, "n"), 0);
        EXPECT_THROW(reader.Execute("DELETE FROM DataList"), DatabaseError);
    }
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(Folder())) ++files;
    EXPECT_EQ(files, made.size());
}

TEST_F(CategoryFilesTest, AFileHoldsEncipheredRecordsOfItsCategoryWithMembersMixedAndWebLinks) {
    int smallest = 1 << 30, largest = 0;
    for (const auto& entry : fs::directory_iterator(Folder())) {
        Connection db(entry.path().string(), DatabaseKind::Project);
        const int n =
            static_cast<int>(db.Query("SELECT COUNT(*) AS n FROM DataList").Integer(0, "n"));
        smallest = std::min(smallest, n);
        largest = std::max(largest, n);
    }
    EXPECT_GE(smallest, 20);
    EXPECT_LE(largest, 2000);

    Connection db((Folder() / "1.605.灯具.db").string(), DatabaseKind::Project);
    // The table is exactly a task data file's: ID and the 32 columns in their order.
    DataPacket layout = db.Query("SELECT name FROM pragma_table_info('DataList') ORDER BY cid");
    ASSERT_EQ(layout.rows.size(), 33u);
    for (int c = 0; c < kMemberColumnCount; ++c)
        EXPECT_EQ(layout.Text(c + 1, "name"), kMemberColumns[c].name);

    DataPacket rows = db.Query("SELECT * FROM DataList ORDER BY ID");
    ASSERT_GE(rows.rows.size(), 20u);
    int trust_pass = 0, others = 0, in_trade = 0;
    for (size_t r = 0; r < rows.rows.size(); ++r) {
        for (const MemberColumn& column : kMemberColumns) {
            const std::string stored = rows.Text(r, column.name);
            if (!column.enciphered || stored.empty()) continue;
            EXPECT_EQ(stored.find_first_not_of("0123456789ABCDEF"), std::string::npos)
                << column.name << " is stored enciphered";
            EXPECT_NO_THROW(DecipherTextHex(stored, FieldCipherKey));
        }
        const std::string name = DecipherTextHex(rows.Text(r, "CompanyName"), FieldCipherKey);
        if (name.find("照明") != std::string::npos) ++in_trade;
        EXPECT_FALSE(DecipherTextHex(rows.Text(r, "MemberID"), FieldCipherKey).empty());
        (rows.Text(r, "MemberType") == "诚信通会员" ? trust_pass : others)++;
        for (const char* link : {"SendMsgLink", "sCmpDetail", "ContactLink"})
            EXPECT_TRUE(rows.Text(r, link).starts_with("http://")) << link;
        const std::string industry = rows.Text(r, "Industry");
        EXPECT_TRUE(industry.empty() || industry == "家居用品 | 灯具") << industry;
    }
    EXPECT_GT(trust_pass, 0);
    EXPECT_GT(others, 0);
    EXPECT_EQ(in_trade, static_cast<int>(rows.rows.size())) << "every company is of the category";
}

TEST(CategoryFilesCli, AProjectDatabaseThatCannotBeReadFails) {
    test::TempDir dir;
    std::string err;
    EXPECT_EQ(
        RunMakeCategories({"--out", dir.file("category"), "--project", dir.file("none.db")}, &err),
        1);
    EXPECT_NE(err.find("cannot read the categories"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(dir.file("category")));
}

}  // namespace
}  // namespace qv
