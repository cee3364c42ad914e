#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "cli/commands.h"
#include "core/ini_file.h"

namespace qv::cli {

void AddSettingCommand(CLI::App& app, Context& ctx) {
    struct Args {
        std::string file, section, key;
        std::optional<std::string> value;
    };
    auto args = std::make_shared<Args>();
    auto* cmd = app.add_subcommand("setting", "Print a config.ini value, or set it when VALUE is given");
    cmd->add_option("--file", args->file, "The settings file (config.ini)")->required();
    cmd->add_option("section", args->section, "Section name")->required();
    cmd->add_option("key", args->key, "Key name")->required();
    cmd->add_option("value", args->value, "New value (UTF-8)");
    cmd->callback([args, &ctx] {
        try {
            if (args->value)
                TIniFileEx::WriteString(args->file, args->section, args->key, *args->value);
            else
                ctx.streams.out << TIniFileEx::ReadString(args->file, args->section, args->key, "") << '\n';
            ctx.exit_code = 0;
        } catch (const std::runtime_error& e) {
            ctx.streams.err << e.what() << '\n';
            ctx.exit_code = 1;
        }
    });
}

}  // namespace qv::cli
