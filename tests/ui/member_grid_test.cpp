#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QSignalSpy>
#include <QThread>

#include <atomic>
#include <thread>

#include "core/field_cipher.h"
#include "widgets/member_grid.h"
#include "widgets/qt_handover.h"
#include "tests/ui/gui_fixture.h"

namespace qv::test {
namespace {

using namespace std::chrono_literals;
using widgets::MemberGridModel;

MemberValues Member(int n) {
    MemberValues v{};
    v[mfCompanyName] = "公司" + std::to_string(n);
    v[mfPhone] = "0571-" + std::to_string(n);
    v[mfCompanyContext] = "介绍" + std::to_string(n);
    v[mfContactLink] = "not shown";
    return v;
}

TEST(MemberGrid, HasThirtyTwoColumnsWithTheirHeadingsWidthsAndHiddenLinks) {
    widgets::MemberGridView view;
    widgets::InitMemberGrid(&view);
    auto* model = view.memberModel();
    EXPECT_EQ(model->columnCount(), 32);
    EXPECT_EQ(model->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("序号"));
    EXPECT_EQ(model->headerData(22, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("法定代表人/负责人"));
    EXPECT_EQ(model->headerData(31, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("公司介绍"));
    EXPECT_EQ(view.columnWidth(11), 250);
    for (int c = 29; c < 32; ++c) EXPECT_TRUE(view.isColumnHidden(c)) << c;
    EXPECT_FALSE(view.isColumnHidden(28));
    EXPECT_EQ(view.verticalHeader()->defaultSectionSize(), 16);
    EXPECT_EQ(view.selectionBehavior(), QAbstractItemView::SelectItems);
}

TEST(MemberGrid, LiveRowsArriveInBatchesInOrderAndFillTheBlankRowFirst) {
    MemberGridModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    EXPECT_EQ(model.rowCount(), 1) << "a new grid shows one blank row";
    EXPECT_EQ(model.GridRowCount(), 2);
    for (int i = 1; i <= 50; ++i) model.QueueMember(Member(i));
    EXPECT_EQ(model.RecordCount(), 0) << "nothing reaches the view before the tick";
    ASSERT_TRUE(RunUntil([&] { return model.RecordCount() == 50; }, 2s));
    EXPECT_EQ(inserted.count(), 1) << "one insert for the whole batch";
    EXPECT_EQ(model.rowCount(), 50);
    for (int r = 0; r < 50; ++r) {
        EXPECT_EQ(model.Cell(r, 0), QString::number(r + 1));
        EXPECT_EQ(model.Cell(r, 1), QStringLiteral("公司%1").arg(r + 1));
    }
    EXPECT_EQ(model.Cell(4, 9), QStringLiteral("0571-5"));
    EXPECT_EQ(model.Cell(4, 31), QStringLiteral("介绍5"));
    model.QueueMember(Member(51));
    model.FlushQueued();
    EXPECT_EQ(model.Cell(50, 1), QStringLiteral("公司51"));
    model.SetCell(50, 14, "机械");
    EXPECT_EQ(model.Cell(50, 14), QStringLiteral("机械"));
    EXPECT_EQ(model.Cell(50, 1), QStringLiteral("公司51")) << "other cells of the row keep their text";
    EXPECT_EQ(model.Cell(99, 1), QString()) << "beyond the rows";
}

TEST(MemberGrid, StoredCellsAreDecipheredTrimmedOrKeptAsTheColumnSays) {
    std::string hex = EncipherTextHex("张三", FieldCipherKey);
    EXPECT_EQ(widgets::ShownCellText(5, hex), "张三");
    EXPECT_EQ(widgets::ShownCellText(5, " " + hex + " "), "张三");
    EXPECT_EQ(widgets::ShownCellText(5, "张三"), "张三") << "not cipher text: shown as stored";
    EXPECT_EQ(widgets::ShownCellText(5, "ABC"), "ABC") << "odd number of digits";
    EXPECT_EQ(widgets::ShownCellText(5, ""), "");
    EXPECT_EQ(widgets::ShownCellText(11, "  杭州  "), "杭州");
    EXPECT_EQ(widgets::ShownCellText(30, " http://x/ "), " http://x/ ");

    // Category pages keep what the file holds, except that cipher text is deciphered.
    constexpr auto kAsStored = widgets::CellShowing::AsStored;
    EXPECT_EQ(widgets::ShownCellText(11, "  杭州  ", kAsStored), "  杭州  ");
    EXPECT_EQ(widgets::ShownCellText(5, " " + hex + " ", kAsStored), "张三");
    EXPECT_EQ(widgets::ShownCellText(5, " 张三 ", kAsStored), " 张三 ");
    EXPECT_EQ(widgets::ShownCellText(5, " ABC ", kAsStored), " ABC ");
}

TEST(QtHandover, RunsPostsInOrderAndReleasesAWaiterOnClose) {
    widgets::QtUiHandover ui;
    std::vector<int> ran;
    std::thread poster([&] {
        for (int i = 0; i < 20; ++i) ui.post([&ran, i] { ran.push_back(i); });
        ui.postAndWait([&ran] { ran.push_back(100); });
        ran.push_back(200);  // only after the waited-for call has run
    });
    ASSERT_TRUE(RunUntil([&] { return ran.size() == 22; }, 5s));
    poster.join();
    std::vector<int> expected;
    for (int i = 0; i < 20; ++i) expected.push_back(i);
    expected.push_back(100);
    expected.push_back(200);
    EXPECT_EQ(ran, expected);

    // A thread waiting on a report that will never run is let go at shutdown.
    std::atomic<bool> released{false};
    std::thread waiter([&] {
        ui.postAndWait([] { ADD_FAILURE() << "runs after Close"; });
        released = true;
    });
    std::this_thread::sleep_for(50ms);
    ui.Close();
    waiter.join();
    EXPECT_TRUE(released);
    QApplication::processEvents();
}

}  // namespace
}  // namespace qv::test
