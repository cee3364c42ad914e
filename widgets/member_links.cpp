#include "widgets/member_links.h"

#include <QDesktopServices>
#include <QUrl>

#include "widgets/member_grid.h"

namespace qv::widgets {

bool IsWebLink(const QString& link) {
    QUrl url(link);
    QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == u"http" || scheme == u"https") && !url.host().isEmpty();
}

void OpenMemberLink(const MemberGridView& grid, int column,
                    const std::function<void(const QString&)>& show_status) {
    int record = grid.CurrentGridRow() - 1;
    const MemberGridModel& model = *grid.memberModel();
    // The link is used as stored, blanks included: it is the address the page gave.
    QString link = record < model.RecordCount() ? model.Cell(record, column) : QString();
    if (!IsWebLink(link)) {
        show_status(QStringLiteral("链接无效"));
        return;
    }
    QDesktopServices::openUrl(QUrl(link));
}

}  // namespace qv::widgets
