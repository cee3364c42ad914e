#include "ui/about_dialog.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/version.h"

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
    form->addRow(QStringLiteral("    版本："), Field(this, QString::fromUtf8(ProgramVersion())));
    QLineEdit* maker = Field(this, QString::fromUtf8(kMakerName));
    form->addRow(QStringLiteral("  开发商："), maker);
    auto* licence = new QPlainTextEdit(this);
    licence->setObjectName(QStringLiteral("licence"));
    licence->setReadOnly(true);
    licence->setPlainText(QString::fromUtf8(kLicenceText));
    licence->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    licence->setFixedHeight(licence->fontMetrics().lineSpacing() * 3 + 14);
    form->addRow(QStringLiteral("    许可："), licence);
    form->addRow(QStringLiteral("使用说明："), Field(this, QString::fromUtf8(kGuideText)));
    auto* back = new QPushButton(QStringLiteral("返回"), this);
    back->setDefault(true);
    connect(back, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(NewBanner(this));
    layout->addLayout(form);
    layout->addWidget(back, 0, Qt::AlignRight);
    setFixedSize(420, sizeHint().height());
    // The program has no web page of its own: whom to contact is its maker.
    if (contact) {
        maker->setFocus();
        maker->selectAll();  // ready to copy
    }
}

void ShowAboutBox(QWidget* owner, bool contact) {
    TAboutFrm box(owner, contact);
    box.exec();
}

}  // namespace qv::ui
