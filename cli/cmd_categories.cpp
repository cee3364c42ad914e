#include <CLI/CLI.hpp>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "core/data_files.h"
#include "core/database.h"
#include "core/text.h"
#include "sim/site_data.h"

namespace qv::cli {
namespace {

namespace fs = std::filesystem;

// Where the sample records' links point: the marketplace's own pages.
constexpr char kMarketplaceHost[] = "http://china.alibaba.com";

// Most categories are small and one in twelve is large, so the whole set stays a few tens
// of megabytes while the directory still shows what a big category is like.
int RecordCountOf(uint32_t seed, const std::string& category) {
    const uint64_t h = sim::StableHash(seed, "records:" + category);
    const uint64_t spread = h >> 8;
    return h % 12 == 0 ? static_cast<int>(400 + spread % 1601)
                       : static_cast<int>(20 + spread % 121);
}

// A quarter of the records still lack their company details, as a crawl without the
// detail option leaves them; the others carry every fact of their profile page.
MemberValues StoredValues(const SimCompany& company, uint32_t seed) {
    MemberValues values = company.ValuesWithoutDetail();
    if (sim::StableHash(seed, company.search_key, company.index) % 4 != 0)
        for (int f = 0; f <= kSimProfileFacts; ++f)
            values[mfCompanyContext + f] = company.profile[f];
    return values;
}

// Writes the file under a temporary name and renames it, so an interrupted run never
// leaves a half-written category behind.
void WriteCategoryFile(const fs::path& path, const std::vector<SimCompany>& companies,
                       uint32_t seed) {
    const std::string part = path.string() + ".part";
    CreateDatabaseFile(part, true);
    {
        // Category files are only ever read, and may be installed where nobody writes: in
        // rollback-journal mode, reading one creates nothing beside it.
        Connection db(part, DatabaseKind::Project);
        db.Query("PRAGMA journal_mode=DELETE");
        db.Execute(kCreateDataListSql);
        // One transaction for the whole file: a commit per record would take minutes.
        db.Execute("BEGIN");
        for (const SimCompany& company : companies)
            db.Execute(BuildInsertStatement(StoredValues(company, seed)));
        db.Execute("COMMIT");
    }
    fs::rename(part, path);
}

struct Args {
    std::string out, project;
    uint32_t seed = 1;
};

int MakeCategories(const Args& args, Streams& streams) {
    DataPacket categories;
    try {
        Connection project(args.project, DatabaseKind::Project);
        categories = project.Query(
            "SELECT d.ID AS ID, d.Name AS Name, i.Name AS GroupName FROM IndustryDetail d "
            "LEFT JOIN Industry i ON i.ID = d.ParentID ORDER BY d.ParentID, d.ID");
    } catch (const std::exception& e) {
        streams.err << "make-categories: cannot read the categories of " << args.project << ": "
                    << e.what() << '\n';
        return 1;
    }
    fs::create_directories(args.out);
    SiteData site(args.seed, 0, kMarketplaceHost);
    long records = 0;
    int files = 0;
    for (size_t row = 0; row < categories.rows.size(); ++row) {
        const std::string id = std::to_string(categories.Integer(row, "ID"));
        const std::string name = Trim(categories.Text(row, "Name"));
        const std::string file_name = "1." + id + "." + name + ".db";
        if (!IsUsableTaskName(file_name)) {
            streams.err << "make-categories: category " << id << " (" << name
                        << ") cannot name a file; skipped\n";
            continue;
        }
        const auto companies = site.CategoryDirectory(Trim(categories.Text(row, "GroupName")), name,
                                                      RecordCountOf(args.seed, name));
        WriteCategoryFile(fs::path(args.out) / file_name, companies, args.seed);
        records += static_cast<long>(companies.size());
        ++files;
    }
    streams.out << "made " << files << " category files with " << records << " records in "
                << args.out << '\n';
    return 0;
}

}  // namespace

void AddCategoriesCommand(CLI::App& app, Context& ctx) {
    auto args = std::make_shared<Args>();
    auto* cmd = app.add_subcommand(
        "make-categories",
        "Write a sample category file for every category of the project database");
    cmd->add_option("--out", args->out, "The category folder")->required();
    cmd->add_option("--project", args->project, "The project database")
        ->default_val("database/DefaultProject.db");
    cmd->add_option("--seed", args->seed, "The company generator's seed")->default_val(1);
    cmd->callback([args, &ctx] {
        try {
            ctx.exit_code = MakeCategories(*args, ctx.streams);
        } catch (const std::exception& e) {
            ctx.streams.err << "make-categories: " << e.what() << '\n';
            ctx.exit_code = 1;
        }
    });
}

}  // namespace qv::cli
