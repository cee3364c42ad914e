#include <CLI/CLI.hpp>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "cli/commands.h"
#include "core/file_fault.h"
#include "core/ini_file.h"
#include "core/profile.h"

namespace qv::cli {
namespace {

// The first setting of a new profile comes before the window ever ran: its folder is
// made (the owner's alone, as the profile's folders are), or the reason it cannot be is
// the error.
void MakeSettingsFolder(const std::string& file) {
    const std::filesystem::path dir = std::filesystem::path(file).parent_path();
    std::error_code ec;
    if (dir.empty() || std::filesystem::is_directory(dir, ec)) return;
    if (std::filesystem::exists(std::filesystem::symlink_status(dir, ec)))
        throw std::runtime_error("无法写入设置文件 " + file + "：" + dir.string() + " 不是文件夹");
    if (!MakePrivateFolders(dir.string(), ec))
        throw std::runtime_error("无法写入设置文件 " + file + "：无法建立文件夹 " + dir.string() + "：" +
                                 FileFaultText(ec.value()));
}

}  // namespace

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
            if (args->value) {
                MakeSettingsFolder(args->file);
                TIniFileEx::WriteString(args->file, args->section, args->key, *args->value);
            }
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
