#include "core/data_module.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <utility>
#include <vector>

#include "core/app_info.h"
#include "core/messages.h"
#include "tests/support/project_database.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

namespace fs = std::filesystem;


class RecordingSink : public MessageSink {
public:
    void ShowErrorDetail(const std::string& message, const std::string& detail) override {
        shown.push_back({message, detail});
    }
    void ShowError(const std::string& message) override { shown.push_back({message, ""}); }
    void ShowWarning(const std::string& message) override { shown.push_back({message, ""}); }
    void ShowInfo(const std::string& message) override { shown.push_back({message, ""}); }
    bool AskConfirm(const std::string& message) override { return false; }
    void RequestApplicationEnd() override { ++end_requests; }

    std::vector<std::pair<std::string, std::string>> shown;
    int end_requests = 0;
};

constexpr const char* kConnectFailed = "数据库连接失败，程序将自动关闭。";
constexpr const char* kCannotConnect = "无法连接到数据库。";

// A program directory of its own in a temporary folder, started up with a recording sink.
class DataModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_sink = SetMessageSink(sink);
        ClearEndRequest();
        fs::create_directories(dir.path() / "database");
    }
    void TearDown() override {
        TSysInitialization::ShutDown();
        SetMessageSink(previous_sink);
        ClearEndRequest();
    }
    void InstallProjectDb() { test::MakeProjectDatabase(ProjectDb()); }
    fs::path ProjectDb() const { return dir.path() / "database" / "DefaultProject.db"; }
    void StartUp() { TSysInitialization::StartUp(dir.path().string()); }
    size_t TaskCount() { return MiddleObj->QueryRecords("SELECT * FROM Tasks")->rows.size(); }

    test::TempDir dir;
    std::shared_ptr<RecordingSink> sink = std::make_shared<RecordingSink>();
    std::shared_ptr<MessageSink> previous_sink;
};

TEST_F(DataModuleTest, StartUpSetsThePathsAndConnectsOnce) {
    InstallProjectDb();
    StartUp();
    std::string root = dir.path().string() + "/";
    EXPECT_EQ(AppInfo->ProgramDir, root);
    EXPECT_EQ(AppInfo->ProjectConnStr, root + "database/DefaultProject.db");
    EXPECT_EQ(AppInfo->SettingsFile, root + "config.ini");
    EXPECT_EQ(AppInfo->DataDir, root + "Data/");
    EXPECT_EQ(AppInfo->CategoryDir, root + "category/");
    EXPECT_TRUE(GetDmPublic().Connected());
    for (int i = 0; i < 1000; ++i)
        ASSERT_TRUE(MiddleObj->QueryRecords("SELECT * FROM Tasks ORDER BY ID").has_value());
    EXPECT_EQ(GetDmPublic().OpenCount(), 1);
    EXPECT_TRUE(sink->shown.empty());
    EXPECT_FALSE(ApplicationEndRequested());
    // Start-up makes no directories.
    EXPECT_FALSE(fs::exists(dir.path() / "Data"));
}

TEST_F(DataModuleTest, ShutDownFreesEverythingAndGetDmPublicRebuilds) {
    InstallProjectDb();
    StartUp();
    TSysInitialization::ShutDown();
    EXPECT_EQ(dmPublic, nullptr);
    EXPECT_EQ(MiddleObj, nullptr);
    EXPECT_EQ(AppInfo, nullptr);
    EXPECT_FALSE(IsPathOpen(ProjectDb().string()));

    StartUp();
    dmPublic.reset();
    EXPECT_TRUE(GetDmPublic().Connected());
    EXPECT_NE(dmPublic, nullptr);
}

TEST_F(DataModuleTest, FacadeStatementsAndTheirFailures) {
    InstallProjectDb();
    StartUp();
    MiddleObj->ExecuteSQL(
        "INSERT INTO Tasks(TaskName,Province,City,BiztypeName,EstablishedYearName,"
        "CategoryLargeName,onlyAliMember,onlyOnlineMember,searchURL,Remark) "
        "VALUES('灯具','广东','深圳','','','',1,0,'http://x/search','it''s')");
    auto found = MiddleObj->QueryRecords("SELECT * FROM Tasks WHERE TaskName='灯具'");
    ASSERT_TRUE(found && found->rows.size() == 1);
    EXPECT_EQ(found->Text(0, "remark"), "it's");
    EXPECT_EQ(found->Integer(0, "onlyAliMember"), 1);

    const std::string rejected = "INSERT INTO Tasks(TaskName,NoSuchColumn) VALUES('a','b')";
    try {
        MiddleObj->ExecuteSQL(rejected);
        FAIL() << "a rejected insert raised nothing";
    } catch (const DatabaseError& e) {
        EXPECT_EQ(std::string(e.what()), rejected);
    }
    const std::string two = "DELETE FROM Tasks; DROP TABLE Tasks";
    try {
        MiddleObj->ExecuteSQL(two);
        FAIL() << "two statements ran";
    } catch (const DatabaseError& e) {
        EXPECT_EQ(std::string(e.what()), two);
    }
    EXPECT_EQ(TaskCount(), 1u);

    EXPECT_EQ(MiddleObj->QueryRecords("SELECT * FROM NoSuchTable"), std::nullopt);
    EXPECT_TRUE(sink->shown.empty());
    EXPECT_TRUE(GetDmPublic().Connected());
}

TEST_F(DataModuleTest, TaskNumbersAndNames) {
    InstallProjectDb();
    StartUp();
    MiddleObj->ExecuteSQL("INSERT INTO Tasks(TaskName,searchURL) VALUES('Lamps','u1')");
    MiddleObj->ExecuteSQL("INSERT INTO Tasks(TaskName,searchURL) VALUES('Pumps','u2')");
    auto tasks = MiddleObj->QueryRecords("SELECT * FROM Tasks ORDER BY ID");
    ASSERT_EQ(tasks->rows.size(), 2u);
    long long last = tasks->Integer(1, "ID");
    EXPECT_LT(tasks->Integer(0, "ID"), last);
    // Names compare without regard to case, as the duplicate check expects.
    EXPECT_EQ(MiddleObj->QueryRecords("SELECT * FROM Tasks WHERE TaskName='LAMPS'")->rows.size(),
              1u);
    // A deleted task's number is not given to the next task.
    MiddleObj->ExecuteSQL("DELETE FROM Tasks WHERE ID=" + std::to_string(last));
    MiddleObj->ExecuteSQL("INSERT INTO Tasks(TaskName,searchURL) VALUES('Valves','u3')");
    tasks = MiddleObj->QueryRecords("SELECT * FROM Tasks ORDER BY ID");
    EXPECT_GT(tasks->Integer(1, "ID"), last);
    // searchURL holds long addresses whole.
    std::string url = "http://host/search/company_search.htm?" + std::string(2000, 'k');
    MiddleObj->ExecuteSQL("INSERT INTO Tasks(TaskName,searchURL) VALUES('Long','" + url + "')");
    EXPECT_EQ(
        MiddleObj->QueryRecords("SELECT * FROM Tasks WHERE TaskName='Long'")->Text(0, "searchURL"),
        url);
}

TEST_F(DataModuleTest, MissingProjectDatabaseEndsTheProgramAndReconnectsLater) {
    StartUp();
    ASSERT_EQ(sink->shown.size(), 1u);
    EXPECT_EQ(sink->shown[0].first, kConnectFailed);
    // The detail is the engine's own text for this file.
    std::string engine_text;
    try {
        Connection c(ProjectDb().string(), DatabaseKind::Project);
    } catch (const DatabaseError& e) {
        engine_text = e.what();
    }
    EXPECT_EQ(sink->shown[0].second, engine_text);
    EXPECT_NE(engine_text.find("unable to open"), std::string::npos) << engine_text;
    EXPECT_EQ(sink->end_requests, 1);
    EXPECT_TRUE(ApplicationEndRequested());
    EXPECT_EQ(AppInfo->DataDir, dir.path().string() + "/Data/");
    EXPECT_FALSE(fs::exists(ProjectDb()));

    // Until the end takes effect, every operation tries again and says so twice.
    sink->shown.clear();
    EXPECT_EQ(MiddleObj->QueryRecords("SELECT * FROM Tasks"), std::nullopt);
    EXPECT_NO_THROW(MiddleObj->ExecuteSQL("DELETE FROM Tasks WHERE ID=1"));
    ASSERT_EQ(sink->shown.size(), 4u);
    EXPECT_EQ(sink->shown[0].first, kConnectFailed);
    EXPECT_EQ(sink->shown[1].first, kCannotConnect);
    EXPECT_EQ(sink->shown[2].first, kConnectFailed);
    EXPECT_EQ(sink->shown[3].first, kCannotConnect);
    EXPECT_FALSE(fs::exists(ProjectDb()));

    InstallProjectDb();
    sink->shown.clear();
    EXPECT_TRUE(MiddleObj->QueryRecords("SELECT * FROM Tasks").has_value());
    EXPECT_TRUE(sink->shown.empty());
    EXPECT_EQ(GetDmPublic().OpenCount(), 1);
}

TEST_F(DataModuleTest, UnreadableProjectDatabaseIsAFailedConnection) {
    test::WriteFileBytes(ProjectDb(), std::string(8192, '\x7f'));
    StartUp();
    ASSERT_FALSE(sink->shown.empty());
    EXPECT_EQ(sink->shown[0].first, kConnectFailed);
    EXPECT_NE(sink->shown[0].second.find("not a database"), std::string::npos);
    EXPECT_FALSE(GetDmPublic().Connected());
    EXPECT_TRUE(ApplicationEndRequested());
}

// The reference data of DefaultProject.sql, from which the build makes database/DefaultProject.db.
class ProjectDatabaseTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string file = MadeProjectDb(dir);
    Connection db{file, DatabaseKind::Project};

    static std::string MadeProjectDb(const test::TempDir& d) {
        test::MakeProjectDatabase(d.path() / "DefaultProject.db");
        return d.file("DefaultProject.db");
    }
};

TEST_F(ProjectDatabaseTest, LocationsCoverEveryProvinceWithItsCities) {
    DataPacket provinces = db.Query("SELECT * FROM LocationList WHERE ParentID=0 ORDER BY FID");
    ASSERT_EQ(provinces.rows.size(), 34u);
    std::set<std::string> names;
    size_t cities_total = 0;
    for (size_t i = 0; i < provinces.rows.size(); ++i) {
        names.insert(provinces.Text(i, "LocationName"));
        DataPacket cities =
            db.Query("SELECT * FROM LocationList WHERE ParentID=" + provinces.Text(i, "FID") +
                     " ORDER BY FID");
        EXPECT_FALSE(cities.rows.empty()) << provinces.Text(i, "LocationName");
        cities_total += cities.rows.size();
    }
    EXPECT_EQ(names.size(), 34u);
    EXPECT_GE(cities_total, 333u);
    for (const char* name : {"北京", "上海", "广东", "内蒙古", "新疆", "香港", "台湾"})
        EXPECT_TRUE(names.count(name)) << name;
    DataPacket guangdong = db.Query(
        "SELECT c.LocationName FROM LocationList c JOIN LocationList p ON c.ParentID=p.FID "
        "WHERE p.LocationName='广东' ORDER BY c.FID");
    ASSERT_EQ(guangdong.rows.size(), 21u);
    EXPECT_EQ(guangdong.Text(0, "LocationName"), "广州");
    EXPECT_EQ(guangdong.Text(2, "LocationName"), "深圳");
}

TEST_F(ProjectDatabaseTest, IndustryGroupsHoldCategoriesWithAddresses) {
    DataPacket groups = db.Query("SELECT * FROM Industry ORDER BY ID");
    EXPECT_GE(groups.rows.size(), 18u);
    EXPECT_LE(groups.rows.size(), 25u);
    for (size_t i = 0; i < groups.rows.size(); ++i) {
        DataPacket details = db.Query(
            "SELECT * FROM IndustryDetail WHERE ParentID=" + groups.Text(i, "ID") + " ORDER BY ID");
        EXPECT_GE(details.rows.size(), 5u) << groups.Text(i, "Name");
        EXPECT_LE(details.rows.size(), 15u) << groups.Text(i, "Name");
        for (size_t r = 0; r < details.rows.size(); ++r) {
            EXPECT_NE(details.Text(r, "URL").find("/category/" + details.Text(r, "ID") + ".html"),
                      std::string::npos);
            // The name is part of a file name.
            EXPECT_EQ(details.Text(r, "Name").find('/'), std::string::npos);
        }
    }
    EXPECT_TRUE(db.Query("SELECT * FROM IndustryDetail WHERE ParentID NOT IN "
                         "(SELECT ID FROM Industry)")
                    .rows.empty());
    EXPECT_TRUE(db.Query("SELECT * FROM Tasks").rows.empty());
}

}  // namespace
}  // namespace qv
