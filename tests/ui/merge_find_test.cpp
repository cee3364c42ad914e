#include <gtest/gtest.h>

#include <QCheckBox>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>

#include <filesystem>

#include "core/database.h"
#include "core/run_lock.h"
#include "tasks/merge_command.h"
#include "tasks/find_page.h"
#include "tasks/task_commands.h"
#include "tasks/task_pages.h"
#include "tests/export/grid_fixtures.h"
#include "tests/support/member_files.h"
#include "tests/ui/gui_fixture.h"
#include "ui/main_window.h"
#include "widgets/member_grid.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

class MergeFindTest : public MainWindowFixture {
protected:
    void SetUp() override {
        InsertTask("灯具", site.SearchUrl("灯具"));
        InsertTask("灯饰", site.SearchUrl("灯饰"));
        InsertTask("未运行", site.SearchUrl("未运行"));
        MakeDataFile(DataFile("灯具"), {Member("杭州西湖灯具厂", "m1", {{mfMobile, "13900001111"}}),
                                        Member("宁波照明", "m2")});
        MakeDataFile(DataFile("灯饰"),
                     {Member("上海灯饰", "m3"), Member("宁波照明", "m2", {{mfLinkMan, "李四"}}),
                      Member("杭州西湖灯具厂", "m1", {{mfMobile, "13900001111"}, {mfLinkMan, "王一"}})});
        window->commands().LoadTasks();
        window->commands().FillTaskListGrid();
    }
    tasks::FindPage& Page() { return window->findPage(); }
    void Search(const QString& text, const QString& field = QStringLiteral("全部字段")) {
        Page().textBox()->setText(text);
        Page().fieldBox()->setCurrentText(field);
        Page().StartSearch();
    }
    QString Cell(int row, int column) {
        QTableWidgetItem* item = Page().results()->item(row, column);
        return item ? item->text() : QString();
    }
};

TEST_F(MergeFindTest, TheMergeDialogOffersEveryTaskAndWritesTheMergedFileWithASummary) {
    const std::string target = dir.file("合并.csv");
    WhenShown<tasks::MergeDialog>([&](tasks::MergeDialog* d) {
        QListWidget* list = d->taskList();
        ASSERT_EQ(list->count(), 3);
        EXPECT_EQ(list->item(0)->text(), QStringLiteral("灯具"));
        EXPECT_EQ(list->item(0)->checkState(), Qt::Checked);
        EXPECT_EQ(list->item(1)->checkState(), Qt::Checked);
        EXPECT_EQ(list->item(2)->checkState(), Qt::Unchecked) << "a task that never ran";
        EXPECT_FALSE(list->item(2)->flags() & Qt::ItemIsEnabled);
        EXPECT_EQ(d->Rule(), exporting::DedupRule::ByMemberId);
        EXPECT_TRUE(d->fileEdit()->text().endsWith(QStringLiteral(".xlsx"))) << "the default type";
        // The save dialog offers .xlsx first; the type chosen there names the file.
        WhenShown<QFileDialog>([&](QFileDialog* f) {
            EXPECT_EQ(f->selectedNameFilter(), QStringLiteral("Excel 2007 及以上 (*.xlsx)"));
            f->selectNameFilter(f->nameFilters()[1]);
            emit f->filterSelected(f->nameFilters()[1]);
            f->selectFile(QString::fromStdString(dir.file("合并")));
            static_cast<QDialog*>(f)->accept();
        });
        d->findChild<QPushButton*>(QStringLiteral("BrowseBTN"))->click();
        EXPECT_EQ(d->fileEdit()->text().toStdString(), target);
        d->accept();
    });
    Trigger("actMergeExport");
    EXPECT_EQ(messages.Last(), "合并导出完成：共 3 条记录，来自 2 个任务，合并了 2 条重复记录。\r\n文件：" + target);
    auto rows = ReadCsv(ReadFileBytes(target));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1][0], "灯具;灯饰");
    EXPECT_EQ(rows[1][6], "王一");
    EXPECT_EQ(rows[2][6], "李四");
    EXPECT_EQ(rows[3][2], "上海灯饰");
}

TEST_F(MergeFindTest, TheMergeWritesACrmFileOrThePhoneColumnsAsChosen) {
    WhenShown<tasks::MergeDialog>([&](tasks::MergeDialog* d) {
        WhenShown<QFileDialog>([&](QFileDialog* f) {
            f->selectNameFilter(f->nameFilters()[5]);
            emit f->filterSelected(f->nameFilters()[5]);
            f->selectFile(QString::fromStdString(dir.file("线索")));
            static_cast<QDialog*>(f)->accept();
        });
        d->findChild<QPushButton*>(QStringLiteral("BrowseBTN"))->click();
        EXPECT_EQ(d->fileEdit()->text().toStdString(), dir.file("线索.csv"));
        d->accept();
    });
    Trigger("actMergeExport");
    auto rows = ReadCsv(ReadFileBytes(dir.file("线索.csv")));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0][0], "来源任务");
    EXPECT_EQ(rows[0][1], "First Name") << "Salesforce's columns";
    EXPECT_EQ(rows[0][3], "Company");
    EXPECT_EQ(rows[1][6], "+8613900001111");

    WhenShown<tasks::MergeDialog>([&](tasks::MergeDialog* d) {
        d->fileEdit()->setText(QString::fromStdString(dir.file("电话.csv")));
        d->phoneColumns()->setChecked(true);
        d->accept();
    });
    Trigger("actMergeExport");
    rows = ReadCsv(ReadFileBytes(dir.file("电话.csv")));
    ASSERT_EQ(rows[0].size(), 36u) << "a typed name takes no CRM type";
    EXPECT_EQ(rows[0][33], "手机（国际格式）");
    EXPECT_EQ(rows[1][33], "+8613900001111");
}

TEST_F(MergeFindTest, AFailedMergeNamesTheTaskAndKeepsTheDialogWithItsChoices) {
    DataFileRunLock run = DataFileRunLock::TryAcquire(DataFile("灯饰"));
    const QString target = QString::fromStdString(dir.file("合并"));
    bool open_after_failure = false;
    WhenShown<tasks::MergeDialog>([&](tasks::MergeDialog* d) {
        d->fileEdit()->setText(target);
        d->SetRule(exporting::DedupRule::None);
        d->accept();
        open_after_failure = d->isVisible() && d->result() != QDialog::Accepted;
        EXPECT_EQ(d->Rule(), exporting::DedupRule::None);
        EXPECT_EQ(d->fileEdit()->text(), target + QStringLiteral(".xlsx")) << "the type's extension added";
        d->taskList()->item(1)->setCheckState(Qt::Unchecked);
        d->accept();
    });
    Trigger("actMergeExport");
    EXPECT_TRUE(open_after_failure);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].kind, widgets::MsgDlgType::mtWarning);
    EXPECT_TRUE(messages.shown[0].message.contains(QStringLiteral("任务“灯饰”"))) << messages.Texts()[0];
    EXPECT_TRUE(messages.shown[0].message.contains(target + QStringLiteral(".xlsx")));
    EXPECT_EQ(messages.Texts()[1].rfind("合并导出完成：共 2 条记录，来自 1 个任务", 0), 0u) << messages.Texts()[1];
    EXPECT_TRUE(fs::exists(dir.file("合并.xlsx")));
}

TEST_F(MergeFindTest, CancellingTheMergeSaysNothingAndLeavesTheOldFile) {
    std::vector<MemberValues> many;
    for (int i = 0; i < 5000; ++i) many.push_back(Member("公司" + std::to_string(i), "x" + std::to_string(i)));
    MakeDataFile(DataFile("灯饰"), many);
    const std::string target = dir.file("合并.xlsx");
    WriteFileBytes(target, "old");
    tasks::MergeDialog dialog(window->commands().TaskFiles(), window.get(), 0);
    dialog.fileEdit()->setText(QString::fromStdString(target));
    bool progress_shown = false;
    WhenShown<QProgressDialog>([&](QProgressDialog* box) {
        progress_shown = true;
        box->cancel();
    });
    messages.answers.push_back(widgets::mrYes);  // replace the existing file
    dialog.accept();
    EXPECT_TRUE(progress_shown);
    ASSERT_EQ(messages.shown.size(), 1u) << "only the question before replacing";
    EXPECT_EQ(ReadFileBytes(target), "old");
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

TEST_F(MergeFindTest, TheSearchListsHitsByTaskAsTheyComeAndCanBeStopped) {
    EXPECT_EQ(window->action("actFindInTasks")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+F")));
    Trigger("actFindInTasks");
    EXPECT_EQ(window->mainPages()->currentWidget(), &Page());

    // 灯饰 cannot be read while another connection holds it exclusively: the hits of 灯具
    // are listed while the search waits there.
    {
        Connection holder(DataFile("灯饰"), DatabaseKind::DataFile);
        holder.Execute("PRAGMA locking_mode=EXCLUSIVE");
        holder.Execute("BEGIN EXCLUSIVE");
        Search(QStringLiteral("13900001111"), QStringLiteral("电话"));
        ASSERT_TRUE(RunUntil([&] { return Page().results()->rowCount() == 1; }));
        EXPECT_TRUE(Page().Searching());
        EXPECT_TRUE(Page().statusLabel()->text().startsWith(QStringLiteral("正在查找")));
        holder.Execute("COMMIT");
    }
    ASSERT_TRUE(RunUntil([&] { return !Page().Searching(); }));
    ASSERT_EQ(Page().results()->rowCount(), 2);
    EXPECT_EQ(Cell(0, 0), QStringLiteral("灯具"));
    EXPECT_EQ(Cell(1, 0), QStringLiteral("灯饰"));
    EXPECT_EQ(Cell(1, 1), QStringLiteral("杭州西湖灯具厂"));
    EXPECT_EQ(Cell(1, 3), QStringLiteral("王一"));
    EXPECT_EQ(Cell(1, 4), QStringLiteral("13900001111")) << "deciphered";
    EXPECT_EQ(Cell(1, 8), QStringLiteral("电话"));
    EXPECT_EQ(Page().statusLabel()->text(), QStringLiteral("已查 2/2 个任务，找到 2 条记录。"));

    Search(QStringLiteral("宁波"));
    Page().StopSearch();
    EXPECT_FALSE(Page().Searching());
    EXPECT_TRUE(Page().statusLabel()->text().startsWith(QStringLiteral("查找已停止："))) << Page().statusLabel()->text().toStdString();
    const int listed = Page().results()->rowCount();
    ProcessFor(std::chrono::milliseconds(150));
    EXPECT_EQ(Page().results()->rowCount(), listed) << "nothing arrives after a stop";

    messages.Clear();
    Search(QStringLiteral("  "));
    EXPECT_EQ(messages.Last(), "请输入需要查找的文字");
}

TEST_F(MergeFindTest, ADoubleClickOpensTheTasksPageAtTheRecord) {
    Search(QStringLiteral("杭州"), QStringLiteral("公司名称"));
    ASSERT_TRUE(RunUntil([&] { return !Page().Searching(); }));
    ASSERT_EQ(Page().results()->rowCount(), 2);

    emit Page().results()->cellDoubleClicked(1, 2);
    EXPECT_EQ(window->mainPages()->currentIndex(), 0);
    tasks::TaskDataPage* page = window->pages().ShownPage();
    ASSERT_TRUE(page);
    EXPECT_EQ(page->record().PageKey, QStringLiteral("灯饰"));
    EXPECT_EQ(window->commands().SelectedName(), QStringLiteral("灯饰"));
    widgets::MemberGridView* grid = page->record().MemberGrid;
    EXPECT_EQ(grid->currentIndex().row(), 2) << "the third record of 灯饰";
    EXPECT_EQ(grid->memberModel()->Cell(grid->currentIndex().row(), 5), QStringLiteral("王一"));

    // The open page is used again; a record gone from the file is said to be gone.
    emit Page().results()->cellDoubleClicked(0, 0);
    EXPECT_EQ(window->pages().ShownPage()->record().PageKey, QStringLiteral("灯具"));
    EXPECT_EQ(window->pages().ShownPage()->record().MemberGrid->currentIndex().row(), 0);
    const int pages = window->pages().PageCount();
    ExecuteOnDatabaseFile(DataFile("灯饰"), "DELETE FROM DataList WHERE ID = 3");
    messages.Clear();
    emit Page().results()->cellDoubleClicked(1, 0);
    EXPECT_EQ(window->pages().PageCount(), pages);
    EXPECT_EQ(messages.Last(), "这条记录已经不在任务“灯饰”的数据文件中。");
}

}  // namespace
}  // namespace qv::test
