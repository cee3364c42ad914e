#pragma once
// Opening a member's web pages (its introduction or its leave-a-message page) from the
// hidden link columns of a member grid.
#include <QString>
#include <functional>

namespace qv::widgets {

class MemberGridView;

inline constexpr int kSendMsgLinkColumn = 29;   // 发送留言
inline constexpr int kCmpDetailLinkColumn = 30;  // 查看会员详细信息

// True for the only addresses handed to the browser: http and https. A record's link
// comes from a web page and must never open a local file or start a program.
bool IsWebLink(const QString& link);

// Opens the link in `column` of the grid's current row in the system browser. Anything
// but a web address is not opened; `show_status` then receives "链接无效".
void OpenMemberLink(const MemberGridView& grid, int column,
                    const std::function<void(const QString&)>& show_status);

}  // namespace qv::widgets
