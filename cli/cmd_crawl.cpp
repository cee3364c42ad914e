#include <CLI/CLI.hpp>

#include "cli/commands.h"

namespace qv::cli {

void AddCrawlCommand(CLI::App& app, Context& ctx) {}

}  // namespace qv::cli
