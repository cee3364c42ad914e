#include "core/database.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "core/data_files.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

class DatabaseTest : public ::testing::Test {
protected:
    Connection NewDatabase(const std::string& name = "t.db") {
        std::string path = dir.file(name);
        if (!CreateDatabaseFile(path, false)) throw std::runtime_error("cannot create " + path);
        return Connection(path, DatabaseKind::DataFile);
    }
    test::TempDir dir;
};

TEST_F(DatabaseTest, OpenNeverCreatesAndRefusesFilesThatAreNoDatabase) {
    std::string missing = dir.file("missing.db");
    EXPECT_THROW(Connection(missing, DatabaseKind::DataFile), DatabaseError);
    EXPECT_FALSE(std::filesystem::exists(missing));

    std::string text = dir.file("notes.db");
    test::WriteFileBytes(text, std::string(4096, 'x'));
    try {
        Connection c(text, DatabaseKind::DataFile);
        FAIL() << "a text file opened as a database";
    } catch (const DatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("not a database"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
    }
    EXPECT_FALSE(IsPathOpen(text));
}

TEST_F(DatabaseTest, OneStatementPerCall) {
    Connection c = NewDatabase();
    c.Execute("CREATE TABLE a (x TEXT)");
    EXPECT_THROW(c.Execute("INSERT INTO a VALUES('1'); DROP TABLE a"), DatabaseError);
    EXPECT_THROW(c.Query("SELECT * FROM a; SELECT 1"), DatabaseError);
    EXPECT_THROW(c.Execute("  ;  "), DatabaseError);
    // Nothing of a refused text ran, not even its first statement.
    EXPECT_TRUE(c.Query("SELECT * FROM a").rows.empty());
    // Trailing blanks and semicolons are no second statement.
    c.Execute("INSERT INTO a VALUES('1');; \n");
    EXPECT_EQ(c.Query("SELECT * FROM a ;").rows.size(), 1u);
}

TEST_F(DatabaseTest, EngineErrorsCarryTheEngineText) {
    Connection c = NewDatabase();
    try {
        c.Query("SELECT * FROM Nowhere");
        FAIL();
    } catch (const DatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("no such table"), std::string::npos) << e.what();
    }
    c.Execute("CREATE TABLE u (k TEXT UNIQUE)");
    c.Execute("INSERT INTO u VALUES('a')");
    EXPECT_THROW(c.Execute("INSERT INTO u VALUES('a')"), DatabaseError);
}

TEST_F(DatabaseTest, CounterKeyNumbersRowsInInsertOrder) {
    Connection c = NewDatabase();
    c.Execute("create table T (ID counter, Name text null default 'Counter', Primary key (ID))");
    c.Execute("insert into t(name) values('b')");
    c.Execute("insert into t(name) values('a')");
    c.Execute("insert into t default values");
    DataPacket p = c.Query("SELECT * FROM T ORDER BY ID");
    ASSERT_EQ(p.rows.size(), 3u);
    EXPECT_EQ(p.Integer(0, "id"), 1);
    EXPECT_EQ(p.Integer(1, "ID"), 2);
    EXPECT_EQ(p.Text(1, "NAME"), "a");
    // Only the type word is adapted; quoted text keeps the word.
    EXPECT_EQ(p.Text(2, "Name"), "Counter");
    // Counter outside CREATE TABLE is left to the engine.
    c.Execute("CREATE TABLE w (Counter TEXT)");
    c.Execute("INSERT INTO w (Counter) VALUES ('x')");
    EXPECT_EQ(c.Query("SELECT counter FROM w").Text(0, "Counter"), "x");
}

TEST_F(DatabaseTest, PacketCellsAndColumnLookup) {
    Connection c = NewDatabase();
    c.Execute("CREATE TABLE p (MemberID TEXT, n INTEGER)");
    c.Execute("INSERT INTO p VALUES(NULL, 42)");
    c.Execute("INSERT INTO p VALUES('', NULL)");
    DataPacket p = c.Query("SELECT * FROM p ORDER BY rowid");
    ASSERT_EQ(p.columns.size(), 2u);
    EXPECT_EQ(p.ColumnIndex("memberid"), 0);
    EXPECT_EQ(p.ColumnIndex("missing"), -1);
    EXPECT_FALSE(p.rows[0][0].has_value());
    ASSERT_TRUE(p.rows[1][0].has_value());
    EXPECT_EQ(*p.rows[1][0], "");
    EXPECT_EQ(p.Text(0, "MemberID"), "");
    EXPECT_EQ(p.Integer(0, "N"), 42);
    EXPECT_EQ(p.Integer(1, "n"), 0);
    EXPECT_EQ(p.Text(0, "missing"), "");
    EXPECT_EQ(p.Text(9, "n"), "");
}

TEST_F(DatabaseTest, DataFilesUseTheWriteAheadLog) {
    Connection c = NewDatabase();
    EXPECT_EQ(c.Query("PRAGMA journal_mode").Text(0, "journal_mode"), "wal");
    EXPECT_EQ(c.Query("PRAGMA synchronous").Integer(0, "synchronous"), 1);  // NORMAL
    EXPECT_EQ(c.Query("PRAGMA busy_timeout").Integer(0, "timeout"), 5000);
}

TEST_F(DatabaseTest, WriteProtectedDataFileCanStillBeRead) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    std::string path = dir.file("category.db");
    {
        Connection c = NewDatabase("category.db");
        c.Execute("PRAGMA journal_mode=DELETE");
        c.Execute("CREATE TABLE DataList (CompanyName TEXT)");
        c.Execute("INSERT INTO DataList VALUES ('x')");
    }
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    Connection c(path, DatabaseKind::DataFile);
    EXPECT_EQ(c.Query("SELECT * FROM DataList").rows.size(), 1u);
    EXPECT_THROW(c.Execute("DELETE FROM DataList"), DatabaseError);
}

TEST_F(DatabaseTest, ARollbackJournalFileReadsFromAReadOnlyFolder) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    std::string path = dir.file("shipped/category.db");
    std::filesystem::create_directories(dir.file("shipped"));
    CreateDatabaseFile(path, false);
    {
        Connection c(path, DatabaseKind::Project);
        c.Query("PRAGMA journal_mode=DELETE");
        c.Execute("CREATE TABLE DataList (CompanyName TEXT)");
        c.Execute("INSERT INTO DataList VALUES ('x')");
    }
    std::filesystem::permissions(dir.file("shipped"), std::filesystem::perms::owner_read |
                                                          std::filesystem::perms::owner_exec);
    Connection c(path, DatabaseKind::ReadOnly);
    EXPECT_EQ(c.Query("SELECT * FROM DataList").rows.size(), 1u);
}

TEST_F(DatabaseTest, OpenFilesAreCountedPerConnection) {
    std::string path = dir.file("held.db");
    {
        Connection first = NewDatabase("held.db");
        EXPECT_TRUE(IsPathOpen(path));
        // Another spelling of the same file is the same file.
        EXPECT_TRUE(IsPathOpen(dir.path().string() + "/./held.db"));
        {
            Connection second(path, DatabaseKind::Project);
            Connection moved = std::move(second);
            EXPECT_TRUE(IsPathOpen(path));
        }
        EXPECT_TRUE(IsPathOpen(path));
        Connection target = NewDatabase("other.db");
        target = std::move(first);
        EXPECT_FALSE(IsPathOpen(dir.file("other.db")));
        EXPECT_TRUE(IsPathOpen(path));
    }
    EXPECT_FALSE(IsPathOpen(path));
}

}  // namespace
}  // namespace qv
