#include "tasks/search_host.h"

#include "core/ini_file.h"
#include "core/text.h"
#include "tasks/search_url.h"

namespace qv {

std::string SearchHost(const std::string& settings_file) {
    std::string host = Trim(ReadSetting(settings_file, settings::kSearchHost));
    return host.empty() ? std::string(kDefaultSearchHost) : host;
}

}  // namespace qv
