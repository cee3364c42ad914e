#pragma once
// quorvane-cli: every command is registered on one CLI11 app. Run is also what tests
// call in-process, with their own streams and profile.
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "core/profile.h"
#include "core/task_file.h"
#include "export/export_file.h"

namespace CLI {
class App;
class Validator;
}

namespace qv::cli {

struct Streams {
    std::ostream& out = std::cout;
    std::ostream& err = std::cerr;
};

// What a command's callback reports back to Run, and the profile it works in.
struct Context {
    Streams streams;
    int exit_code = 0;  // 0 success, 1 failure, 2 usage error
    // The profile the window would use, unless the caller gave one; found on first use.
    std::optional<Profile> profile;

    const Profile& LocatedProfile();
    // The profile with its folders made and its project database in place, as the window
    // would leave it at start; raises ProfileError.
    const Profile& PreparedProfile();
};

// Runs the tool with the given arguments (argv[0] is the program name); returns the
// process exit code. Without `profile`, the window's profile is used.
int Run(int argc, const char* const* argv, Streams streams = {},
        std::optional<Profile> profile = std::nullopt);

// One function per group of commands, each in its own file.
void AddCipherCommands(CLI::App& app, Context& ctx);   // encipher, decipher
void AddDumpCommand(CLI::App& app, Context& ctx);      // dump
void AddSearchUrlCommand(CLI::App& app, Context& ctx); // search-url
void AddPageCommands(CLI::App& app, Context& ctx);     // parse-profile, result-count
void AddCrawlCommand(CLI::App& app, Context& ctx);     // crawl
void AddSettingCommand(CLI::App& app, Context& ctx);   // setting
void AddCategoriesCommand(CLI::App& app, Context& ctx); // make-categories
void AddFailuresCommand(CLI::App& app, Context& ctx);  // failures
void AddExportCommand(CLI::App& app, Context& ctx);    // export
void AddTaskCommands(CLI::App& app, Context& ctx);     // tasks, add-task
void AddMergeCommand(CLI::App& app, Context& ctx);     // merge
void AddFindCommand(CLI::App& app, Context& ctx);      // find
void AddChangeCommands(CLI::App& app, Context& ctx);  // changes, runs

// OUT of the commands that write a spreadsheet: a name ending in .xls, .xlsx, .csv or .vcf.
CLI::Validator OutputSpreadsheet();
// --phone-columns and --crm of the commands that write records (export, merge).
struct LeadOptions {
    bool phone_columns = false;
    std::string crm;
    void Add(CLI::App& cmd);
    // The options for OUT's format; none, with the reason on stderr, for a CRM file in a
    // format it cannot be (a usage error).
    std::optional<exporting::ExportOptions> Options(exporting::ExportFormat format, Context& ctx) const;
};
// The tasks a command reads at once (merge, find), in task order: data files named on
// the command line, each the task of its file name without ".db", or with --all-tasks
// every saved task of the profile in the order of the task list.
struct TaskInput {
    std::vector<std::string> files;
    bool all_tasks = false;
    std::vector<TaskFile> Tasks(Context& ctx) const;
};
// Adds the command's FILE.db... arguments and --all-tasks, one of which must be given.
void AddTaskInput(CLI::App& cmd, TaskInput& input);

}  // namespace qv::cli
