#pragma once
#include <string>

namespace qv {

// [Options] SearchHost of the settings file: the URL prefix of the company-search host
// (the marketplace's own when the file names none).
std::string SearchHost(const std::string& settings_file);

}  // namespace qv
