#include <CLI/CLI.hpp>

#include "cli/commands.h"

namespace qv::cli {

void AddPageCommands(CLI::App& app, Context& ctx) {}

}  // namespace qv::cli
