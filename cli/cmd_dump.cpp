#include <CLI/CLI.hpp>
#include <exception>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/commands.h"
#include "core/data_files.h"
#include "core/database.h"
#include "core/field_cipher.h"

namespace qv::cli {
namespace {

std::string ShownValue(const DataPacket& packet, size_t row, const MemberColumn& column) {
    std::string stored = packet.Text(row, column.name);
    if (!column.enciphered || stored.empty()) return stored;
    try {
        return DecipherTextHex(stored, FieldCipherKey);
    } catch (const std::exception&) {
        // A damaged cell is shown as it is stored rather than ending the dump.
        return stored;
    }
}

int Dump(const std::string& file, Streams& streams) {
    DataPacket packet;
    try {
        // Only read: dumping leaves the file as it was, and works where it may only be read.
        Connection connection(file, DatabaseKind::ReadOnly);
        packet = connection.Query("SELECT * FROM DataList ORDER BY ID");
    } catch (const DatabaseError& e) {
        streams.err << "dump: " << DataFileErrorText(file, e) << '\n';
        return 1;
    }
    for (size_t row = 0; row < packet.rows.size(); ++row) {
        nlohmann::ordered_json object;
        object["ID"] = packet.Integer(row, "ID");
        for (const auto& column : kMemberColumns)
            object[std::string(column.name)] = ShownValue(packet, row, column);
        // Cells written by other tools may hold bytes that are not UTF-8.
        streams.out << object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
                    << '\n';
    }
    return 0;
}

}  // namespace

void AddDumpCommand(CLI::App& app, Context& ctx) {
    auto* cmd = app.add_subcommand("dump", "Print every record of a data file as JSON lines");
    auto file = std::make_shared<std::string>();
    cmd->add_option("file", *file, "Task or category data file (.db)")->required();
    cmd->callback([file, &ctx] { ctx.exit_code = Dump(*file, ctx.streams); });
}

}  // namespace qv::cli
