#pragma once
// The second reading of a merge: the record each merged row keeps, read by ID from its
// file, as a grid the writers take row after row.
#include <memory>
#include <vector>

#include "core/task_file.h"
#include "export/export_file.h"
#include "export/merge_grouping.h"
#include "export/string_grid.h"

namespace qv::exporting::merging {

// The header, then each company with its task names and the kept record's cells as the
// member grid shows them. Rows must be asked for in order; reading fails with
// DatabaseError, or ExportError when a kept record is gone from its file.
std::unique_ptr<StringGrid> MergedRowsGrid(const std::vector<TaskFile>& tasks, const std::vector<Source>& sources,
                                           const std::vector<MergedRow>& rows);

// A whole grid copied into memory, for the .xls writer, which writes column by column.
std::unique_ptr<StringGrid> CopyGrid(const StringGrid& grid, const ExportProgress& progress);

}  // namespace qv::exporting::merging
