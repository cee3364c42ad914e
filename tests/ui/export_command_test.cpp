#include "widgets/export_command.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QAction>
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressDialog>
#include <filesystem>

#include "core/data_files.h"
#include "core/database.h"
#include "tasks/data_grid_menu.h"
#include "tasks/task_commands.h"
#include "tasks/task_pages.h"
#include "tests/export/grid_fixtures.h"
#include "tests/ui/gui_fixture.h"
#include "ui/main_window.h"
#include "widgets/member_grid.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

class ExportCommandTest : public MainWindowFixture {
protected:
    explicit ExportCommandTest(SiteOptions options = DefaultSite()) : MainWindowFixture(options) {}

    // Opens a viewing page of a task whose file holds `records` companies.
    void ViewTask(const std::string& name, int records) {
        InsertTask(name, site.SearchUrl(name));
        WriteDataFile(DataFile(name), records, [](int i, MemberValues& v) {
            v[mfCompanyName] = "公司" + std::to_string(i);
            v[mfPhone] = "0571-" + std::to_string(i);
            v[mfCmpDetail] = "http://detail/" + std::to_string(i);
        });
        window->commands().LoadTasks();
        window->commands().FillTaskListGrid();
        SelectTask(name);
        Trigger("actViewData");
        ASSERT_TRUE(window->pages().ShownPage());
    }

    // Runs the menu entry and answers the save dialog with `file` and the file type at
    // `type`; returns the file types the dialog offered, the chosen one first.
    QStringList ExportThroughMenu(const std::string& file, int type = 0) {
        QStringList offered;
        WhenShown<QFileDialog>([&](QFileDialog* dialog) {
            offered = dialog->nameFilters();
            offered.prepend(dialog->selectedNameFilter());
            // What the type box does when the user picks a type.
            dialog->selectNameFilter(dialog->nameFilters()[type]);
            emit dialog->filterSelected(dialog->nameFilters()[type]);
            dialog->selectFile(QString::fromStdString(file));
            static_cast<QDialog*>(dialog)->accept();  // QFileDialog makes it protected
        });
        window->pages().gridMenu().actExport->trigger();
        return offered;
    }
};

TEST_F(ExportCommandTest, TheMenuEntryWritesTheShownGridAsXlsWhenChosen) {
    ViewTask("灯具", 3);
    const std::string chosen = dir.file("灯具导出");
    QStringList offered = ExportThroughMenu(chosen, 2);
    ASSERT_EQ(offered.size(), 8);
    EXPECT_EQ(offered[0], QStringLiteral("Excel 2007 及以上 (*.xlsx)")) << "chosen by default";
    EXPECT_EQ(offered.mid(1), (QStringList{QStringLiteral("Excel 2007 及以上 (*.xlsx)"),
                                           QStringLiteral("CSV UTF-8 (*.csv)"),
                                           QStringLiteral("Excel 97-2003，用于中文 Windows（GBK 编码） (*.xls)"),
                                           QStringLiteral("通讯录名片 (*.vcf)"),
                                           QStringLiteral("HubSpot 导入文件 (*.csv)"),
                                           QStringLiteral("Salesforce 导入文件 (*.csv)"),
                                           QStringLiteral("Zoho CRM 导入文件 (*.csv)")}));
    EXPECT_EQ(messages.Last(), "数据成功导出到文件：" + chosen + ".xls");

    BiffCells cells = ReadBiff(ReadFileBytes(chosen + ".xls"));
    ASSERT_EQ(cells.order.size(), 4u * 32) << "the header row and three records, every column";
    EXPECT_EQ((cells.text[{0, 0}]), "序号");
    EXPECT_EQ((cells.text[{3, 0}]), "3");
    EXPECT_EQ((cells.text[{2, 1}]), "公司2");
    EXPECT_EQ((cells.text[{2, 9}]), "0571-2");
    EXPECT_EQ((cells.text[{2, 30}]), "http://detail/2") << "hidden columns too";
}

TEST_F(ExportCommandTest, TheChosenTypeDecidesTheFormatAndItsExtension) {
    ViewTask("灯具", 0);
    ExportThroughMenu(dir.file("a"), 0);
    EXPECT_EQ(messages.Last(), "数据成功导出到文件：" + dir.file("a.xlsx"));
    std::string sheet =
        ReadZipMember(ReadFileBytes(dir.file("a.xlsx")), "xl/worksheets/sheet1.xml");
    EXPECT_NE(sheet.find("<t>公司名称</t>"), std::string::npos);

    ExportThroughMenu(dir.file("b.txt"), 1);
    EXPECT_EQ(messages.Last(), "数据成功导出到文件：" + dir.file("b.txt.csv"))
        << "an extension of no format written is part of the name";
    EXPECT_EQ(ReadFileBytes(dir.file("b.txt.csv")).rfind("\xEF\xBB\xBF序号,公司名称,", 0), 0u);
}

TEST_F(ExportCommandTest, ATypedExtensionDecidesTheFormatWhateverTheTypeBoxSays) {
    ViewTask("灯具", 2);
    ExportThroughMenu(dir.file("导出测试.csv"), 0);
    EXPECT_EQ(messages.Last(), "数据成功导出到文件：" + dir.file("导出测试.csv"));
    EXPECT_EQ(ReadFileBytes(dir.file("导出测试.csv")).rfind("\xEF\xBB\xBF序号,公司名称,", 0), 0u)
        << "CSV, not the .xlsx of the type box";
    ExportThroughMenu(dir.file("名片.xls"), 3);
    EXPECT_EQ(ReadBiff(ReadFileBytes(dir.file("名片.xls"))).text.size(), 3u * 32);
    // A CRM type with .xlsx writes the CRM's file as .xlsx; without an extension, its .csv.
    ExportThroughMenu(dir.file("线索.xlsx"), 6);
    EXPECT_NE(ReadZipMember(ReadFileBytes(dir.file("线索.xlsx")), "xl/worksheets/sheet1.xml").find("<t>Designation</t>"),
              std::string::npos);
    ExportThroughMenu(dir.file("线索"), 4);
    EXPECT_EQ(ReadFileBytes(dir.file("线索.csv")).rfind("\xEF\xBB\xBF" "First Name,Last Name,Company Name,", 0), 0u);
}

TEST_F(ExportCommandTest, ContactCardsAndPhoneColumnsFromTheSaveDialog) {
    ViewTask("灯具", 2);
    ExportThroughMenu(dir.file("名片"), 3);
    EXPECT_EQ(messages.Last(), "数据成功导出到文件：" + dir.file("名片.vcf"));
    const std::string cards = ReadFileBytes(dir.file("名片.vcf"));
    EXPECT_EQ(cards.rfind("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:公司1\r\n", 0), 0u) << cards.substr(0, 200);
    EXPECT_NE(cards.find("CATEGORIES:灯具\r\n"), std::string::npos) << "the page's task";

    WhenShown<QFileDialog>([&](QFileDialog* dialog) {
        auto* phones = dialog->findChild<QCheckBox*>(QStringLiteral("PhoneColumnsCB"));
        ASSERT_NE(phones, nullptr);
        EXPECT_TRUE(phones->isVisibleTo(dialog));
        EXPECT_EQ(phones->text(), QStringLiteral("附加国际格式电话"));
        phones->setChecked(true);
        dialog->selectNameFilter(dialog->nameFilters()[1]);
        emit dialog->filterSelected(dialog->nameFilters()[1]);
        dialog->selectFile(QString::fromStdString(dir.file("电话")));
        static_cast<QDialog*>(dialog)->accept();
    });
    window->pages().gridMenu().actExport->trigger();
    auto rows = ReadCsv(ReadFileBytes(dir.file("电话.csv")));
    ASSERT_EQ(rows.size(), 3u);
    ASSERT_EQ(rows[0].size(), 35u);
    EXPECT_EQ(rows[0][33], "电话（国际格式）");
}

TEST_F(ExportCommandTest, AFailedExportWarnsWithTheReasonAndLeavesNoFile) {
    ViewTask("灯具", 1);
    const std::string target = dir.file("missing/out.xls");
    ExportThroughMenu(target, 2);
    ASSERT_FALSE(messages.shown.empty());
    const auto& shown = messages.shown.back();
    EXPECT_TRUE(shown.message.startsWith(QStringLiteral("数据导出失败。\r\n\r\n文件：")));
    EXPECT_TRUE(shown.message.contains(QStringLiteral("/missing/out.xls\r\n原因：")))
        << shown.message.toStdString();
    EXPECT_EQ(shown.kind, widgets::MsgDlgType::mtWarning);
    EXPECT_FALSE(shown.detail.isEmpty());
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(ExportCommandTest, ProgressShowsAndCancellingKeepsTheOldFileAndSaysNothing) {
    ViewTask("大表", 5000);
    const std::string target = dir.file("大表.xls");
    WriteFileBytes(target, "old");
    messages.Clear();
    bool progress_shown = false;
    WhenShown<QFileDialog>([&](QFileDialog* dialog) {
        dialog->selectFile(QString::fromStdString(target));
        static_cast<QDialog*>(dialog)->accept();
    });
    // The dialog asks before it replaces a file.
    bool asked = false;
    WhenShown<QMessageBox>([&](QMessageBox* box) {
        asked = true;
        box->button(QMessageBox::Yes)->click();
    });
    WhenShown<QProgressDialog>([&](QProgressDialog* progress) {
        progress_shown = true;
        progress->cancel();
    });
    // Progress at once rather than after half a second, so the test does not hang on timing.
    widgets::doExportToExcel(window.get(), *window->pages().ShownPage()->record().MemberGrid, {}, 0);
    EXPECT_TRUE(asked);
    EXPECT_TRUE(progress_shown);
    EXPECT_TRUE(messages.shown.empty()) << "a cancelled export says nothing";
    EXPECT_TRUE(ReadFileBytes(target) == "old");
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

class ExportWhileCollectingTest : public ExportCommandTest {
protected:
    ExportWhileCollectingTest() : ExportCommandTest(SiteWith(40, 15)) {}
};

TEST_F(ExportWhileCollectingTest, ARunPageExportsWhatItShowsAndGetsTheRestAfter) {
    InsertTask("灯具", site.SearchUrl("灯具"));
    CreateDatabaseFile(DataFile("灯具"), true);
    ExecuteOnDatabaseFile(DataFile("灯具"), kCreateDataListSql);
    window->commands().LoadTasks();
    window->commands().FillTaskListGrid();
    SelectTask("灯具");
    window->commands().UpdateTaskActions(window->commands().SelectedNumber());
    window->commands().UpdateCommandActions();
    Trigger("actStart");
    auto* model = window->pages().ShownPage()->record().MemberGrid->memberModel();
    ASSERT_TRUE(RunUntil([&] { return model->RecordCount() >= 3; }));
    ExportThroughMenu(dir.file("live.xls"), 2);
    BiffCells cells = ReadBiff(ReadFileBytes(dir.file("live.xls")));
    const size_t rows = cells.order.size() / 32;
    EXPECT_EQ(cells.order.size() % 32, 0u);
    EXPECT_GE(rows, 4u);
    EXPECT_EQ((cells.text[{static_cast<int>(rows) - 1, 0}]), std::to_string(rows - 1))
        << "the last exported row is a whole record";
    ASSERT_TRUE(RunUntil([&] { return TaskEnded("灯具"); }));
    EXPECT_EQ(PageRecords("灯具"), 40) << "rows that arrived meanwhile are shown";
}

TEST(ExportFileName, AddsTheTypesExtensionOnlyToANameWithoutOne) {
    using widgets::ExportFileName;
    using widgets::ExportFormat;
    EXPECT_EQ(ExportFileName(QStringLiteral("/d/客户"), ExportFormat::Csv),
              QStringLiteral("/d/客户.csv"));
    EXPECT_EQ(ExportFileName(QStringLiteral("/d.v2/客户"), ExportFormat::Xlsx),
              QStringLiteral("/d.v2/客户.xlsx"))
        << "a dot in a folder name is no extension";
    EXPECT_EQ(ExportFileName(QStringLiteral("/d/a.XLS"), ExportFormat::Xlsx),
              QStringLiteral("/d/a.XLS"));
    EXPECT_EQ(widgets::ExportFormatOfType(QStringLiteral("CSV UTF-8 (*.csv)")),
              ExportFormat::Csv);
    EXPECT_EQ(widgets::ExportFormatOfType(QStringLiteral("All (*)")), std::nullopt);
}

TEST(MemberGridHold, RowsThatArriveWhileHeldAreShownOnRelease) {
    widgets::MemberGridModel model;
    MemberValues v{};
    v[mfCompanyName] = "甲";
    model.QueueMember(v);
    model.FlushQueued();
    model.HoldRows(true);
    v[mfCompanyName] = "乙";
    model.QueueMember(v);
    model.FlushQueued();
    ProcessFor(std::chrono::milliseconds(100));
    EXPECT_EQ(model.RecordCount(), 1);
    model.HoldRows(false);
    ASSERT_EQ(model.RecordCount(), 2);
    EXPECT_EQ(model.Cell(1, 1), QStringLiteral("乙"));
}

}  // namespace
}  // namespace qv::test
