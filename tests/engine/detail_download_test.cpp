#include <gtest/gtest.h>

#include "core/data_files.h"
#include "core/database.h"
#include "core/field_cipher.h"
#include "core/gbk.h"
#include "engine/detail_download.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_http_server.h"

namespace qv {
namespace {

class DetailDownloadTest : public ::testing::Test {
protected:
    DetailDownloadTest() {
        file = dir.file("t.db");
        CreateDatabaseFile(file, false);
        ExecuteOnDatabaseFile(file, kCreateDataListSql);
        db.emplace(file, DatabaseKind::DataFile);
        for (const char* name : {"甲公司", "乙公司", "甲公司"}) {
            MemberValues v;
            v[mfCompanyName] = name;
            v[mfIndustry] = "旧行业";
            db->Execute(BuildInsertStatement(v));
        }
        site.server().Get("/profile", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(Utf8ToGbk("<div id=\"bodyCont\"><div>a</div><div>b</div>"
                                      "<div>做灯的&nbsp;公司</div><table><tr><td>主营行业：</td>"
                                      "<td> 照明 </td><td>开户银行</td><td>工商银行</td></tr>"
                                      "</table></div>"),
                            "text/html");
        });
        site.server().Get("/plain", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(Utf8ToGbk("<html><body>留言</body></html>"), "text/html");
        });
        site.Start();
    }

    std::vector<std::string> Column(const std::string& column) {
        DataPacket p = db->Query("SELECT " + column + " FROM DataList ORDER BY ID");
        std::vector<std::string> out;
        for (size_t r = 0; r < p.rows.size(); ++r) out.push_back(p.Text(r, column));
        return out;
    }

    test::TempDir dir;
    std::string file;
    std::optional<Connection> db;
    test::TestHttpServer site;
};

TEST_F(DetailDownloadTest, WritesTheValuesIntoEveryRowOfTheCompany) {
    DetailDownloadResult r = DownloadCompanyDetail(*db, "甲公司", site.Url("/profile"));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(Utf16ToUtf8(r.values[1]), "照明");
    EXPECT_EQ(Column("Industry"), (std::vector<std::string>{"照明", "旧行业", "照明"}));
    EXPECT_EQ(Column("CompanyContext")[0], "做灯的 公司");
    EXPECT_EQ(DecipherTextHex(Column("Bank")[2], FieldCipherKey), "工商银行");
    EXPECT_EQ(Column("Bank")[1], "");
}

TEST_F(DetailDownloadTest, AFailedFetchChangesNothing) {
    DetailDownloadResult r = DownloadCompanyDetail(*db, "甲公司", site.Url("/missing"));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "抓取公司介绍网页时产生错误：连接失败");
    EXPECT_EQ(Column("Industry"), (std::vector<std::string>{"旧行业", "旧行业", "旧行业"}));
    EXPECT_FALSE(DownloadCompanyDetail(*db, "甲公司", "").ok);
}

TEST_F(DetailDownloadTest, FetchingReadsThePageWithoutWritingAndTellsWhenItFoundNothing) {
    DetailDownloadResult r = FetchCompanyDetail(site.Url("/profile"));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.Found());
    EXPECT_EQ(Utf16ToUtf8(r.values[14]), "工商银行");
    EXPECT_EQ(Column("Industry"), (std::vector<std::string>{"旧行业", "旧行业", "旧行业"}));

    DetailDownloadResult plain = FetchCompanyDetail(site.Url("/plain"));
    EXPECT_TRUE(plain.ok);
    EXPECT_FALSE(plain.Found());

    std::atomic<bool> stop{true};
    DetailDownloadResult stopped = FetchCompanyDetail(site.Url("/profile"), &stop);
    EXPECT_FALSE(stopped.ok);
    EXPECT_EQ(stopped.error, "抓取公司介绍网页时产生错误：连接失败");
}

}  // namespace
}  // namespace qv
