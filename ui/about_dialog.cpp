#include "ui/about_dialog.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace qv::ui {
namespace {

QLabel* NewBanner(QWidget* parent) {
    auto* banner = new QLabel(QString::fromUtf8(kProductName), parent);
    banner->setAlignment(Qt::AlignCenter);
    banner->setMinimumHeight(56);
    banner->setAutoFillBackground(true);
    QPalette palette = banner->palette();
    palette.setColor(QPalette::Window, QColor(0x1f, 0x4e, 0x8c));
    palette.setColor(QPalette::WindowText, Qt::white);
    banner->setPalette(palette);
    QFont font = banner->font();
    font.setPointSize(font.pointSize() + 9);
    font.setBold(true);
    banner->setFont(font);
    return banner;
}

QLineEdit* Field(QWidget* parent, const QString& text) {
    auto* field = new QLineEdit(text, parent);
    field->setReadOnly(true);
    return field;
}

}  // namespace

TAboutFrm::TAboutFrm(QWidget* owner, bool contact) : QDialog(owner) {
    setWindowTitle(contact ? QStringLiteral("联系信息") : QStringLiteral("关于"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("软件名称："), Field(this, QString::fromUtf8(kProductName)));
    form->addRow(QStringLiteral("    版本："), Field(this, QString::fromUtf8(kProductVersion)));
    form->addRow(QStringLiteral("  开发商："), Field(this, QString::fromUtf8(kMakerName)));
    auto* lines = new QPlainTextEdit(this);
    lines->setObjectName(QStringLiteral("ContactMEM"));
    lines->setReadOnly(true);
    lines->setPlainText(QStringLiteral("主页：%1\n意见反馈：%2")
                              .arg(QString::fromUtf8(kHomePage), QString::fromUtf8(kFeedbackPage)));
    lines->setLineWrapMode(QPlainTextEdit::NoWrap);
    lines->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lines->setFixedHeight(lines->fontMetrics().lineSpacing() * 2 + 14);
    form->addRow(QStringLiteral("联系方式："), lines);
    auto* back = new QPushButton(QStringLiteral("返回"), this);
    back->setDefault(true);
    connect(back, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(NewBanner(this));
    layout->addLayout(form);
    layout->addWidget(back, 0, Qt::AlignRight);
    setFixedSize(420, sizeHint().height());
    if (contact) {
        lines->setFocus();
        lines->selectAll();  // ready to copy
    }
}

void ShowAboutBox(QWidget* owner, bool contact) {
    TAboutFrm box(owner, contact);
    box.exec();
}

}  // namespace qv::ui
