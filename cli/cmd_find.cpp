#include <CLI/CLI.hpp>
#include <exception>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "core/data_files.h"
#include "core/find_in_tasks.h"
#include "core/text.h"

namespace qv::cli {
namespace {

struct FindRun {
    std::string text;
    std::vector<std::string> fields;
    TaskInput input;
};

std::string FieldNames() {
    std::string names;
    for (const FindField& f : FindFields()) names += (names.empty() ? "" : ", ") + std::string(f.name);
    return names;
}

int Find(const std::vector<TaskFile>& tasks, const FindQuery& query, Streams& streams) {
    bool all_read = true;
    FindReport report;
    report.hit = [&](size_t task, FindHit&& hit) {
        nlohmann::ordered_json object;
        object["task"] = tasks[task].name;
        object["ID"] = hit.id;
        for (size_t f = 0; f < kMemberColumns.size(); ++f)
            object[std::string(kMemberColumns[f].name)] = hit.record[f];
        // Cells written by other tools may hold bytes that are not UTF-8.
        streams.out << object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    };
    report.failed = [&](size_t task, const std::string& reason) {
        all_read = false;
        streams.err << "find: " << tasks[task].path << " is not a data file: " << reason << '\n';
    };
    FindInTasks(tasks, query, report);
    return all_read ? 0 : 1;
}

}  // namespace

void AddFindCommand(CLI::App& app, Context& ctx) {
    auto run = std::make_shared<FindRun>();
    auto* cmd = app.add_subcommand(
        "find",
        "Print, as JSON lines, every record of the data files whose field holds TEXT, with its "
        "task and ID; fields are searched as shown (enciphered ones deciphered)");
    cmd->add_option("text", run->text, "text to find (case-sensitive)")->required();
    cmd->add_option("--field", run->fields,
                    "field to search, as the window names it: " + FieldNames() +
                        "; repeatable; every field when left out")
        ->allow_extra_args(false);
    AddTaskInput(*cmd, run->input);
    cmd->callback([run, &ctx] {
        FindQuery query;
        query.text = Trim(run->text);
        if (query.text.empty()) throw CLI::ValidationError("text", "TEXT is empty");
        for (const std::string& name : run->fields) {
            auto field = FindFieldIndex(Trim(name));
            if (!field)
                throw CLI::ValidationError("--field", "no field " + name + "; the fields are " + FieldNames());
            query.fields.push_back(*field);
        }
        ctx.exit_code = Find(run->input.Tasks(ctx), query, ctx.streams);
    });
}

}  // namespace qv::cli
