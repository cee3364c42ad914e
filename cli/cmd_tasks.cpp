#include <CLI/CLI.hpp>
#include <exception>
#include <memory>
#include <optional>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/commands.h"
#include "core/saved_tasks.h"
#include "tasks/search_criteria.h"

namespace qv::cli {
namespace {

// "YYYY-MM-DD HH:MM:SS" (UTC) as ISO 8601; null when the file tells no time.
nlohmann::ordered_json IsoTime(const std::string& utc) {
    if (utc.size() != 19) return nullptr;
    std::string iso = utc;
    iso[10] = 'T';
    return iso + "Z";
}

void PrintTask(const SavedTask& t, std::ostream& out) {
    nlohmann::ordered_json o;
    o["id"] = t.id;
    o["name"] = t.name;
    o["url"] = t.url;
    o["remark"] = t.remark;
    o["records"] = t.file.records;
    o["state"] = t.file.state;
    o["last_run_end"] = IsoTime(t.file.last_run_end);
    o["data_file"] = t.data_file;
    out << o.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

bool IsWebAddress(const std::string& url) {
    for (const char* scheme : {"http://", "https://"}) {
        const std::string s = scheme;
        if (url.size() > s.size() && url.compare(0, s.size(), s) == 0) return true;
    }
    return false;
}

}  // namespace

void AddTaskCommands(CLI::App& app, Context& ctx) {
    auto* list = app.add_subcommand(
        "tasks", "Print the saved tasks of the window's task list, one JSON object a line");
    list->callback([&ctx] {
        try {
            for (const SavedTask& t : ListSavedTasks(ctx.PreparedProfile())) PrintTask(t, ctx.streams.out);
        } catch (const std::exception& e) {
            ctx.streams.err << "tasks: " << e.what() << '\n';
            ctx.exit_code = 1;
        }
    });

    auto row = std::make_shared<TaskRow>();
    auto remark = std::make_shared<std::optional<std::string>>();
    auto* add = app.add_subcommand(
        "add-task", "Save a task in the window's task list and make its empty data file");
    add->add_option("name", row->name, "Task name; it names the data file")->required();
    add->add_option("url", row->search_url, "Search URL (http or https)")->required();
    add->add_option("--remark", *remark,
                    "Remark shown in the task list (default: the search's filters, as 添加任务 proposes)");
    add->callback([row, remark, &ctx] {
        try {
            if (!IsWebAddress(row->search_url))
                throw std::runtime_error("not a web address (http or https): " + row->search_url);
            // The row holds the search's filters, as the dialog stores them.
            if (std::optional<TAddTaskResult> search = SearchOfUrl(row->search_url)) {
                row->province = search->Province;
                row->city = search->City;
                row->biztype_name = search->BiztypeName;
                row->established_year_name = search->EstablishedYearName;
                row->category_large_name = search->CategoryLargeName;
                row->only_ali_member = search->onlyAliMember;
                row->only_online_member = search->onlyOnlineMember;
                row->remark = DefaultTaskRemark(*search);
            }
            if (*remark) row->remark = **remark;
            PrintTask(AddSavedTask(ctx.PreparedProfile(), *row), ctx.streams.out);
        } catch (const std::exception& e) {
            ctx.streams.err << "add-task: " << e.what() << '\n';
            ctx.exit_code = 1;
        }
    });
}

}  // namespace qv::cli
