#include <CLI/CLI.hpp>
#include <memory>
#include <stdexcept>
#include <string>

#include "cli/commands.h"
#include "core/field_cipher.h"

namespace qv::cli {
namespace {

struct CipherArgs {
    std::string key{FieldCipherKey};
    std::string text;
};

// Both commands print one line on success; a cipher error is the error text alone on
// stderr, so scripts can compare it.
template <typename Operation>
void AddCipherCommand(CLI::App& app, Context& ctx, const char* name, const char* description,
                      const char* text_name, const char* text_help, Operation operation) {
    auto args = std::make_shared<CipherArgs>();
    CLI::App* cmd = app.add_subcommand(name, description);
    cmd->add_option("--key", args->key, "Key text (only its first 8 bytes count)")
        ->capture_default_str();
    cmd->add_option(text_name, args->text, text_help)->required();
    cmd->callback([&ctx, args, operation] {
        try {
            ctx.streams.out << operation(args->text, args->key) << '\n';
            ctx.exit_code = 0;
        } catch (const std::runtime_error& e) {
            ctx.streams.err << e.what() << '\n';
            ctx.exit_code = 1;
        }
    });
}

}  // namespace

void AddCipherCommands(CLI::App& app, Context& ctx) {
    AddCipherCommand(app, ctx, "encipher", "Encipher a UTF-8 text as a member-record field",
                     "TEXT", "Plain text (UTF-8)", [](const std::string& text, const std::string& key) {
                         return EncipherTextHex(text, key);
                     });
    AddCipherCommand(app, ctx, "decipher", "Decipher a member-record field to UTF-8 text",
                     "HEX", "Enciphered text form (hex digits)", [](const std::string& hex, const std::string& key) {
                         return DecipherTextHex(hex, key);
                     });
}

}  // namespace qv::cli
