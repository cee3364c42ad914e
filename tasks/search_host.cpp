#include "tasks/search_host.h"

#include "core/ini_file.h"
#include "core/text.h"
#include "tasks/search_url.h"

namespace qv {

std::string SearchHost(const std::string& settings_file) {
    std::string host = Trim(TIniFileEx::ReadString(settings_file, "Options", "SearchHost", ""));
    return host.empty() ? std::string(kDefaultSearchHost) : host;
}

}  // namespace qv
