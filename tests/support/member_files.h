#pragma once
// Task data files with chosen records, for the tests of what reads many tasks.
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/data_files.h"
#include "core/database.h"

namespace qv::test {

// A record with a company name, a MemberID and any further fields (kMemberColumns index).
inline MemberValues Member(std::string name, std::string member_id,
                           std::initializer_list<std::pair<int, std::string>> more = {}) {
    MemberValues v{};
    v[mfCompanyName] = std::move(name);
    v[mfMemberID] = std::move(member_id);
    for (const auto& [field, value] : more) v[static_cast<size_t>(field)] = value;
    return v;
}

// A new data file at `path` holding `records` in this order (IDs from 1), as a crawl
// stores them: the enciphered fields enciphered.
inline void MakeDataFile(const std::string& path, const std::vector<MemberValues>& records) {
    if (!CreateDatabaseFile(path, true)) throw std::runtime_error("cannot create " + path);
    ExecuteOnDatabaseFile(path, kCreateDataListSql);
    Connection db(path, DatabaseKind::DataFile);
    db.Execute("BEGIN");
    for (const MemberValues& v : records) db.Execute(BuildInsertStatement(v));
    db.Execute("COMMIT");
}

}  // namespace qv::test
