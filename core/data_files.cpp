#include "core/data_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "core/database.h"
#include "core/field_cipher.h"
#include "core/text.h"

namespace qv {

const std::array<MemberColumn, kMemberColumnCount> kMemberColumns = {{
    {"CompanyName", "CompanyName", "公司名称", true, 1},
    {"MemberID", "memberID", "会员帐号", true, 2},
    {"MemberType", "memberType", "会员类型", false, 3},
    {"GoodIndex", "goodIndex", "诚信通指数", false, 4},
    {"SendMsgLink", "sendMsgLink", "发送留言链接", false, 29},
    {"ContactLink", "ContactLink", "", false, -1},
    {"sCmpDetail", "sCmpDetail", "公司介绍链接", false, 30},
    {"LinkMan", "linkMan", "联系人", true, 5},
    {"Sex", "sex", "称呼", false, 6},
    {"Duty", "duty", "职务", false, 7},
    {"Mobile", "mobile", "移动电话", true, 8},
    {"Phone", "phone", "电话", true, 9},
    {"Fax", "fax", "传真", true, 10},
    {"Address", "address", "地址", false, 11},
    {"PostCode", "postcode", "邮编", false, 12},
    {"SiteUrl", "siteurl", "公司网址", false, 13},
    {"CompanyContext", "CompanyContext", "公司介绍", false, 31},
    {"Industry", "Industry", "主营行业", false, 14},
    {"Product", "Product", "主营产品或服务", false, 15},
    {"CompanyType", "CompanyType", "企业类型", false, 16},
    {"CompanyMode", "CompanyMode", "经营模式", false, 17},
    {"RegCapital", "RegCapital", "注册资本", false, 18},
    {"RegAddress", "RegAddress", "公司注册地", false, 19},
    {"Employee", "Employee", "员工人数", false, 20},
    {"RegDate", "RegDate", "公司成立时间", false, 21},
    {"Corporation", "Corporation", "法定代表人/负责人", false, 22},
    {"MostlyClient", "MostlyClient", "主要客户", false, 23},
    {"Turnover", "Turnover", "年营业额", false, 24},
    {"DealAddress", "DealAddress", "主要经营地点", false, 25},
    {"Brand", "Brand", "经营品牌", false, 26},
    {"Bank", "Bank", "开户银行", true, 27},
    {"BankAccount", "BankAccount", "银行帐号", true, 28},
}};

const std::string_view kCreateDataListSql =
    "create table DataList (   ID                   Counter,"
    "   CompanyName          text                 null,"
    "    MemberID             text                 null,"
    "    MemberType           text                 null,"
    "    GoodIndex            text                 null,"
    "    SendMsgLink          text                 null,"
    "    ContactLink          text                 null,"
    "    sCmpDetail           text                 null,"
    "    LinkMan              text                 null,"
    "    Sex                  text                 null,"
    "    Duty                 text                 null,"
    "    Mobile               text                 null,"
    "    Phone                text                 null,"
    "    Fax                  text                 null,"
    "    Address              text                 null,"
    "    PostCode             text                 null,"
    "    SiteUrl              text                 null,"
    "    CompanyContext       text                 null,"
    "    Industry             text                 null,"
    "    Product              text                 null,"
    "    CompanyType          text                 null,"
    "    CompanyMode          text                 null,"
    "    RegCapital           text                 null,"
    "    RegAddress           text                 null,"
    "    Employee             text                 null,"
    "    RegDate              text                 null,"
    "    Corporation          text                 null,"
    "    MostlyClient         text                 null,"
    "    Turnover             text                 null,"
    "    DealAddress          text                 null,"
    "    Brand                text                 null,"
    "    Bank                 text                 null,"
    "    BankAccount          text                 null,"
    "    Primary key (ID) )";

namespace {

constexpr std::string_view kInsertHead =
    "insert into datalist(CompanyName,memberID,memberType,goodIndex,sendMsgLink,ContactLink,"
    "sCmpDetail,linkMan,sex,duty,mobile,phone,fax,address,postcode,siteurl,CompanyContext,"
    "Industry,Product,CompanyType,CompanyMode,RegCapital,RegAddress,Employee,RegDate,"
    "Corporation,MostlyClient,Turnover,DealAddress,Brand,Bank,BankAccount) values(";

// The files SQLite keeps beside a database. A stale write-ahead log left by a killed
// process would be replayed into a new file of the same name, so they go with it.
constexpr std::string_view kSideFileSuffixes[] = {"-wal", "-shm", "-journal"};

bool RemoveSideFiles(const std::string& path) {
    bool removed_all = true;
    for (auto suffix : kSideFileSuffixes) {
        std::error_code ec;
        std::filesystem::remove(path + std::string(suffix), ec);
        if (ec) removed_all = false;
    }
    return removed_all;
}

[[noreturn]] void RaiseSystemError(const std::string& path, int error) {
    throw DatabaseError(std::string(std::strerror(error)) + ": " + path);
}

// Makes the empty file exclusively, so an existing file is never taken over.
// False when a file appeared meanwhile.
bool MakeEmptyFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (errno == EEXIST) return false;
        RaiseSystemError(path, errno);
    }
    ::close(fd);
    return true;
}

void InitialiseDatabase(const std::string& path) {
    // The zero-length file is a valid empty database; writing the WAL mode gives it its
    // header and makes the mode persistent.
    Connection connection(path, DatabaseKind::DataFile);
    connection.Query("PRAGMA journal_mode=WAL");
}

}  // namespace

std::string BuildInsertStatement(const MemberValues& values) {
    std::string sql(kInsertHead);
    for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0) sql.push_back(',');
        const std::string& value = values[i];
        sql += QuotedStr(kMemberColumns[i].enciphered && !value.empty()
                             ? EncipherTextHex(value, FieldCipherKey)
                             : value);
    }
    sql.push_back(')');
    return sql;
}

bool IsHeldOpen(const std::string& path) { return IsPathOpen(path); }

bool CreateDatabaseFile(const std::string& path, bool overwrite) {
    std::error_code ec;
    auto type = std::filesystem::symlink_status(path, ec).type();
    bool exists = type != std::filesystem::file_type::not_found;
    if (exists && (!overwrite || type == std::filesystem::file_type::directory)) return false;
    if (exists) {
        if (IsHeldOpen(path)) return false;
        if (!std::filesystem::remove(path, ec) || ec) return false;
    }
    if (IsHeldOpen(path) || !RemoveSideFiles(path)) return false;
    if (!MakeEmptyFile(path)) return false;
    try {
        InitialiseDatabase(path);
    } catch (...) {
        // Nothing half-made is left behind under the name.
        std::filesystem::remove(path, ec);
        RemoveSideFiles(path);
        throw;
    }
    return true;
}

std::string DataFileFault(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return errno == ENOENT ? "文件不存在" : "无法读取文件：" + std::string(std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return "不是普通文件";
    if (::access(path.c_str(), R_OK) != 0) return "没有读取权限";
    if (st.st_size == 0) return "文件是空的（0 字节），不是数据文件";
    try {
        Connection db(path, DatabaseKind::ReadOnly);
        if (db.Query("SELECT name FROM sqlite_master WHERE type='table' AND name='DataList'").rows.empty())
            return "文件里没有 DataList 表，不是任务数据文件";
        db.Query("SELECT ID FROM DataList LIMIT 1");
    } catch (const DatabaseError& e) {
        const std::string words = DatabaseFaultWords(e);
        return words.empty() ? std::string(e.what()) : words + "（" + e.what() + "）";
    }
    return {};
}

void ExecuteOnDatabaseFile(const std::string& path, std::string_view sql) {
    Connection connection(path, DatabaseKind::DataFile);
    connection.Execute(sql);
}

bool IsUsableTaskName(std::string_view name) {
    static_assert(kMaxTaskNameBytes + std::string_view(".db-journal").size() <= NAME_MAX);
    if (name.empty() || name == "." || name == "..") return false;
    if (name.find('/') != std::string_view::npos) return false;
    if (name.find('\0') != std::string_view::npos) return false;
    return name.size() <= kMaxTaskNameBytes;
}

std::string TaskDataFilePath(const std::string& data_dir, std::string_view name) {
    if (!IsUsableTaskName(name))
        throw std::invalid_argument("not a usable task file name: " + std::string(name));
    std::string path = data_dir;
    if (!path.empty() && path.back() != '/') path.push_back('/');
    return path + std::string(name) + ".db";
}

}  // namespace qv
