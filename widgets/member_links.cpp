#include "widgets/member_links.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QUrl>

#include <utility>

#include "widgets/dialog_ex.h"
#include "widgets/member_grid.h"

namespace qv::widgets {
namespace {

UrlOpener& Opener() {
    static UrlOpener opener;
    return opener;
}

}  // namespace

UrlOpener SetUrlOpener(UrlOpener opener) { return std::exchange(Opener(), std::move(opener)); }

bool OpenUrl(const QUrl& url) { return Opener() ? Opener()(url) : QDesktopServices::openUrl(url); }

void OpenWebAddress(const QUrl& url) {
    if (OpenUrl(url)) return;
    const QString address = url.toString();
    QGuiApplication::clipboard()->setText(address);
    ShowWarning(QStringLiteral("无法打开浏览器。网址已经复制到剪贴板，可以粘贴到浏览器中打开：\r\n") + address);
}

bool IsWebLink(const QString& link) {
    QUrl url(link);
    QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == u"http" || scheme == u"https") && !url.host().isEmpty();
}

void OpenMemberLink(const MemberGridView& grid, int column,
                    const std::function<void(const QString&)>& show_status) {
    // The record of the row as shown, whatever the sort or the filter.
    const int record = grid.CurrentRecord();
    // The link is used as stored, blanks included: it is the address the page gave.
    QString link = grid.memberModel()->Cell(record, column);
    if (!IsWebLink(link)) {
        show_status(QStringLiteral("链接无效"));
        return;
    }
    OpenWebAddress(QUrl(link));
}

}  // namespace qv::widgets
