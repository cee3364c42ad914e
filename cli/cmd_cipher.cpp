#include <CLI/CLI.hpp>

#include "cli/commands.h"

namespace qv::cli {

void AddCipherCommands(CLI::App& app, Context& ctx) {}

}  // namespace qv::cli
