#include <CLI/CLI.hpp>

#include "cli/commands.h"

namespace qv::cli {

void AddDumpCommand(CLI::App& app, Context& ctx) {}

}  // namespace qv::cli
