#include "engine/result_page_log.h"

namespace qv {
namespace {

std::string AsciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace

std::string NormalizePageUrl(std::string_view url) {
    url = url.substr(0, url.find('#'));
    const size_t scheme_end = url.find("://");
    if (scheme_end == std::string_view::npos) return std::string(url);
    const std::string scheme = AsciiLower(url.substr(0, scheme_end));
    std::string_view rest = url.substr(scheme_end + 3);
    const size_t authority_end = rest.find_first_of("/?");
    std::string authority = AsciiLower(rest.substr(0, authority_end));
    const std::string_view tail =
        authority_end == std::string_view::npos ? std::string_view{} : rest.substr(authority_end);
    const std::string default_port = scheme == "http" ? ":80" : scheme == "https" ? ":443" : "";
    if (!default_port.empty() && authority.ends_with(default_port))
        authority.resize(authority.size() - default_port.size());
    std::string out = scheme + "://" + authority;
    if (tail.empty() || tail.front() == '?') out += '/';
    out += tail;
    return out;
}

ResultPageLog::Verdict ResultPageLog::Enter(std::string_view url) {
    std::string key = NormalizePageUrl(url);
    if (read_.contains(key)) return Verdict::AlreadyRead;
    if (read_.size() >= kMaxPages) return Verdict::TooMany;
    read_.insert(std::move(key));
    return Verdict::New;
}

}  // namespace qv
