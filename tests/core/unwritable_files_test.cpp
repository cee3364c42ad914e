// Files this user may only read, files that are no data files, and a disk that fills up:
// reading writes nothing, a refusal changes nothing, and a failure names its cause.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/data_files.h"
#include "core/database.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/file_state.h"
#include "tests/support/member_files.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unprivileged.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

std::string Rows(const std::string& path, DatabaseKind kind) {
    Connection db(path, kind);
    return db.Query("SELECT COUNT(*) AS n FROM DataList").Text(0, "n");
}

using test::Mode;
using test::SideFiles;

class UnwritableFiles : public ::testing::Test {
protected:
    UnwritableFiles() {
        fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                        fs::perms::others_read | fs::perms::others_exec);
        fs::create_directory(folder);
        test::MakeDataFile(file, {test::Member("甲公司", "m1"), test::Member("乙公司", "m2")});
    }
    test::TempDir dir;
    std::string folder = dir.file("tasks");
    std::string file = folder + "/t.db";
};

TEST_F(UnwritableFiles, AFileInAReadOnlyFolderIsReadAndNothingIsMadeBesideIt) {
    ::chmod(file.c_str(), 0644);  // shared for reading
    ::chmod(folder.c_str(), 0555);
    QV_RUN_UNPRIVILEGED(seen, [&] {
        return Rows(file, DatabaseKind::ReadOnly) + " " + Rows(file, DatabaseKind::Project) + SideFiles(file);
    });
    EXPECT_EQ(seen, "2 2");
}

TEST_F(UnwritableFiles, AReadOnlyFileInAWritableFolderLeavesNoWalFilesBehind) {
    ::chmod(folder.c_str(), 0777);
    ::chmod(file.c_str(), 0444);
    QV_RUN_UNPRIVILEGED(seen, [&] {
        return Rows(file, DatabaseKind::ReadOnly) + " " + Rows(file, DatabaseKind::Project) + SideFiles(file);
    });
    EXPECT_EQ(seen, "2 2");
    EXPECT_EQ(SideFiles(file), "");
}

TEST_F(UnwritableFiles, ChangesStillInTheWalFileAreSeenWhereNothingMayBeWritten) {
    // A writer that died leaves its last record in the WAL file only.
    const pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        Connection db(file, DatabaseKind::DataFile);
        db.Execute("PRAGMA wal_autocheckpoint=0");
        db.Execute(BuildInsertStatement(test::Member("丙公司", "m3")));
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(writer, &status, 0);
    ASSERT_NE(SideFiles(file), "");
    for (const char* suffix : {"", "-wal", "-shm"}) ::chmod((file + suffix).c_str(), 0644);
    ::chmod(folder.c_str(), 0555);
    QV_RUN_UNPRIVILEGED(seen, [&] { return Rows(file, DatabaseKind::ReadOnly); });
    EXPECT_EQ(seen, "3");
}

TEST_F(UnwritableFiles, TheReadOnlyKindLeavesAWritableFilesFolderAsItWas) {
    EXPECT_EQ(Rows(file, DatabaseKind::ReadOnly), "2");
    EXPECT_EQ(SideFiles(file), "");
    Connection db(file, DatabaseKind::ReadOnly);
    EXPECT_THROW(db.Execute("DELETE FROM DataList"), DatabaseError);
}

TEST_F(UnwritableFiles, NewDataFilesAndTheirWalFilesAreTheOwnersAlone) {
    EXPECT_EQ(Mode(file), 0600u);
    Connection db(file, DatabaseKind::DataFile);
    db.Execute(BuildInsertStatement(test::Member("丙公司", "m3")));
    ASSERT_TRUE(fs::exists(file + "-wal"));
    EXPECT_EQ(Mode(file + "-wal"), 0600u);
    EXPECT_EQ(Mode(file + "-shm"), 0600u);
}

TEST_F(UnwritableFiles, FilesThatAreNoDataFilesAreToldApartAndLeftByteForByte) {
    const std::string empty = dir.file("empty.db"), noise = dir.file("noise.db"), other = dir.file("other.db");
    test::WriteFileBytes(empty, "");
    std::string bytes(8192, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7919 + 13) % 251);
    test::WriteFileBytes(noise, bytes);
    ASSERT_TRUE(CreateDatabaseFile(other, false));
    ExecuteOnDatabaseFile(other, "CREATE TABLE Notes (x TEXT)");
    const std::string other_bytes = test::ReadFileBytes(other);

    EXPECT_EQ(DataFileFault(file), "");
    EXPECT_EQ(DataFileFault(empty), "文件是空的（0 字节），不是数据文件");
    EXPECT_EQ(DataFileFault(noise).rfind("不是数据文件（", 0), 0u) << DataFileFault(noise);
    EXPECT_EQ(DataFileFault(other), "文件里没有 DataList 表，不是任务数据文件");
    EXPECT_EQ(DataFileFault(dir.file("missing.db")), "文件不存在");
    EXPECT_EQ(DataFileFault(folder), "不是普通文件");

    EXPECT_EQ(test::ReadFileBytes(empty), "");
    EXPECT_EQ(test::ReadFileBytes(noise), bytes);
    EXPECT_EQ(test::ReadFileBytes(other), other_bytes);
    for (const std::string& f : {empty, noise, other}) EXPECT_EQ(SideFiles(f), "") << f;
}

TEST_F(UnwritableFiles, AnUnreadableFileSaysSo) {
    ::chmod(file.c_str(), 0200);
    QV_RUN_UNPRIVILEGED(seen, [&] { return DataFileFault(file); });
    EXPECT_EQ(seen, "没有读取权限");
}

TEST_F(UnwritableFiles, WriteFailuresNameTheFileAndTheCauseInWords) {
    ::chmod(file.c_str(), 0644);
    QV_RUN_UNPRIVILEGED(readonly, [&] {
        try {
            Connection db(file, DatabaseKind::DataFile);
            db.Execute(BuildInsertStatement(test::Member("丙公司", "m3")));
        } catch (const DatabaseError& e) {
            return DataFileErrorText(file, e);
        }
        return std::string("written");
    });
    EXPECT_EQ(readonly, "数据文件 " + file + " 出错：没有写入权限（attempt to write a readonly database）");

    std::string full;
    {
        Connection db(file, DatabaseKind::DataFile);
        test::FileSizeLimit limit(fs::file_size(file) + 4096);
        try {
            db.Execute("BEGIN");
            for (int i = 0; i < 400; ++i) db.Execute(BuildInsertStatement(test::Member("公司" + std::to_string(i), "x")));
            db.Execute("COMMIT");
        } catch (const DatabaseError& e) {
            full = DataFileErrorText(file, e);
        }
    }
    EXPECT_EQ(full.rfind("数据文件 " + file + " 出错：文件过大（", 0), 0u) << full;
}

}  // namespace
}  // namespace qv
