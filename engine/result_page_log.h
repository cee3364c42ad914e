#pragma once
// The result pages one crawl has read. A site whose "next page" link leads back to a page
// already read (itself, or one further back) would otherwise be crawled for ever, storing
// the same companies again and again; a run that never ends is capped as well.
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>

namespace qv {

class ResultPageLog {
public:
    static constexpr std::size_t kMaxPages = 10'000;
    enum class Verdict { New, AlreadyRead, TooMany };

    // Records `url` as read unless it was read before or the cap is reached.
    Verdict Enter(std::string_view url);

private:
    std::unordered_set<std::string> read_;
};

// The form in which two spellings of one page compare equal: scheme and host in lower
// case, no default port, "/" for an empty path, no fragment. Path and query stay as sent.
std::string NormalizePageUrl(std::string_view url);

}  // namespace qv
