#pragma once
// Every table of a data file as text, row by row in storage order, for comparing two
// files' contents. The times a run and its failures were noted are blanked: two runs
// never share them.
#include <string>

#include "core/database.h"

namespace qv::test {

inline std::string DumpDataFile(const std::string& path) {
    Connection db(path, DatabaseKind::DataFile);
    std::string out;
    DataPacket tables = db.Query("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name");
    for (size_t t = 0; t < tables.rows.size(); ++t) {
        const std::string name = tables.Text(t, "name");
        out += "[" + name + "]\n";
        DataPacket rows = db.Query("SELECT * FROM \"" + name + "\" ORDER BY rowid");
        for (size_t r = 0; r < rows.rows.size(); ++r) {
            for (size_t c = 0; c < rows.columns.size(); ++c) {
                const std::string& column = rows.columns[c];
                const bool noted_at = column == "StartedAt" || column == "FailedAt" || column == "EndedAt" ||
                                      column == "At";
                const auto& cell = rows.rows[r][c];
                out += column + "=" + (noted_at ? "*" : cell ? *cell : "NULL") + "\t";
            }
            out += "\n";
        }
    }
    return out;
}

}  // namespace qv::test
