#pragma once
// The search behind a search URL, read back: what the add-task dialog would have returned
// for it. The command line saves tasks from a URL alone and stores them as the dialog does.
#include <optional>
#include <string_view>

#include "tasks/search_url.h"

namespace qv {

// nullopt for a URL that is not a company search (another path, neither a keyword nor a
// category). Captions come from the code tables; a code they lack gives an empty caption.
std::optional<TAddTaskResult> SearchOfUrl(std::string_view url);

}  // namespace qv
