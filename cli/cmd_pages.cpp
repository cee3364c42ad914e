#include <CLI/CLI.hpp>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "core/gbk.h"
#include "engine/markup.h"
#include "engine/profile.h"

namespace qv::cli {
namespace {

// The whole file as bytes; an error line and exit code 1 when it cannot be read.
std::optional<std::string> ReadPageFile(const std::string& path, Context& ctx) {
    std::error_code ec;
    std::ifstream in(path, std::ios::binary);
    if (!std::filesystem::is_regular_file(path, ec) || !in) {
        ctx.streams.err << "cannot read " << path << '\n';
        ctx.exit_code = 1;
        return std::nullopt;
    }
    return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

void AddPageCommands(CLI::App& app, Context& ctx) {
    auto profile_file = std::make_shared<std::string>();
    CLI::App* profile = app.add_subcommand(
        "parse-profile", "Read the sixteen profile values of a saved company-profile page (GBK)");
    profile->add_option("file", *profile_file, "The saved page")->required();
    profile->callback([profile_file, &ctx] {
        std::optional<std::string> bytes = ReadPageFile(*profile_file, ctx);
        if (!bytes) return;
        const ProfileValues values = ParseProfilePage(DecodeAndNormalize(*bytes));
        for (int i = 0; i < kProfileValueCount; ++i)
            ctx.streams.out << kProfileColumnNames[i] << '\t' << Utf16ToUtf8(values[i]) << '\n';
    });

    auto result_file = std::make_shared<std::string>();
    CLI::App* count = app.add_subcommand(
        "result-count", "Print the result count of a saved search result page (GBK)");
    count->add_option("file", *result_file, "The saved page")->required();
    count->callback([result_file, &ctx] {
        std::optional<std::string> bytes = ReadPageFile(*result_file, ctx);
        if (!bytes) return;
        ctx.streams.out << Utf16ToUtf8(ResultCountText(GbkToUtf16(*bytes))) << '\n';
    });
}

}  // namespace qv::cli
