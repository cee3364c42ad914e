#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QObject>
#include <QUrl>

#include "widgets/member_grid.h"
#include "widgets/member_links.h"

namespace qv::test {
namespace {

// Takes the place of the system browser for the schemes it is registered for.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.append(url); }
};

TEST(MemberLinks, OnlyWebAddressesCountAsLinks) {
    for (const char* link : {"http://a.example/x", "https://a.example", "HTTP://A.EXAMPLE/p?q=1"})
        EXPECT_TRUE(widgets::IsWebLink(QString::fromUtf8(link))) << link;
    for (const char* link : {"", " ", "file:///etc/passwd", "/etc/passwd", "javascript:alert(1)",
                             "ftp://a.example/x", "mailto:a@b.c", "http:///nohost", "xdg-open:x"})
        EXPECT_FALSE(widgets::IsWebLink(QString::fromUtf8(link))) << link;
}

TEST(MemberLinks, OpensTheCurrentRowsCellAndRefusesAnythingElse) {
    UrlRecorder browser;
    for (const char* scheme : {"http", "https", "file"})
        QDesktopServices::setUrlHandler(QString::fromUtf8(scheme), &browser, "open");
    widgets::MemberGridView grid;
    widgets::InitMemberGrid(&grid);
    MemberValues first{}, second{};
    first[mfCompanyName] = "甲";
    first[mfSendMsgLink] = "http://msg.example/1";
    first[mfCmpDetail] = "file:///etc/passwd";
    second[mfCompanyName] = "乙";
    second[mfCmpDetail] = "https://detail.example/2";
    grid.memberModel()->QueueMember(first);
    grid.memberModel()->QueueMember(second);
    grid.memberModel()->FlushQueued();
    QString status;
    auto show_status = [&](const QString& text) { status = text; };

    grid.setCurrentIndex(grid.model()->index(1, 1));
    widgets::OpenMemberLink(grid, widgets::kCmpDetailLinkColumn, show_status);
    ASSERT_EQ(browser.opened.size(), 1);
    EXPECT_EQ(browser.opened[0].toString(), QStringLiteral("https://detail.example/2"));

    grid.setCurrentIndex(grid.model()->index(0, 1));
    widgets::OpenMemberLink(grid, widgets::kSendMsgLinkColumn, show_status);
    ASSERT_EQ(browser.opened.size(), 2);
    EXPECT_EQ(browser.opened[1].toString(), QStringLiteral("http://msg.example/1"));
    EXPECT_TRUE(status.isEmpty());

    widgets::OpenMemberLink(grid, widgets::kCmpDetailLinkColumn, show_status);
    EXPECT_EQ(browser.opened.size(), 2) << "a file: link is never handed on";
    EXPECT_EQ(status, QStringLiteral("链接无效"));
    for (const char* scheme : {"http", "https", "file"})
        QDesktopServices::unsetUrlHandler(QString::fromUtf8(scheme));
}

}  // namespace
}  // namespace qv::test

#include "member_links_test.moc"
