#include <CLI/CLI.hpp>
#include <exception>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "export/export_file.h"
#include "export/member_file_grid.h"

namespace qv::cli {
namespace {

int Export(const std::string& file, const std::string& out, exporting::ExportFormat format,
           Streams& streams) {
    try {
        exporting::MemberFileGrid grid(file);
        exporting::ExportGrid(grid, out, format);
        return 0;
    } catch (const std::exception& e) {
        streams.err << "数据导出失败。\n" << e.what() << '\n';
        return 1;
    }
}

}  // namespace

CLI::Validator OutputSpreadsheet() {
    return CLI::Validator(
        [](std::string& path) -> std::string {
            return exporting::ExportFormatOf(path) ? "" : "OUT must end in .xls, .xlsx or .csv";
        },
        "XLS|XLSX|CSV");
}

void AddExportCommand(CLI::App& app, Context& ctx) {
    auto* cmd = app.add_subcommand("export",
                                   "Write a data file's member grid as a spreadsheet (.xls, .xlsx "
                                   "or .csv by OUT's extension)");
    auto file = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    cmd->add_option("file", *file, "Task or category data file (.db)")->required();
    cmd->add_option("out", *out, "Spreadsheet to write: .xls, .xlsx or .csv")
        ->required()
        ->check(OutputSpreadsheet());
    cmd->callback([file, out, &ctx] {
        ctx.exit_code = Export(*file, *out, *exporting::ExportFormatOf(*out), ctx.streams);
    });
}

}  // namespace qv::cli
