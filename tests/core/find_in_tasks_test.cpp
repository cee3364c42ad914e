#include "core/find_in_tasks.h"

#include <gtest/gtest.h>

#include "core/database.h"
#include "core/field_cipher.h"
#include "tests/support/member_files.h"
#include "tests/support/temp_dir.h"

namespace qv::test {
namespace {

struct Found {
    std::string task;
    std::int64_t id;
    int column;
    std::string company;
};

class FindInTasksTest : public ::testing::Test {
protected:
    void SetUp() override {
        tasks = {Task("灯具", {Member("杭州西湖灯具厂", "lamp01", {{mfLinkMan, "王小明"}, {mfMobile, "13900001111"}}),
                               Member("宁波照明公司", "", {{mfFax, "0574-87654321"}, {mfAddress, "宁波市江北区"}})}),
                 Task("灯饰", {Member("上海灯饰", "deco", {{mfPhone, "021-55556666"}, {mfProduct, "吸顶灯、台灯"}}),
                               Member("广州王氏", "wang", {{mfPhone, "020-13900001111"}})})};
    }
    TaskFile Task(const std::string& name, const std::vector<MemberValues>& records) {
        TaskFile task{name, dir.file(name + ".db")};
        MakeDataFile(task.path, records);
        return task;
    }
    std::vector<Found> Find(const std::string& text, std::vector<std::string> fields = {}) {
        FindQuery query{text, {}};
        for (const auto& f : fields) query.fields.push_back(FindFieldIndex(f).value());
        std::vector<Found> found;
        FindReport report;
        report.hit = [&](size_t task, FindHit&& hit) {
            found.push_back({tasks[task].name, hit.id, hit.grid_column, hit.record[mfCompanyName]});
        };
        report.failed = [&](size_t task, const std::string& reason) {
            ADD_FAILURE() << tasks[task].name << ": " << reason;
        };
        EXPECT_TRUE(FindInTasks(tasks, query, report));
        return found;
    }

    TempDir dir;
    std::vector<TaskFile> tasks;
};

TEST_F(FindInTasksTest, EachFieldSearchesItsColumnsAsShownWithEncipheredOnesDeciphered) {
    ASSERT_EQ(FindFields().size(), 6u);
    EXPECT_EQ(FindFields()[2].name, "电话");
    EXPECT_FALSE(FindFieldIndex("传真").has_value()) << "fax is searched as 电话";

    // The stored phone is cipher text; the search finds it through what the grid shows.
    std::vector<Found> phone = Find("13900001111", {"电话"});
    ASSERT_EQ(phone.size(), 2u);
    EXPECT_EQ(phone[0].task, "灯具");
    EXPECT_EQ(phone[0].id, 1);
    EXPECT_EQ(phone[0].column, 8) << "移动电话";
    EXPECT_EQ(phone[1].task, "灯饰");
    EXPECT_EQ(phone[1].id, 2);
    EXPECT_EQ(phone[1].column, 9) << "电话";
    EXPECT_EQ(Find("0574-876", {"电话"}).size(), 1u) << "a fax number";

    EXPECT_EQ(Find("王", {"联系人"}).size(), 1u);
    EXPECT_EQ(Find("王", {"公司名称"}).size(), 1u);
    EXPECT_EQ(Find("王", {"公司名称", "联系人"}).size(), 2u);
    EXPECT_EQ(Find("王").size(), 2u) << "every field when none is named";
    EXPECT_EQ(Find("台灯", {"经营产品"}).size(), 1u);
    EXPECT_EQ(Find("江北", {"地址"}).size(), 1u);
    EXPECT_EQ(Find("lamp", {"会员帐号"}).size(), 1u);
    EXPECT_TRUE(Find("LAMP", {"会员帐号"}).empty()) << "case-sensitive, as the directory search";
    EXPECT_TRUE(Find("灯具", {"联系人"}).empty());

    std::vector<Found> all = Find("灯");
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].company, "杭州西湖灯具厂") << "the whole record comes with the hit";
    EXPECT_EQ(all[1].company, "上海灯饰");
    EXPECT_EQ(all[1].column, 1) << "the first column that holds it, not 经营产品";
}

TEST_F(FindInTasksTest, ReportsComeInTaskOrderAnUnreadableFileIsNamedAndAStopEndsTheSearch) {
    TaskFile broken{"坏", dir.file("坏.db")};
    WriteFileBytes(broken.path, std::string(4096, 'x'));
    TaskFile missing{"没有", dir.file("没有.db")};
    tasks.insert(tasks.begin() + 1, broken);
    tasks.push_back(missing);
    for (int i = 0; i < 6; ++i)
        tasks.push_back(Task("批" + std::to_string(i), {Member("灯" + std::to_string(i), "")}));

    std::vector<std::string> events;
    FindReport report;
    report.hit = [&](size_t task, FindHit&& hit) {
        events.push_back("hit " + tasks[task].name + " " + std::to_string(hit.id));
    };
    report.failed = [&](size_t task, const std::string&) { events.push_back("failed " + tasks[task].name); };
    report.done = [&](size_t task) { events.push_back("done " + tasks[task].name); };
    ASSERT_TRUE(FindInTasks(tasks, {"灯", {0}}, report, nullptr, 3));
    std::vector<std::string> expected{"hit 灯具 1", "done 灯具", "failed 坏", "done 坏",
                                      "hit 灯饰 1", "done 灯饰", "failed 没有", "done 没有"};
    for (int i = 0; i < 6; ++i) {
        expected.push_back("hit 批" + std::to_string(i) + " 1");
        expected.push_back("done 批" + std::to_string(i));
    }
    EXPECT_EQ(events, expected);

    // A stop asked for from the first hit: nothing is reported after it.
    std::atomic<bool> stop{false};
    events.clear();
    report.hit = [&](size_t task, FindHit&&) {
        events.push_back("hit " + tasks[task].name);
        stop = true;
    };
    EXPECT_FALSE(FindInTasks(tasks, {"灯", {0}}, report, &stop, 3));
    EXPECT_EQ(events, std::vector<std::string>{"hit 灯具"});
}

TEST(FindInDataFile, ManyHitsComeInIdOrderWhateverTheirNumber) {
    TempDir dir;
    std::string path = dir.file("多.db");
    MakeDataFile(path, {});
    // More hits than a task holds back while earlier tasks are reported.
    ExecuteOnDatabaseFile(path,
                          "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 9000) "
                          "INSERT INTO DataList (Address) SELECT '路' || i FROM n");
    std::vector<TaskFile> tasks{{"多", path}, {"又", path}};
    std::vector<std::pair<size_t, std::int64_t>> hits, expected;
    for (size_t task : {0, 1})
        for (std::int64_t id = 1; id <= 9000; ++id) expected.emplace_back(task, id);
    FindReport report;
    report.hit = [&](size_t task, FindHit&& hit) { hits.emplace_back(task, hit.id); };
    EXPECT_TRUE(FindInTasks(tasks, {"路", {}}, report, nullptr, 2));
    EXPECT_EQ(hits, expected);
}

}  // namespace
}  // namespace qv::test
