#include <CLI/CLI.hpp>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "export/export_file.h"
#include "export/location_names.h"
#include "export/member_file_grid.h"

namespace qv::cli {
namespace {

struct ExportRun {
    std::string file;
    std::string out;
    LeadOptions leads;
};

int Export(const ExportRun& run, Context& ctx) {
    const exporting::ExportFormat format = *exporting::ExportFormatOf(run.out);
    std::optional<exporting::ExportOptions> options = run.leads.Options(format, ctx);
    if (!options) return 2;
    options->task_name = std::filesystem::path(run.file).stem().string();
    try {
        exporting::MemberFileGrid grid(run.file);
        exporting::ExportSummary summary = exporting::ExportGrid(grid, run.out, format, *options);
        if (std::string cut = exporting::CutCellsText(summary, format); !cut.empty())
            ctx.streams.err << cut << '\n';
        return 0;
    } catch (const std::exception& e) {
        ctx.streams.err << "数据导出失败。\n" << e.what() << '\n';
        return 1;
    }
}

}  // namespace

CLI::Validator OutputSpreadsheet() {
    return CLI::Validator(
        [](std::string& path) -> std::string {
            return exporting::ExportFormatOf(path) ? "" : "OUT must end in .xls, .xlsx, .csv or .vcf";
        },
        "XLS|XLSX|CSV|VCF");
}

void LeadOptions::Add(CLI::App& cmd) {
    cmd.add_flag("--phone-columns", phone_columns,
                 "add three columns after the grid's: the first mobile, phone and fax number of "
                 "each record in international form (+8675583456789); .xls, .xlsx and .csv");
    cmd.add_option("--crm", crm,
                   "write an import file of leads for a CRM instead, with its own column names: "
                   "hubspot, salesforce or zoho (.csv or .xlsx)")
        ->check(CLI::IsMember({"hubspot", "salesforce", "zoho"}, CLI::ignore_case));
}

std::optional<exporting::ExportOptions> LeadOptions::Options(exporting::ExportFormat format,
                                                             Context& ctx) const {
    exporting::ExportOptions options;
    options.phone_columns = phone_columns;
    if (!crm.empty()) {
        options.crm = exporting::CrmPresetOf(crm);
        if (format != exporting::ExportFormat::Csv && format != exporting::ExportFormat::Xlsx) {
            ctx.streams.err << "--crm needs OUT ending in .csv or .xlsx\n";
            return std::nullopt;
        }
    }
    if (format == exporting::ExportFormat::Vcf || options.crm) {
        try {
            const Profile& profile = ctx.LocatedProfile();
            options.locations =
                exporting::LocationNames::FromFirstOf({profile.ProjectDatabase(), profile.TemplateDatabase()});
        } catch (const std::exception&) {
            // Without a profile the cards and rows go out without city and province.
        }
    }
    return options;
}

void AddExportCommand(CLI::App& app, Context& ctx) {
    auto* cmd = app.add_subcommand("export",
                                   "Write a data file's member grid as a spreadsheet (.xls, .xlsx "
                                   "or .csv) or as contact cards (.vcf), by OUT's extension");
    auto run = std::make_shared<ExportRun>();
    cmd->add_option("file", run->file, "Task or category data file (.db)")->required();
    cmd->add_option("out", run->out, "File to write: .xls, .xlsx, .csv or .vcf")
        ->required()
        ->check(OutputSpreadsheet());
    run->leads.Add(*cmd);
    cmd->callback([run, &ctx] { ctx.exit_code = Export(*run, ctx); });
}

}  // namespace qv::cli
