#pragma once
// Database files: creating them, running a statement on one, the DataList layout shared
// by task and category files, and the guard that keeps task files inside Data/.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace qv {

inline constexpr int kMemberColumnCount = 32;

struct MemberColumn {
    std::string_view name;        // as the creation statement writes it (MemberID)
    std::string_view insert_name; // as the crawl's INSERT writes it (memberID)
    std::string_view grid_label;  // heading in the member grid; empty for ContactLink
    bool enciphered;
    int grid_column;              // member grid column, -1 for ContactLink
};

// The 32 data columns of DataList, in creation (and INSERT) order; ID comes before them.
extern const std::array<MemberColumn, kMemberColumnCount> kMemberColumns;

// Index into kMemberColumns, for the fields the code names directly.
enum MemberField : int {
    mfCompanyName, mfMemberID, mfMemberType, mfGoodIndex, mfSendMsgLink, mfContactLink,
    mfCmpDetail, mfLinkMan, mfSex, mfDuty, mfMobile, mfPhone, mfFax, mfAddress, mfPostCode,
    mfSiteUrl, mfCompanyContext, mfIndustry, mfProduct, mfCompanyType, mfCompanyMode,
    mfRegCapital, mfRegAddress, mfEmployee, mfRegDate, mfCorporation, mfMostlyClient,
    mfTurnover, mfDealAddress, mfBrand, mfBank, mfBankAccount
};

// One member record: the 32 values in plain text (UTF-8), in column order.
using MemberValues = std::array<std::string, kMemberColumnCount>;

// The statement that creates DataList in a new data file.
extern const std::string_view kCreateDataListSql;

// The crawl's INSERT for one company: the eight marked values enciphered, all quoted.
std::string BuildInsertStatement(const MemberValues& values);

// True when `path` is a file that a connection of this process holds open.
bool IsHeldOpen(const std::string& path);

// Creates a new, empty database file, readable and writable by its owner only (it holds
// people's names and numbers; SQLite gives its WAL files the same mode). With `overwrite`, an existing file is deleted
// first; false when it cannot be (or is held open). Without it, false when a file exists.
// Engine and file-system failures raise DatabaseError.
bool CreateDatabaseFile(const std::string& path, bool overwrite);
// Why the existing file at `path` cannot be a task's data file, in words (empty file,
// not a data file, damaged, no DataList table, no read permission), the engine's own
// text after them in brackets; empty when it can. It is read without writing anything, so a file that is refused is
// left byte for byte as it was.
std::string DataFileFault(const std::string& path);

// Opens the file with a connection of its own, runs one statement, closes it.
void ExecuteOnDatabaseFile(const std::string& path, std::string_view sql);

// The longest task name in bytes: the file system holds 255 bytes a name, and the
// longest name made from it is the rollback journal's "<name>.db-journal".
inline constexpr std::size_t kMaxTaskNameBytes = 255 - std::string_view(".db-journal").size();

// True when `name` can name a file directly inside Data/: not empty, no '/', not "." or
// "..", no NUL, and at most kMaxTaskNameBytes long.
bool IsUsableTaskName(std::string_view name);
// DataDir + name + ".db"; raises std::invalid_argument when the name is not usable.
std::string TaskDataFilePath(const std::string& data_dir, std::string_view name);

}  // namespace qv
