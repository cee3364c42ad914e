#pragma once
// A data file's records as text, and what a faultless crawl of the simulator stores, for
// comparing the two whole.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "core/data_files.h"
#include "core/database.h"
#include "sim/site_data.h"
#include "tests/support/scheduled_crawl.h"
#include "tests/support/temp_dir.h"

namespace qv::test {

using FileRows = std::vector<std::vector<std::string>>;

// Every DataList row in ID order, its cells as stored, without the ID.
inline FileRows FileRecords(const std::string& file) {
    Connection db(file, DatabaseKind::DataFile);
    FileRows rows;
    db.ForEachRow("SELECT * FROM DataList ORDER BY ID", [&](const Connection::RowView& row) {
        auto& r = rows.emplace_back();
        for (size_t i = 1; i < row.cells.size(); ++i) r.emplace_back(row.cells[i]);
    });
    return rows;
}

// What a faultless crawl stores for the first `count` companies, as the file holds them.
inline FileRows ExpectedRecords(const std::vector<SimCompany>& companies, size_t count, bool detail) {
    TempDir dir;
    const std::string file = NewDataFile(dir.path().string(), "expected");
    {
        Connection db(file, DatabaseKind::DataFile);
        for (size_t i = 0; i < count; ++i)
            db.Execute(BuildInsertStatement(detail ? companies[i].values : companies[i].ValuesWithoutDetail()));
    }
    return FileRecords(file);
}

// Whether two files' records are equal, and when not, how they differ in short: counts,
// rows stored twice, the first row that differs and in which columns (gtest would print
// only the first 32 rows of each whole).
inline ::testing::AssertionResult SameRecords(const FileRows& actual, const FileRows& expected) {
    if (actual == expected) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure();
    failure << actual.size() << " records, expected " << expected.size() << ".";
    std::set<std::vector<std::string>> seen;
    for (size_t i = 0; i < actual.size(); ++i)
        if (!seen.insert(actual[i]).second) failure << " Row " << i + 1 << " is stored twice.";
    for (size_t i = 0; i < std::min(actual.size(), expected.size()); ++i) {
        if (actual[i] == expected[i]) continue;
        failure << " Row " << i + 1 << " differs in column(s)";
        for (size_t c = 0; c < std::min(actual[i].size(), expected[i].size()); ++c)
            if (actual[i][c] != expected[i][c])
                failure << " " << c + 1 << " ('" << actual[i][c].substr(0, 60) << "' for '"
                        << expected[i][c].substr(0, 60) << "')";
        failure << ".";
        break;
    }
    return failure;
}

}  // namespace qv::test
