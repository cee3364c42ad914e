// The exports for calling and importing: contact cards read back by python3-vobject, CRM
// import files, the phone columns, and spreadsheet cells that never run as formulas.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "core/data_files.h"
#include "tests/cli/cli_runner.h"
#include "tests/export/grid_fixtures.h"
#include "tests/support/project_database.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

// Prints each card of a .vcf file as one JSON line, as vobject reads it.
constexpr const char* kReadCards = R"(
import json, sys, vobject
with open(sys.argv[1], encoding='utf-8', newline='') as f:
    text = f.read()
for card in vobject.readComponents(text):
    c = card.contents
    out = {'fn': card.fn.value, 'family': card.n.value.family, 'given': card.n.value.given,
           'tel': [[','.join(t.params.get('TYPE', [])), t.value] for t in c.get('tel', [])]}
    if 'org' in c: out['org'] = card.org.value[0]
    if 'title' in c: out['title'] = card.title.value
    if 'adr' in c:
        a = card.adr.value
        out['adr'] = [a.street, a.city, a.region, a.code, a.country]
    for key in ('uid', 'url', 'note'):
        if key in c: out[key] = c[key][0].value
    if 'categories' in c: out['categories'] = card.categories.value
    print(json.dumps(out, ensure_ascii=False))
)";

class LeadsCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(profile.data_dir + "database");
        test::MakeProjectDatabase(profile.ProjectDatabase());
        ASSERT_TRUE(CreateDatabaseFile(db, false));
        ExecuteOnDatabaseFile(db, kCreateDataListSql);
    }
    void Add(const std::map<int, std::string>& fields) {
        MemberValues v{};
        for (const auto& [field, value] : fields) v[static_cast<size_t>(field)] = value;
        ExecuteOnDatabaseFile(db, BuildInsertStatement(v));
    }
    int Cli(std::vector<std::string> args) { return test::RunCli(std::move(args), out, err, profile); }

    std::vector<nlohmann::json> ReadCards(const std::string& vcf) {
        test::WriteFileBytes(dir.file("read_cards.py"), kReadCards);
        // Debian's own interpreter, which python3-vobject installs into.
        std::string command = "/usr/bin/python3 " + dir.file("read_cards.py") + " '" + vcf + "'";
        FILE* pipe = ::popen(command.c_str(), "r");
        std::string text;
        for (int c; pipe && (c = std::fgetc(pipe)) != EOF;) text.push_back(static_cast<char>(c));
        EXPECT_EQ(pipe ? ::pclose(pipe) : -1, 0) << "python3-vobject could not read " << vcf;
        std::vector<nlohmann::json> cards;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) cards.push_back(nlohmann::json::parse(line));
        return cards;
    }

    test::TempDir dir;
    Profile profile = PortableProfile(dir.path().string());
    std::string db = dir.file("灯具.db");
    std::string out, err;
};

TEST_F(LeadsCliTest, ContactCardsReadBackWithEveryField) {
    std::string intro;
    for (int i = 0; i < 30; ++i) intro += "台灯、吊灯，落地灯;";
    Add({{mfCompanyName, "杭州西湖灯具厂"}, {mfMemberID, "hzxh2001"}, {mfLinkMan, "欧阳明"},
         {mfDuty, "销售经理"}, {mfMobile, "139-5587-5697 / 13800001111"},
         {mfPhone, "86-0571-88886666转123"}, {mfFax, "(0571)88886667"},
         {mfAddress, "浙江省杭州市西湖区文三路 1 号"}, {mfPostCode, "310012"},
         {mfSiteUrl, "http://www.hzxh.com"}, {mfIndustry, "照明"}, {mfProduct, intro}});
    Add({{mfCompanyName, "宁波灯具, 有限公司"}, {mfPhone, "暂无"}, {mfMobile, "未提供"}});

    ASSERT_EQ(Cli({"export", db, dir.file("名片.vcf")}), 0) << err;
    const std::string bytes = test::ReadFileBytes(dir.file("名片.vcf"));
    EXPECT_EQ(bytes.rfind("BEGIN:VCARD\r\nVERSION:3.0\r\n", 0), 0u);
    for (size_t at = 0; at < bytes.size();) {
        size_t end = bytes.find("\r\n", at);
        ASSERT_NE(end, std::string::npos) << "every line ends in CRLF";
        EXPECT_LE(end - at, 75u);
        at = end + 2;
    }
    const auto cards = ReadCards(dir.file("名片.vcf"));
    ASSERT_EQ(cards.size(), 2u);
    const nlohmann::json& a = cards[0];
    EXPECT_EQ(a["fn"], "欧阳明");
    EXPECT_EQ(a["family"], "欧阳");
    EXPECT_EQ(a["given"], "明");
    EXPECT_EQ(a["org"], "杭州西湖灯具厂");
    EXPECT_EQ(a["title"], "销售经理");
    EXPECT_EQ(a["tel"], nlohmann::json::parse(R"([["CELL", "+8613955875697"], ["CELL", "+8613800001111"],
        ["WORK,VOICE", "+8657188886666 ext. 123"], ["WORK,FAX", "+8657188886667"]])"));
    EXPECT_EQ(a["adr"], nlohmann::json::parse(R"(["浙江省杭州市西湖区文三路 1 号", "杭州", "浙江", "310012", "中国"])"));
    EXPECT_EQ(a["uid"], "hzxh2001");
    EXPECT_EQ(a["url"], "http://www.hzxh.com");
    EXPECT_EQ(a["note"], "主营产品或服务：" + intro + "\n主营行业：照明");
    EXPECT_EQ(a["categories"], nlohmann::json::parse(R"(["灯具"])"));
    const nlohmann::json& b = cards[1];
    EXPECT_EQ(b["fn"], "宁波灯具, 有限公司") << "no person: the company";
    EXPECT_EQ(b["org"], "宁波灯具, 有限公司");
    EXPECT_TRUE(b["tel"].empty()) << "cells without a valid number are left out";
}

TEST_F(LeadsCliTest, CrmFilesAndPhoneColumns) {
    Add({{mfCompanyName, "=HYPERLINK(\"http://x\",\"点我\")"}, {mfMemberID, "m1"}, {mfLinkMan, "王小明"},
         {mfMobile, "13955875697"}, {mfPhone, "0755-83456789"}, {mfAddress, "深圳市南山区科技园"}});
    const std::vector<std::pair<std::string, std::vector<std::string>>> presets{
        {"hubspot", {"First Name", "Last Name", "Company Name"}},
        {"Salesforce", {"First Name", "Last Name", "Company"}},
        {"zoho", {"First Name", "Last Name", "Company"}}};
    for (const auto& [crm, first_headings] : presets) {
        const std::string csv = dir.file(crm + ".csv");
        ASSERT_EQ(Cli({"export", "--crm", crm, db, csv}), 0) << err;
        auto rows = test::ReadCsv(test::ReadFileBytes(csv));
        ASSERT_EQ(rows.size(), 2u) << crm;
        EXPECT_EQ(std::vector<std::string>(rows[0].begin(), rows[0].begin() + 3), first_headings);
        EXPECT_EQ(rows[1][0], "小明");
        EXPECT_EQ(rows[1][1], "王");
        EXPECT_EQ(rows[1][2], "'=HYPERLINK(\"http://x\",\"点我\")") << "never run as a formula";
        EXPECT_EQ(rows[1][4], "+8675583456789");
        EXPECT_EQ(rows[1][5], "+8613955875697");
        EXPECT_EQ(rows[1][8], "深圳");
        EXPECT_EQ(rows[1][9], "广东");
        EXPECT_EQ(rows[1].back(), "m1");
    }
    ASSERT_EQ(Cli({"export", "--crm", "zoho", db, dir.file("zoho.xlsx")}), 0) << err;
    EXPECT_NE(test::ReadZipMember(test::ReadFileBytes(dir.file("zoho.xlsx")), "xl/worksheets/sheet1.xml")
                  .find("<t>Designation</t>"),
              std::string::npos);

    EXPECT_EQ(Cli({"export", "--crm", "pipedrive", db, dir.file("p.csv")}), 2);
    EXPECT_EQ(Cli({"export", "--crm", "zoho", db, dir.file("p.xls")}), 2);
    EXPECT_EQ(Cli({"export", "--crm", "zoho", db, dir.file("p.vcf")}), 2);
    EXPECT_FALSE(std::filesystem::exists(dir.file("p.csv")));

    ASSERT_EQ(Cli({"export", "--phone-columns", db, dir.file("phones.csv")}), 0) << err;
    auto rows = test::ReadCsv(test::ReadFileBytes(dir.file("phones.csv")));
    ASSERT_EQ(rows[0].size(), 35u);
    EXPECT_EQ(rows[0][34], "传真（国际格式）");
    EXPECT_EQ(rows[1][1], "'=HYPERLINK(\"http://x\",\"点我\")");
    EXPECT_EQ(rows[1][8], "13955875697");
    EXPECT_EQ(rows[1][32], "+8613955875697");
    EXPECT_EQ(rows[1][33], "+8675583456789");
    EXPECT_EQ(rows[1][34], "");
    ASSERT_EQ(Cli({"export", "--phone-columns", db, dir.file("phones.xls")}), 0) << err;
    EXPECT_EQ((test::ReadBiff(test::ReadFileBytes(dir.file("phones.xls"))).text[{1, 33}]), "+8675583456789");
}

TEST_F(LeadsCliTest, MergeWritesEachPresetAndExportsSayHowManyCellsWereCut) {
    std::string intro;
    for (int i = 0; i < 40000; ++i) intro += "灯";
    Add({{mfCompanyName, "甲"}, {mfMemberID, "m1"}, {mfMobile, "13955875697"}, {mfCompanyContext, intro}});
    const std::string other = dir.file("照明.db");
    ASSERT_TRUE(CreateDatabaseFile(other, false));
    ExecuteOnDatabaseFile(other, kCreateDataListSql);
    MemberValues v{};
    v[mfCompanyName] = "乙";
    ExecuteOnDatabaseFile(other, BuildInsertStatement(v));
    for (const std::string crm : {"hubspot", "salesforce", "zoho"}) {
        ASSERT_EQ(Cli({"merge", "--crm", crm, dir.file(crm + ".csv"), db, other}), 0) << err;
        auto rows = test::ReadCsv(test::ReadFileBytes(dir.file(crm + ".csv")));
        ASSERT_EQ(rows.size(), 3u) << crm;
        EXPECT_EQ(rows[0][0], "来源任务");
        EXPECT_EQ(rows[0][1], "First Name");
        EXPECT_EQ(rows[1][0], "灯具");
        EXPECT_EQ(rows[2][2], "乙") << "Last Name";
        EXPECT_EQ(rows[1][6], "+8613955875697");
    }
    EXPECT_EQ(Cli({"merge", "--crm", "pipedrive", dir.file("x.csv"), db}), 2);
    ASSERT_EQ(Cli({"merge", dir.file("名片.vcf"), db, other}), 0) << err;
    EXPECT_EQ(ReadCards(dir.file("名片.vcf")).size(), 2u);

    ASSERT_EQ(Cli({"export", db, dir.file("长.xlsx")}), 0) << err;
    EXPECT_NE(err.find("有 1 个单元格超出 .xlsx 文件单元格的长度上限（32767 个字符），已截断。"), std::string::npos) << err;
    ASSERT_EQ(Cli({"merge", dir.file("长.xls"), db, other}), 0) << err;
    EXPECT_NE(out.find("有 1 个单元格超出 .xls 文件单元格的长度上限（65527 字节）"), std::string::npos) << out;
    ASSERT_EQ(Cli({"export", db, dir.file("长.csv")}), 0) << err;
    EXPECT_EQ(err, "") << "a .csv holds any length";
}

TEST_F(LeadsCliTest, AnExportKilledMidwayLeavesNothingBeside) {
    std::string statement = "INSERT INTO DataList (CompanyName, Address, CompanyContext) VALUES ";
    for (int i = 0; i < 20000; ++i)
        statement += std::string(i ? "," : "") + "('公司" + std::to_string(i) + "', '文三路" +
                     std::to_string(i * 7919) + "号', '" + std::string(400, 'a' + i % 26) + "')";
    ExecuteOnDatabaseFile(db, statement);
    for (const std::string name : {"out.csv", "out.xlsx", "out.vcf"}) {
        const std::string target = dir.file("kill/" + name);
        std::filesystem::create_directories(dir.file("kill"));
        test::CliProcess cli({"export", db, target});
        ASSERT_TRUE(cli.started());
        // Killed once it writes: a descriptor of it points into the folder.
        bool writing = false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!writing && !cli.Exited() && std::chrono::steady_clock::now() < deadline) {
            std::error_code ec;
            for (const auto& fd : std::filesystem::directory_iterator("/proc/" + std::to_string(cli.pid()) + "/fd", ec))
                if (std::filesystem::read_symlink(fd.path(), ec).string().rfind(dir.file("kill"), 0) == 0) writing = true;
            if (!writing) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_TRUE(writing) << name << ": the export ended before it could be killed";
        cli.Signal(SIGKILL);
        cli.Wait();
        EXPECT_TRUE(std::filesystem::is_empty(dir.file("kill"))) << name;
    }
}

}  // namespace
}  // namespace qv
