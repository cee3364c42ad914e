#include "tasks/result_total.h"

#include <algorithm>
#include <filesystem>

#include "core/database.h"
#include "core/run_journal.h"
#include "engine/crawl.h"

namespace qv::tasks {

void SaveResultTotal(const std::string& path, long long total) {
    Connection db(path, DatabaseKind::DataFile);
    db.Execute("CREATE TABLE IF NOT EXISTS ResultTotal (ID INTEGER PRIMARY KEY CHECK (ID = 1), Total INTEGER NOT NULL)");
    db.Execute("INSERT OR REPLACE INTO ResultTotal (ID, Total) VALUES (1, " + std::to_string(total) + ")");
}

SavedFigures ReadSavedFigures(const std::string& path) {
    SavedFigures figures;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return figures;
    try {
        // Opened as the task list's summary opens it: the journal mode is left alone.
        Connection db(path, DatabaseKind::Project);
        if (db.Query("SELECT COUNT(*) AS n FROM sqlite_master WHERE type='table' AND name='ResultTotal'")
                .Integer(0, "n") > 0) {
            DataPacket row = db.Query("SELECT Total FROM ResultTotal WHERE ID = 1");
            if (!row.rows.empty()) figures.total = row.Integer(0, "Total");
        }
        const SavedRun saved = ReadSavedRun(db);
        if (saved.position && saved.position->finished)
            figures.handled = std::max(figures.total.value_or(0), saved.rows);
        else if (saved.position)
            figures.handled = static_cast<long long>(saved.position->page_number - 1) * kEntriesPerPage +
                              saved.position->entries_done;
    } catch (const std::exception&) {
        return {};
    }
    return figures;
}

}  // namespace qv::tasks
