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

// The same for a page read through the proxy `proxy` names (Proxy::Shown, empty when none):
// whether the proxy or the site answered, and which proxy. "proxy HTTP 500" ->
// 代理服务器 host:port 应答 HTTP 500（服务器内部错误），没有转来网站的应答; "HTTP 500" ->
// 网站应答 HTTP 500（服务器内部错误），经代理服务器 host:port.
std::string CauseText(std::string_view cause, std::string_view proxy);

}  // namespace qv
