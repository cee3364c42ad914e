// The message dialog: laid out by hand in dialog units of its font, so that its proportions
// follow the font the way the old program's dialogs did, with a fold-out detail area below.
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>

#include <optional>
#include <stdexcept>

#include "widgets/dialog_ex.h"

namespace qv::widgets {
namespace {

const char* const kShowDetails = "详细信息>>";
const char* const kHideDetails = "<<详细信息";
constexpr int kIconSize = 32;
constexpr int kFoldHeight = 150;
constexpr int kToolBarHeight = 23;

struct ButtonSpec {
    MsgDlgBtn bit;
    const char* name;
    const char* caption;
    int result;  // mrNone: the button does something else than closing
};

// In bit order, which is also the order on screen.
constexpr ButtonSpec kButtons[] = {
    {mbYes, "Yes", "是(&Y)", mrYes},
    {mbNo, "No", "否(&N)", mrNo},
    {mbOK, "OK", "确定", mrOk},
    {mbCancel, "Cancel", "取消", mrCancel},
    {mbAbort, "Abort", "终止(&A)", mrAbort},
    {mbRetry, "Retry", "重试(&R)", mrRetry},
    {mbIgnore, "Ignore", "忽略(&I)", mrIgnore},
    {mbAll, "All", "全部(&A)", mrAll},
    {mbNoToAll, "NoToAll", "全否(&o)", mrNoToAll},
    {mbYesToAll, "YesToAll", "全是(&A)", mrYesToAll},
    {mbHelp, "Help", "帮助(&H)", mrNone},
    {mbDetails, "Details", kShowDetails, mrNone},
};

// The measures of the layout, in pixels of the dialog's font.
struct Units {
    int h_margin, v_margin, h_spacing, v_spacing;
    int button_width, button_height, button_spacing;
};

int WidestCaption(const QFontMetrics& fm, MsgDlgButtons buttons) {
    int widest = 0;
    for (const ButtonSpec& b : kButtons) {
        if (!(buttons & b.bit)) continue;
        // The mnemonic's "&" is not drawn, so it takes no room.
        widest = std::max(widest, fm.size(Qt::TextShowMnemonic, QString::fromUtf8(b.caption)).width());
    }
    return widest;
}

Units MeasureUnits(const QFont& font, MsgDlgButtons buttons) {
    const QFontMetrics fm(font);
    const double w = fm.horizontalAdvance(QStringLiteral(
                         "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0;
    const double h = fm.height();
    Units u{};
    u.h_margin = qRound(8 * w / 4);
    u.v_margin = qRound(8 * h / 8);
    u.h_spacing = qRound(10 * w / 4);
    u.v_spacing = qRound(10 * h / 8);
    u.button_width = std::max(qRound(50 * w / 4), WidestCaption(fm, buttons) + 8);
    u.button_height = qRound(14 * h / 8);
    u.button_spacing = qRound(4 * w / 4);
    return u;
}

std::optional<QStyle::StandardPixmap> KindIcon(MsgDlgType kind) {
    switch (kind) {
        case MsgDlgType::mtWarning: return QStyle::SP_MessageBoxWarning;
        case MsgDlgType::mtError: return QStyle::SP_MessageBoxCritical;
        case MsgDlgType::mtInformation: return QStyle::SP_MessageBoxInformation;
        case MsgDlgType::mtConfirmation: return QStyle::SP_MessageBoxQuestion;
        case MsgDlgType::mtCustom: break;
    }
    return std::nullopt;
}

// Where everything goes, worked out before any widget is made.
struct Layout {
    Units u;
    bool has_icon;
    QSize text;        // the wrapped message
    QSize block;       // icon and message together
    int button_count;
    int row_width;     // the button row
    QSize client;
};

QSize MeasureMessage(const QFontMetrics& fm, const QString& message) {
    const int max_width = QGuiApplication::primaryScreen()->availableGeometry().width() / 2;
    return fm.boundingRect(QRect(0, 0, max_width, 0), Qt::TextWordWrap | Qt::TextExpandTabs, message)
        .size();
}

Layout PlanLayout(const QFont& font, const QString& message, MsgDlgType kind, MsgDlgButtons buttons) {
    Layout l{};
    l.u = MeasureUnits(font, buttons);
    l.has_icon = KindIcon(kind).has_value();
    l.text = MeasureMessage(QFontMetrics(font), message);
    l.block = l.has_icon ? QSize(l.text.width() + l.u.h_spacing + kIconSize,
                                 std::max(kIconSize, l.text.height()))
                         : l.text;
    for (const ButtonSpec& b : kButtons) l.button_count += (buttons & b.bit) ? 1 : 0;
    l.row_width = l.button_count * l.u.button_width +
                  std::max(0, l.button_count - 1) * l.u.button_spacing;
    l.client = QSize(std::max(l.block.width(), l.row_width) + 2 * l.u.h_margin + 50,
                     l.block.height() + l.u.button_height + l.u.v_spacing + 2 * l.u.v_margin);
    return l;
}

void AddIcon(QWidget* form, const Layout& l, MsgDlgType kind) {
    auto* image = new QLabel(form);
    image->setObjectName(QStringLiteral("Image"));
    image->setPixmap(form->style()->standardIcon(*KindIcon(kind)).pixmap(kIconSize, kIconSize));
    image->setGeometry(l.u.h_margin, l.u.v_margin, kIconSize, kIconSize);
}

void AddMessage(QWidget* form, const Layout& l, const QString& message) {
    auto* label = new QLabel(form);
    label->setObjectName(QStringLiteral("Message"));
    label->setTextFormat(Qt::PlainText);  // messages carry file names and SQL, not markup
    label->setWordWrap(true);
    label->setText(message);
    int left = l.u.h_margin + l.block.width() - l.text.width();
    if (form->isRightToLeft()) left = l.client.width() - left - l.text.width();
    int top = l.u.v_margin;
    if (l.has_icon && l.text.height() < kIconSize) top += (kIconSize - l.text.height()) / 2;
    label->setGeometry(left, top, l.text.width(), l.text.height());
}

// Enter answers OK, else Yes, else Retry; Escape answers Cancel, else No, else OK.
MsgDlgBtn DefaultBit(MsgDlgButtons buttons) {
    return (buttons & mbOK) ? mbOK : (buttons & mbYes) ? mbYes : mbRetry;
}
MsgDlgBtn CancelBit(MsgDlgButtons buttons) {
    return (buttons & mbCancel) ? mbCancel : (buttons & mbNo) ? mbNo : mbOK;
}

QPushButton* AddButton(TMessageForm* form, const ButtonSpec& spec, const QRect& place) {
    auto* button = new QPushButton(QString::fromUtf8(spec.caption), form);
    button->setObjectName(QString::fromUtf8(spec.name));
    button->setGeometry(place);
    button->setAutoDefault(true);
    if (spec.result != mrNone)
        QObject::connect(button, &QPushButton::clicked, form, [form, r = spec.result] { form->done(r); });
    // "Help" closes nothing: the program ships no help file for it to open.
    return button;
}

QAction* AddToolButton(QToolBar* bar, QStyle::StandardPixmap pixmap, const char* caption) {
    QAction* action = bar->addAction(bar->style()->standardIcon(pixmap), QString::fromUtf8(caption));
    action->setToolTip(action->text());
    return action;
}

QWidget* ToolSeparator(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameStyle(QFrame::VLine | QFrame::Sunken);
    line->setFixedWidth(8);
    return line;
}

// Flat, icon-only buttons whose captions are their hints; positions as toolBarClick counts them.
QToolBar* MakeToolBar(TMessageForm* form, QWidget* parent) {
    auto* bar = new QToolBar(parent);
    bar->setObjectName(QStringLiteral("ToolBar"));
    bar->setIconSize(QSize(16, 16));
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    bar->setMovable(false);
    bar->setStyleSheet(QStringLiteral("QToolBar { border: none; padding: 0px; spacing: 0px; }"));
    const struct {
        QStyle::StandardPixmap pixmap;
        const char* caption;
        int position;
    } tools[] = {{QStyle::SP_FileDialogContentsView, "复制", 0},
                 {QStyle::SP_DialogSaveButton, "保存", 1},
                 {QStyle::SP_FileDialogDetailedView, "打印", 2},
                 {QStyle::SP_MessageBoxQuestion, "帮助", 4}};
    for (const auto& tool : tools) {
        if (tool.position == 4) bar->addWidget(ToolSeparator(bar));
        QObject::connect(AddToolButton(bar, tool.pixmap, tool.caption), &QAction::triggered, form,
                         [form, p = tool.position] { form->toolBarClick(p); });
    }
    return bar;
}

struct ButtonRow {
    QPushButton* cancel = nullptr;
    QPushButton* details = nullptr;
};

ButtonRow AddButtons(TMessageForm* form, const Layout& l, MsgDlgButtons buttons) {
    ButtonRow row;
    const int top = l.u.v_margin + l.block.height() + l.u.v_spacing + 3;
    int left = (l.client.width() - l.row_width) / 2;
    for (const ButtonSpec& spec : kButtons) {
        if (!(buttons & spec.bit)) continue;
        QPushButton* button =
            AddButton(form, spec, QRect(left, top, l.u.button_width, l.u.button_height));
        left += l.u.button_width + l.u.button_spacing;
        if (spec.bit == DefaultBit(buttons)) {
            button->setDefault(true);
            button->setFocus();  // taken up when the dialog is shown
        }
        if (spec.bit == CancelBit(buttons)) row.cancel = button;
        if (spec.bit == mbDetails) row.details = button;
    }
    return row;
}

}  // namespace

TMessageForm::TMessageForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
    setLayoutDirection(QGuiApplication::layoutDirection());
    setFont(QApplication::font());
}

void TMessageForm::reject() { done(mrCancel); }

void TMessageForm::keyPressEvent(QKeyEvent* event) {
    if (!event->matches(QKeySequence::Cancel)) {
        QDialog::keyPressEvent(event);
        return;
    }
    // Without a cancel button Escape answers nothing; the close box still gives mrCancel.
    if (cancel_button_) cancel_button_->click();
    event->accept();
}

void TMessageForm::toggleDetails() {
    details_shown_ = !details_shown_;
    if (details_button_)
        details_button_->setText(QString::fromUtf8(details_shown_ ? kHideDetails : kShowDetails));
    setFixedSize(width(), height() + (details_shown_ ? kFoldHeight : -kFoldHeight));
}

void TMessageForm::toolBarClick(int position) {
    switch (position) {
        case 0:
            detail_text_->selectAll();
            QGuiApplication::clipboard()->setText(detail_text_->toPlainText());
            break;
        case 1: saveDetail(); break;
        case 2: printDetail(); break;
        case 4:
            ShowInfoBox(QStringLiteral("点击工具栏上相应的按钮就可以将详细的错误信息\n"
                                       "复制到剪贴板、保存到文件或者直接打印输出。"));
            break;
        default: break;  // 3 is the separator
    }
}

QString TMessageForm::SaveFileName(const QString& chosen, bool text_filter) {
    // Only the file's own name counts: a dot in a folder name is no extension.
    if (text_filter && !chosen.isEmpty() && !QFileInfo(chosen).fileName().contains(QLatin1Char('.')))
        return chosen + QStringLiteral(".txt");
    return chosen;
}

void TMessageForm::WriteDetailFile(const QString& file_name, const QString& text) {
    QString lines = text;
    if (!lines.isEmpty() && !lines.endsWith(QLatin1Char('\n'))) lines += QLatin1Char('\n');
    QSaveFile file(file_name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text) || file.write(lines.toUtf8()) < 0 ||
        !file.commit()) {
        throw std::runtime_error(
            QStringLiteral("无法保存文件“%1”：%2").arg(file_name, file.errorString()).toStdString());
    }
}

void TMessageForm::saveDetail() {
    const QString text_filter = QStringLiteral("文本文件(*.txt)");
    QString selected;
    const QString chosen = QFileDialog::getSaveFileName(
        this, QStringLiteral("保存"), QString(), text_filter + QStringLiteral(";;所有文件(*.*)"),
        &selected);
    if (chosen.isEmpty()) return;
    WriteDetailFile(SaveFileName(chosen, selected == text_filter), detail_text_->toPlainText());
}

void TMessageForm::printDetail() {
    if (QPrinterInfo::availablePrinterNames().isEmpty()) {
        ShowErrorBox(QStringLiteral("检测不到打印机，请先安装打印机再打印。"));
        return;
    }
    QPrinter printer;  // the default printer, like a plain text print job
    QPainter painter;
    if (!painter.begin(&printer)) throw std::runtime_error("无法开始打印。");
    painter.setFont(detail_text_->font());
    const QFontMetrics fm = painter.fontMetrics();
    const int page_height = printer.pageLayout().paintRectPixels(printer.resolution()).height();
    int y = 0;
    for (const QString& line : detail_text_->toPlainText().split(QLatin1Char('\n'))) {
        if (y + fm.height() > page_height && y > 0) {
            if (!printer.newPage()) throw std::runtime_error("打印失败。");
            y = 0;
        }
        painter.drawText(0, y + fm.ascent(), line);
        y += fm.lineSpacing();
    }
    if (!painter.end()) throw std::runtime_error("打印失败。");
}

void TMessageForm::buildDetailArea() {
    detail_panel_ = new QWidget(this);
    detail_panel_->setObjectName(QStringLiteral("DetailPanel"));
    auto* column = new QVBoxLayout(detail_panel_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* bar_panel = new QFrame(detail_panel_);
    bar_panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    bar_panel->setFixedHeight(kToolBarHeight);
    auto* row = new QHBoxLayout(bar_panel);
    row->setContentsMargins(1, 1, 1, 1);
    row->addWidget(MakeToolBar(this, bar_panel));
    column->addWidget(bar_panel);

    detail_text_ = new QPlainTextEdit(detail_panel_);
    detail_text_->setObjectName(QStringLiteral("DetailText"));
    detail_text_->setReadOnly(true);
    detail_text_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    detail_text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    column->addWidget(detail_text_);
}

std::unique_ptr<TMessageForm> CreateDetailMessageDialog(const QString& message, const QString& detail,
                                                        MsgDlgType kind, MsgDlgButtons buttons) {
    auto form = std::make_unique<TMessageForm>();
    const Layout l = PlanLayout(form->font(), message, kind, buttons);
    form->setFixedSize(l.client);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    form->move(screen.center() - form->rect().center());
    form->setWindowTitle(KindCaption(kind));
    if (l.has_icon) AddIcon(form.get(), l, kind);
    AddMessage(form.get(), l, message);

    form->buildDetailArea();
    form->detail_text_->setPlainText(detail);
    form->detail_panel_->setGeometry(l.u.h_spacing - 10, l.client.height(),
                                     l.client.width() - 2 * l.u.h_spacing + 20,
                                     162 - l.u.v_spacing);

    const ButtonRow row = AddButtons(form.get(), l, buttons);
    form->cancel_button_ = row.cancel;
    form->details_button_ = row.details;
    if (row.details)
        QObject::connect(row.details, &QPushButton::clicked, form.get(),
                         [f = form.get()] { f->toggleDetails(); });
    return form;
}

}  // namespace qv::widgets
