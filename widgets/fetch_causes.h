#pragma once
// The window's words for why a page could not be read (engine/cause_text.h).
#include <QString>
#include <string>

namespace qv::widgets {

// The Chinese text of a fetcher's cause ("connection refused" -> 连接被拒绝, "HTTP 404" ->
// HTTP 404（网页不存在）); a cause the table does not know is shown as it is.
QString ShownCause(const std::string& cause);
// The same for a page read through the proxy `proxy` names (empty: none): which of the two
// answered, and the proxy's address.
QString ShownCause(const std::string& cause, const std::string& proxy);

// The detail of a failed fetch for a message box: the address and, when known, the cause.
QString FailedFetchDetail(const QString& url, const std::string& cause, const std::string& proxy = {});

}  // namespace qv::widgets
