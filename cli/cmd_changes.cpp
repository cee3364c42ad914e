#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <exception>
#include <memory>
#include <set>
#include <string>

#include "cli/commands.h"
#include "core/change_log.h"
#include "core/database.h"
#include "core/saved_tasks.h"

namespace qv::cli {
namespace {

// The data file a command reads: FILE.db, or the data file of the saved task NAME.
struct FileOrTask {
    std::string file, task;

    std::string Path(Context& ctx, const char* command) const {
        if (task.empty()) return file;
        for (const SavedTask& t : ListSavedTasks(ctx.PreparedProfile()))
            if (t.name == task) {
                if (t.data_file.empty())
                    throw std::runtime_error(std::string(command) + "：任务 " + task + " 的名称不能作为文件名，没有数据文件");
                return t.data_file;
            }
        throw std::runtime_error(std::string(command) + "：没有名为 " + task + " 的任务");
    }
};

void AddFileOrTask(CLI::App& cmd, FileOrTask& input) {
    auto* file = cmd.add_option("file", input.file, "Task data file (.db)");
    auto* task = cmd.add_option("--task", input.task, "The data file of the saved task NAME");
    file->excludes(task);
    task->excludes(file);
}

std::string Json(const nlohmann::ordered_json& object) {
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// Runs `read` on the file opened only to read (nothing is written, nothing made beside it);
// a file that is not a data file is named with the reason.
template <typename Read>
int WithDataFile(const std::string& path, const char* command, Streams& streams, Read read) {
    try {
        Connection db(path, DatabaseKind::ReadOnly);
        db.Query("SELECT COUNT(*) FROM DataList");
        read(db);
    } catch (const std::exception& e) {
        streams.err << command << "：" << path << " 不是可以读取的数据文件：" << e.what() << '\n';
        return 1;
    }
    return 0;
}

struct ChangesArgs {
    FileOrTask input;
    std::string run = "last";
    std::vector<std::string> kinds;
};

int PrintChanges(Context& ctx, const ChangesArgs& args) {
    const std::string path = args.input.Path(ctx, "changes");
    const std::set<std::string> kinds(args.kinds.begin(), args.kinds.end());
    return WithDataFile(path, "changes", ctx.streams, [&](Connection& db) {
        std::optional<long long> run;
        if (args.run == "last") {
            const std::optional<RunRecord> last = LastRun(db);
            if (!last) return;
            run = last->id;
        } else if (args.run != "all") {
            run = std::stoll(args.run);
        }
        for (const ChangeRecord& c : ReadChanges(db, run)) {
            if (!kinds.empty() && !kinds.contains(c.kind)) continue;
            nlohmann::ordered_json o;
            o["time"] = c.at;
            o["run"] = c.run;
            o["kind"] = c.kind;
            o["ID"] = c.record_id;
            o["MemberID"] = c.member_id;
            o["CompanyName"] = c.company_name;
            if (c.kind == kChangeChanged) {
                o["field"] = c.field;
                o["before"] = c.before;
                o["after"] = c.after;
            }
            ctx.streams.out << Json(o) << '\n';
        }
    });
}

int PrintRuns(Context& ctx, const FileOrTask& input) {
    const std::string path = input.Path(ctx, "runs");
    return WithDataFile(path, "runs", ctx.streams, [&](Connection& db) {
        for (const RunRecord& r : ReadRuns(db)) {
            nlohmann::ordered_json o;
            o["run"] = r.id;
            o["kind"] = r.kind;
            o["started"] = r.started_at;
            o["ended"] = r.ended_at;
            o["outcome"] = r.outcome;
            o["added"] = r.added;
            o["changed"] = r.changed;
            o["gone"] = r.gone;
            ctx.streams.out << Json(o) << '\n';
        }
    });
}

// Runs a command's body; a task that cannot be found ends it with its reason.
template <typename Body>
void Guarded(Context& ctx, Body body) {
    try {
        ctx.exit_code = body();
    } catch (const std::exception& e) {
        ctx.streams.err << e.what() << '\n';
        ctx.exit_code = 1;
    }
}

}  // namespace

void AddChangeCommands(CLI::App& app, Context& ctx) {
    auto changes_args = std::make_shared<ChangesArgs>();
    auto* changes = app.add_subcommand(
        "changes", "Print what runs of a data file found, one JSON object a line: companies added, "
                   "fields changed (before and after), companies gone");
    AddFileOrTask(*changes, changes_args->input);
    changes->add_option("--run", changes_args->run, "last (the default), all, or a run number")
        ->check([](const std::string& v) -> std::string {
            if (v == "last" || v == "all") return {};
            const bool number = !v.empty() && std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; });
            return number ? std::string() : "expected last, all or a run number, got: " + v;
        });
    changes->add_option("--kind", changes_args->kinds, "Only these kinds: added, changed, gone")
        ->delimiter(',')
        ->check(CLI::IsMember({kChangeAdded, kChangeChanged, kChangeGone}));
    changes->callback([changes_args, &ctx] {
        if (changes_args->input.file.empty() && changes_args->input.task.empty())
            throw CLI::ValidationError("changes", "give FILE.db or --task NAME");
        Guarded(ctx, [&] { return PrintChanges(ctx, *changes_args); });
    });

    auto runs_input = std::make_shared<FileOrTask>();
    auto* runs = app.add_subcommand(
        "runs", "Print the runs of a data file, one JSON object a line: kind, start, end, outcome and "
                "the companies added, changed and gone");
    AddFileOrTask(*runs, *runs_input);
    runs->callback([runs_input, &ctx] {
        if (runs_input->file.empty() && runs_input->task.empty())
            throw CLI::ValidationError("runs", "give FILE.db or --task NAME");
        Guarded(ctx, [&] { return PrintRuns(ctx, *runs_input); });
    });
}

}  // namespace qv::cli
