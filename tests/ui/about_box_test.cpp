// The about box: the build's version, the licence and the local guide, and no web
// address, since the program has no page of its own to link to.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>

#include "core/version.h"
#include "ui/about_dialog.h"
#include "ui/main_window.h"

namespace qv {
namespace {

TEST(AboutBox, NamesTheBuildsVersionTheLicenceAndTheGuideAndNoWebAddress) {
    ui::TAboutFrm box(nullptr);
    QStringList texts;
    for (const QLineEdit* field : box.findChildren<QLineEdit*>()) texts << field->text();
    for (const QPlainTextEdit* field : box.findChildren<QPlainTextEdit*>()) texts << field->toPlainText();
    const QString all = texts.join(u'\n');
    EXPECT_TRUE(texts.contains(QString::fromUtf8(ProgramVersion()))) << all.toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral("版权所有"))) << all.toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral("帮助 → 使用说明"))) << all.toStdString();
    EXPECT_FALSE(all.contains(QStringLiteral("http"))) << all.toStdString();
    EXPECT_FALSE(all.contains(QStringLiteral("example"))) << all.toStdString();
    EXPECT_EQ(ui::WindowCaption(), QStringLiteral("Quorvane v") + QString::fromUtf8(ProgramVersion()));
}

}  // namespace
}  // namespace qv
