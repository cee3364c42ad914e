#pragma once
// Why a page could not be read, in the words a Chinese user reads. The fetcher names causes
// in stable English words that scripts read (quorvane-cli failures); what the window and the
// task messages show comes from the one table behind CauseText.
#include <string>
#include <string_view>

namespace qv {

// "connection refused" -> 连接被拒绝, "HTTP 404" -> HTTP 404（网页不存在）, "proxy HTTP 403" ->
// 代理服务器应答 HTTP 403（禁止访问）; a cause the table does not know stays as it is.
std::string CauseText(std::string_view cause);

}  // namespace qv
