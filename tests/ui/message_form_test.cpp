#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

#include <stdexcept>
#include <vector>

#include "widgets/dialog_ex.h"

namespace qv::widgets {
namespace {

// The dialog-unit measures the layout is checked against.
struct Units {
    int h_margin, v_margin, h_spacing;
};

Units UnitsOf(const QFont& font) {
    const QFontMetrics fm(font);
    const double w = fm.horizontalAdvance(QStringLiteral(
                         "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0;
    return {qRound(2 * w), fm.height(), qRound(2.5 * w)};
}

int HalfScreen() { return QGuiApplication::primaryScreen()->availableGeometry().width() / 2; }

QPushButton* Button(const TMessageForm& form, const char* name) {
    return form.findChild<QPushButton*>(QString::fromUtf8(name));
}
QLabel* Label(const TMessageForm& form, const char* name) {
    return form.findChild<QLabel*>(QString::fromUtf8(name));
}
QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

// Records what the message functions would show, for the length of one test.
class RecordedMessages {
public:
    RecordedMessages()
        : previous_(SetMessageHandler([this](const ShownMessage& m) {
              shown.push_back(m);
              return int(mrOk);
          })) {}
    ~RecordedMessages() { SetMessageHandler(std::move(previous_)); }
    std::vector<ShownMessage> shown;

private:
    MessageHandler previous_;
};

QAction* ToolAction(const TMessageForm& form, const char* caption) {
    auto* bar = form.findChild<QToolBar*>(QStringLiteral("ToolBar"));
    if (!bar) return nullptr;
    for (QAction* action : bar->actions())
        if (action->toolTip() == Text(caption)) return action;
    return nullptr;
}

TEST(MessageFormButtons, ErrorDetailShowsOkAndDetailsSideBySide) {
    auto form = CreateDetailMessageDialog(Text("连接失败"), Text("ORA-12541"), MsgDlgType::mtError,
                                          mbOK | mbDetails);
    QPushButton* ok = Button(*form, "OK");
    QPushButton* details = Button(*form, "Details");
    ASSERT_TRUE(ok && details);
    EXPECT_EQ(ok->text(), Text("确定"));
    EXPECT_EQ(details->text(), Text("详细信息>>"));
    EXPECT_EQ(ok->y(), details->y());
    EXPECT_GT(details->x(), ok->geometry().right());
    EXPECT_TRUE(ok->isDefault());
    EXPECT_FALSE(details->isDefault());
    EXPECT_FALSE(form->detailsShown());
    // The buttons sit below the message.
    EXPECT_GT(ok->y(), Label(*form, "Message")->geometry().bottom());
    EXPECT_LE(ok->geometry().bottom(), form->height() + 3);
}

TEST(MessageFormButtons, StandInBitOrderWithCaptionsAndResults) {
    struct Expected {
        const char* name;
        const char* caption;
        int result;
    };
    const Expected expected[] = {
        {"Yes", "是(&Y)", mrYes},        {"No", "否(&N)", mrNo},
        {"OK", "确定", mrOk},            {"Cancel", "取消", mrCancel},
        {"Abort", "终止(&A)", mrAbort},  {"Retry", "重试(&R)", mrRetry},
        {"Ignore", "忽略(&I)", mrIgnore}, {"All", "全部(&A)", mrAll},
        {"NoToAll", "全否(&o)", mrNoToAll}, {"YesToAll", "全是(&A)", mrYesToAll},
        {"Help", "帮助(&H)", mrNone},    {"Details", "详细信息>>", mrNone},
    };
    const MsgDlgButtons all = (1u << 12) - 1;
    auto form = CreateDetailMessageDialog(Text("x"), QString(), MsgDlgType::mtCustom, all);
    int previous_right = -1;
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.name);
        QPushButton* button = Button(*form, e.name);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), Text(e.caption));
        EXPECT_GT(button->x(), previous_right);
        previous_right = button->geometry().right();

        form->show();
        form->setResult(mrNone);
        button->click();
        EXPECT_EQ(form->result(), e.result);
        // Only buttons with a result close the dialog.
        EXPECT_EQ(form->isVisible(), e.result == mrNone);
    }
    // The row is centred in the client area.
    const int left_gap = Button(*form, "Yes")->x();
    const int right_gap = form->width() - Button(*form, "Details")->geometry().right() - 1;
    EXPECT_LE(std::abs(left_gap - right_gap), 1);
}

TEST(MessageFormButtons, DefaultAndEscapeFollowTheChosenSet) {
    struct Case {
        MsgDlgButtons buttons;
        const char* default_name;
        int escape_result;  // mrNone: Escape answers nothing
    };
    const Case cases[] = {
        {mbOK | mbCancel, "OK", mrCancel},
        {mbYes | mbNo | mbCancel, "Yes", mrCancel},
        {mbYes | mbNo, "Yes", mrNo},
        {mbOK, "OK", mrOk},
        {mbAbort | mbRetry | mbIgnore, "Retry", mrNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.default_name);
        auto form = CreateDetailMessageDialog(Text("x"), QString(), MsgDlgType::mtWarning, c.buttons);
        int defaults = 0;
        for (QPushButton* b : form->findChildren<QPushButton*>()) defaults += b->isDefault() ? 1 : 0;
        EXPECT_EQ(defaults, 1);
        EXPECT_TRUE(Button(*form, c.default_name)->isDefault());
        QTest::keyClick(form.get(), Qt::Key_Escape);
        EXPECT_EQ(form->result(), c.escape_result);
    }
}

TEST(MessageFormKeys, ConfirmationAnswersEscapeEnterAndCloseBox) {
    auto make = [] {
        auto form = CreateDetailMessageDialog(Text("删除该任务吗？"), QString(),
                                              MsgDlgType::mtConfirmation, mbYes | mbNo);
        form->show();
        return form;
    };
    auto escaped = make();
    QTest::keyClick(escaped.get(), Qt::Key_Escape);
    EXPECT_EQ(escaped->result(), mrNo);
    EXPECT_FALSE(escaped->isVisible());

    auto entered = make();
    QTest::keyClick(entered.get(), Qt::Key_Return);
    EXPECT_EQ(entered->result(), mrYes);

    auto closed = make();
    EXPECT_TRUE(closed->close());
    EXPECT_EQ(closed->result(), mrCancel);
}

TEST(MessageFormDetails, DetailsButtonFoldsTheAreaOutAndBack) {
    auto form = CreateDetailMessageDialog(Text("连接失败"), Text("第一行\n第二行"), MsgDlgType::mtError,
                                          mbOK | mbDetails);
    const QSize folded = form->size();
    QWidget* panel = form->detailPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_GE(panel->y(), folded.height());
    EXPECT_EQ(form->detailText()->toPlainText(), Text("第一行\n第二行"));

    QPushButton* details = Button(*form, "Details");
    details->click();
    EXPECT_TRUE(form->detailsShown());
    EXPECT_EQ(details->text(), Text("<<详细信息"));
    EXPECT_EQ(form->size(), QSize(folded.width(), folded.height() + 150));
    EXPECT_LE(panel->geometry().bottom(), form->height());
    EXPECT_GE(panel->x(), 0);
    EXPECT_LE(panel->geometry().right(), form->width());

    details->click();
    EXPECT_FALSE(form->detailsShown());
    EXPECT_EQ(details->text(), Text("详细信息>>"));
    EXPECT_EQ(form->size(), folded);
}

TEST(MessageFormDetails, AreaStaysOutOfViewWithoutDetailsButton) {
    auto form = CreateDetailMessageDialog(Text("提示"), Text("detail"), MsgDlgType::mtInformation, mbOK);
    EXPECT_GE(form->detailPanel()->y(), form->height());
    QPlainTextEdit* text = form->detailText();
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_EQ(text->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(text->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

TEST(MessageFormLayout, ShortErrorSitsCentredBesideTheIcon) {
    auto form = CreateDetailMessageDialog(Text("出错了"), QString(), MsgDlgType::mtError, mbOK);
    const Units u = UnitsOf(form->font());
    QLabel* image = Label(*form, "Image");
    QLabel* message = Label(*form, "Message");
    ASSERT_TRUE(image && message);
    EXPECT_EQ(form->windowTitle(), Text("错误"));
    EXPECT_EQ(image->geometry(), QRect(u.h_margin, u.v_margin, 32, 32));
    EXPECT_FALSE(image->pixmap().isNull());
    EXPECT_EQ(message->x(), u.h_margin + 32 + u.h_spacing);
    EXPECT_LT(message->height(), 32);
    EXPECT_LE(std::abs(message->geometry().center().y() - image->geometry().center().y()), 1);
    EXPECT_TRUE(message->wordWrap());
}

TEST(MessageFormLayout, CustomKindHasNoIconAndStartsAtTheMargin) {
    auto form = CreateDetailMessageDialog(Text("短"), QString(), MsgDlgType::mtCustom, mbOK);
    const Units u = UnitsOf(form->font());
    EXPECT_EQ(Label(*form, "Image"), nullptr);
    EXPECT_EQ(form->windowTitle(), ApplicationTitle());
    EXPECT_EQ(Label(*form, "Message")->pos(), QPoint(u.h_margin, u.v_margin));
}

TEST(MessageFormLayout, KindsWithIconsShowTheirCaption) {
    const std::pair<MsgDlgType, const char*> kinds[] = {{MsgDlgType::mtWarning, "警告"},
                                                        {MsgDlgType::mtInformation, "提示"},
                                                        {MsgDlgType::mtConfirmation, "确认"}};
    for (const auto& [kind, caption] : kinds) {
        auto form = CreateDetailMessageDialog(Text("x"), QString(), kind, mbOK);
        EXPECT_EQ(form->windowTitle(), Text(caption));
        ASSERT_NE(Label(*form, "Image"), nullptr) << caption;
        EXPECT_FALSE(Label(*form, "Image")->pixmap().isNull()) << caption;
    }
}

TEST(MessageFormLayout, LongMessageWrapsAtHalfTheScreen) {
    QString long_text;
    for (int i = 0; i < 60; ++i) long_text += Text("数据文件无法打开 ");
    auto shorter = CreateDetailMessageDialog(Text("一行"), QString(), MsgDlgType::mtWarning, mbOK);
    auto form = CreateDetailMessageDialog(long_text, QString(), MsgDlgType::mtWarning, mbOK);
    const Units u = UnitsOf(form->font());
    QLabel* message = Label(*form, "Message");
    EXPECT_LE(message->width(), HalfScreen());
    EXPECT_GT(message->height(), 3 * QFontMetrics(form->font()).height());
    EXPECT_LE(form->width(), HalfScreen() + 32 + u.h_spacing + 2 * u.h_margin + 50);
    EXPECT_GT(form->height(), shorter->height());
    // Taller than the icon: no centring, the message starts at the top margin.
    EXPECT_EQ(message->y(), u.v_margin);

    auto lines = CreateDetailMessageDialog(Text("一\n二\n三"), QString(), MsgDlgType::mtWarning, mbOK);
    EXPECT_GE(Label(*lines, "Message")->height(), 3 * QFontMetrics(lines->font()).height());
}

TEST(MessageFormLayout, RightToLeftMirrorsTheMessage) {
    QGuiApplication::setLayoutDirection(Qt::RightToLeft);
    auto form = CreateDetailMessageDialog(Text("出错了"), QString(), MsgDlgType::mtError, mbOK);
    QGuiApplication::setLayoutDirection(Qt::LeftToRight);
    const Units u = UnitsOf(form->font());
    QLabel* message = Label(*form, "Message");
    EXPECT_EQ(form->width() - message->geometry().right() - 1, u.h_margin + 32 + u.h_spacing);
}

TEST(MessageFormSave, TextFilterAddsTxtOnlyToNamesWithoutDot) {
    EXPECT_EQ(TMessageForm::SaveFileName(Text("/tmp/report"), true), Text("/tmp/report.txt"));
    EXPECT_EQ(TMessageForm::SaveFileName(Text("/tmp/report.log"), true), Text("/tmp/report.log"));
    EXPECT_EQ(TMessageForm::SaveFileName(Text("/tmp/report"), false), Text("/tmp/report"));
    EXPECT_EQ(TMessageForm::SaveFileName(Text("/tmp/a.b/report"), true), Text("/tmp/a.b/report.txt"));
    EXPECT_EQ(TMessageForm::SaveFileName(Text("/tmp/错误"), true), Text("/tmp/错误.txt"));
}

TEST(MessageFormSave, WritesUtf8LinesAndReportsFailure) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString name = dir.filePath(QStringLiteral("report.txt"));
    TMessageForm::WriteDetailFile(name, Text("第一行\nsecond"));
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("第一行\nsecond\n"));

    const QString missing = dir.filePath(QStringLiteral("no/such/report.txt"));
    try {
        TMessageForm::WriteDetailFile(missing, Text("x"));
        ADD_FAILURE() << "no error for an unwritable file";
    } catch (const std::runtime_error& e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains(missing)) << e.what();
    }
}

TEST(MessageFormToolBar, IconButtonsCopyAndExplainThemselves) {
    auto form = CreateDetailMessageDialog(Text("连接失败"), Text("错误 1045\n拒绝访问"),
                                          MsgDlgType::mtError, mbOK | mbDetails);
    for (const char* caption : {"复制", "保存", "打印", "帮助"}) {
        QAction* action = ToolAction(*form, caption);
        ASSERT_NE(action, nullptr) << caption;
        EXPECT_FALSE(action->icon().isNull()) << caption;
    }
    EXPECT_EQ(form->findChild<QToolBar*>(QStringLiteral("ToolBar"))->toolButtonStyle(),
              Qt::ToolButtonIconOnly);

    QGuiApplication::clipboard()->clear();
    ToolAction(*form, "复制")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), Text("错误 1045\n拒绝访问"));

    RecordedMessages recorded;
    ToolAction(*form, "帮助")->trigger();
    ASSERT_EQ(recorded.shown.size(), 1u);
    EXPECT_EQ(recorded.shown[0].box, ShownMessage::Box::SystemInfo);
    EXPECT_TRUE(recorded.shown[0].message.startsWith(Text("点击工具栏上相应的按钮")));
    EXPECT_TRUE(recorded.shown[0].message.endsWith(Text("复制到剪贴板、保存到文件或者直接打印输出。")));
}

TEST(MessageFormToolBar, PrintWithoutPrinterShowsTheErrorBoxOnly) {
    if (!QPrinterInfo::availablePrinterNames().isEmpty()) GTEST_SKIP() << "a printer is installed";
    auto form = CreateDetailMessageDialog(Text("x"), Text("detail"), MsgDlgType::mtError, mbOK | mbDetails);
    form->show();
    RecordedMessages recorded;
    ToolAction(*form, "打印")->trigger();
    ASSERT_EQ(recorded.shown.size(), 1u);
    EXPECT_EQ(recorded.shown[0].box, ShownMessage::Box::SystemError);
    EXPECT_EQ(recorded.shown[0].message, Text("检测不到打印机，请先安装打印机再打印。"));
    EXPECT_TRUE(form->isVisible());
}

}  // namespace
}  // namespace qv::widgets
