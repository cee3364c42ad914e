// What a refresh run shows and keeps, through the scheduler as the window runs it: only the
// companies new to the file arrive as rows, the stored ones are updated in place, and the
// profile fields a run without detail did not read stay as they were.
#include <gtest/gtest.h>

#include <set>

#include "core/change_log.h"
#include "core/database.h"
#include "sim/site_server.h"
#include "tests/support/scheduled_crawl.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

SiteOptions Site() {
    SiteOptions o;
    o.seed = 3;
    o.companies = 45;
    return o;
}

TEST(RefreshRun, OnlyNewCompaniesArriveAsRowsAndUnreadProfileFieldsStay) {
    for (int connections : {1, 4}) {
        SCOPED_TRACE(connections);
        test::TempDir dir;
        SiteServer site(Site());
        const std::string file = test::NewDataFile(dir.path().string(), "任务");
        const std::string url = site.SearchUrl("灯具");
        test::CrawlSettings full;
        full.detail = true;
        full.connections = connections;
        ASSERT_EQ(test::RunTask(url, file, full).result_code, 0);
        std::set<int> before;
        for (const SimCompany& c : site.CompaniesFor("灯具")) before.insert(c.index);

        site.SetWeek(1);
        test::CrawlSettings refresh;
        refresh.kind = RunKind::Refresh;
        refresh.connections = connections;  // detail off: no profile page is read
        const test::ScheduledRun run = test::RunTask(url, file, refresh);
        ASSERT_EQ(run.result_code, 0);
        std::set<std::string> shown, added;
        for (const std::string& line : run.log)
            if (line.starts_with("row ")) shown.insert(line.substr(4));
        for (const SimCompany& c : site.CompaniesFor("灯具"))
            if (!before.contains(c.index)) added.insert(c.values[mfMemberID]);
        EXPECT_FALSE(added.empty());
        EXPECT_EQ(shown, added);

        Connection db(file, DatabaseKind::ReadOnly);
        const RunRecord last = *LastRun(db);
        EXPECT_EQ(last.added, static_cast<long long>(added.size()));
        for (const ChangeRecord& c : ReadChanges(db, last.id)) {
            int field = -1;
            for (int f = 0; f < kMemberColumnCount; ++f)
                if (kMemberColumns[f].name == c.field) field = f;
            EXPECT_TRUE(field < mfCompanyContext) << "a profile field changed without being read: " << c.field;
        }
        // The stored profile of a kept company is the one its first crawl read.
        // (week 0 lists the companies in number order, so a kept one's ID is its number + 1)
        int kept = -1;
        for (const SimCompany& c : site.CompaniesFor("灯具"))
            if (kept < 0 && before.contains(c.index)) kept = c.index;
        ASSERT_GE(kept, 0);
        const std::string industry =
            db.Query("SELECT Industry FROM DataList WHERE ID=" + std::to_string(kept + 1)).Text(0, "Industry");
        EXPECT_FALSE(industry.empty());
    }
}

}  // namespace
}  // namespace qv
