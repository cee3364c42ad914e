#pragma once
// Opening a member's web pages (its introduction or its leave-a-message page) from the
// hidden link columns of a member grid.
#include <QString>
#include <QUrl>
#include <functional>

namespace qv::widgets {

class MemberGridView;

inline constexpr int kSendMsgLinkColumn = 29;   // 发送留言
inline constexpr int kCmpDetailLinkColumn = 30;  // 查看会员详细信息

// True for the only addresses handed to the browser: http and https. A record's link
// comes from a web page and must never open a local file or start a program.
bool IsWebLink(const QString& link);

// Hands a web address to the system browser. When no browser takes it, the address goes
// on the clipboard and a warning says so, so that the user can paste it into one.
void OpenWebAddress(const QUrl& url);

// What hands an address to the system: QDesktopServices::openUrl unless replaced (tests
// stand in for a desktop without a browser). Returns the one it replaces.
using UrlOpener = std::function<bool(const QUrl&)>;
UrlOpener SetUrlOpener(UrlOpener opener);
// Hands `url` to that opener; false when nothing took it.
bool OpenUrl(const QUrl& url);

// Opens the link in `column` of the grid's current row in the system browser. Anything
// but a web address is not opened; `show_status` then receives "链接无效".
void OpenMemberLink(const MemberGridView& grid, int column,
                    const std::function<void(const QString&)>& show_status);

}  // namespace qv::widgets
