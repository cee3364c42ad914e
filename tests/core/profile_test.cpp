// Where a profile's files are, portable and installed, and what the first start makes.
#include "core/profile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "core/app_info.h"
#include "core/data_module.h"
#include "core/messages.h"
#include "tests/support/project_database.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// An environment made of the given variables only.
EnvironmentLookup Env(std::map<std::string, std::string> vars) {
    auto shared = std::make_shared<std::map<std::string, std::string>>(std::move(vars));
    return [shared](const char* name) -> const char* {
        auto it = shared->find(name);
        return it == shared->end() ? nullptr : it->second.c_str();
    };
}

// <root>/usr/bin and <root>/usr/share/quorvane as a package lays them out.
struct InstalledTree {
    test::TempDir dir;
    std::string bin = dir.file("usr/bin") + "/";
    std::string share = dir.file("usr/share/quorvane") + "/";
    std::string home = dir.file("home/ann");
    InstalledTree() {
        fs::create_directories(bin);
        fs::create_directories(share + "database");
        fs::create_directories(share + "category");
        fs::create_directories(home);
        test::MakeProjectDatabase(share + "database/DefaultProject.db");
    }
    Profile Locate(std::map<std::string, std::string> vars = {}) const {
        vars.emplace("HOME", home);
        return LocateProfile(bin, Env(vars));
    }
    // Every file under usr/, with its size and time, to see that nothing changed there.
    std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>> Snapshot() const {
        std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>> files;
        for (const auto& e : fs::recursive_directory_iterator(dir.file("usr")))
            files[e.path().string()] = {e.is_regular_file() ? e.file_size() : 0, e.last_write_time()};
        return files;
    }
};

TEST(ProfileTest, APortableMarkerKeepsEverythingBesideTheProgram) {
    InstalledTree tree;
    test::WriteFileBytes(tree.bin + "portable", "");
    Profile p = tree.Locate({{"XDG_DATA_HOME", tree.home + "/d"}});
    EXPECT_TRUE(p.portable);
    EXPECT_EQ(p.ProjectDatabase(), tree.bin + "database/DefaultProject.db");
    EXPECT_EQ(p.settings_file, tree.bin + "config.ini");
    EXPECT_EQ(p.TaskDir(), tree.bin + "Data/");
    EXPECT_EQ(p.CategoryDirs(), std::vector<std::string>{tree.bin + "category/"});
}

TEST(ProfileTest, InstalledFilesFollowTheXdgVariablesOrTheirDefaults) {
    InstalledTree tree;
    Profile p = tree.Locate({{"XDG_DATA_HOME", "/x/data"}, {"XDG_CONFIG_HOME", "/x/config"}});
    EXPECT_FALSE(p.portable);
    EXPECT_EQ(p.shipped_dir, tree.share) << "found from the executable";
    EXPECT_EQ(p.ProjectDatabase(), "/x/data/quorvane/database/DefaultProject.db");
    EXPECT_EQ(p.TaskDir(), "/x/data/quorvane/Data/");
    EXPECT_EQ(p.settings_file, "/x/config/quorvane/config.ini");
    EXPECT_EQ(p.CategoryDirs(), (std::vector<std::string>{"/x/data/quorvane/category/", p.shipped_dir + "category/"}));

    // Unset, empty or relative values fall back to the home folder.
    for (const char* value : {"", "relative/path"}) {
        Profile d = tree.Locate({{"XDG_DATA_HOME", value}});
        EXPECT_EQ(d.data_dir, tree.home + "/.local/share/quorvane/") << value;
        EXPECT_EQ(d.settings_file, tree.home + "/.config/quorvane/config.ini");
    }
}

TEST(ProfileTest, TheFirstStartCopiesTheTemplateAndLaterStartsKeepTheUsersDatabase) {
    InstalledTree tree;
    const auto before = tree.Snapshot();
    Profile p = tree.Locate();
    PrepareProfile(p);
    EXPECT_TRUE(fs::is_regular_file(p.ProjectDatabase()));
    EXPECT_TRUE(fs::is_directory(p.TaskDir()));
    EXPECT_TRUE(fs::is_directory(p.UserCategoryDir()));
    EXPECT_TRUE(fs::is_directory(fs::path(p.settings_file).parent_path()));
    EXPECT_FALSE(fs::exists(p.ProjectDatabase() + ".part"));

    {
        Connection db(p.ProjectDatabase(), DatabaseKind::Project);
        db.Execute("INSERT INTO Tasks(TaskName, searchURL) VALUES('mine', 'http://x/')");
    }
    PrepareProfile(p);
    Connection db(p.ProjectDatabase(), DatabaseKind::Project);
    EXPECT_EQ(db.Query("SELECT COUNT(*) AS n FROM Tasks").Integer(0, "n"), 1) << "the copy was replaced";
    EXPECT_EQ(tree.Snapshot(), before) << "something was written under usr/";
}

TEST(ProfileTest, TheProfilesFoldersAndFilesAreTheUsersAlone) {
    InstalledTree tree;
    Profile p = tree.Locate();
    // A folder an older version made open to everyone.
    fs::create_directories(p.TaskDir());
    fs::permissions(p.TaskDir(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
    PrepareProfile(p);
    auto mode = [](const std::string& path) { return fs::status(path).permissions(); };
    for (const std::string& folder : {p.data_dir, p.data_dir + "database/", p.TaskDir(), p.UserCategoryDir(),
                                      fs::path(p.settings_file).parent_path().string()})
        EXPECT_EQ(mode(folder), fs::perms::owner_all) << folder;
    EXPECT_EQ(mode(p.ProjectDatabase()), fs::perms::owner_read | fs::perms::owner_write);

    // Folders made on the way, as the first setting of a new profile makes them.
    std::error_code ec;
    const std::string deep = tree.home + "/.config/new/quorvane";
    ASSERT_TRUE(MakePrivateFolders(deep, ec)) << ec.message();
    EXPECT_EQ(mode(tree.home + "/.config/new"), fs::perms::owner_all);
    EXPECT_EQ(mode(deep), fs::perms::owner_all);
    test::WriteFileBytes(tree.home + "/plain", "");
    EXPECT_FALSE(MakePrivateFolders(tree.home + "/plain/quorvane", ec));
    EXPECT_TRUE(ec);
}

TEST(ProfileTest, AMissingTemplateOrAnUnwritableHomeIsAnErrorNamingThePath) {
    InstalledTree tree;
    fs::remove(tree.share + "database/DefaultProject.db");
    Profile p = tree.Locate();
    try {
        PrepareProfile(p);
        FAIL() << "no error";
    } catch (const ProfileError& e) {
        EXPECT_NE(std::string(e.what()).find(p.TemplateDatabase()), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(p.ProjectDatabase()));

    test::WriteFileBytes(tree.dir.file("file"), "");
    Profile blocked = tree.Locate({{"XDG_DATA_HOME", tree.dir.file("file")}});
    EXPECT_THROW(PrepareProfile(blocked), ProfileError);
}

TEST(ProfileTest, StartUpOnAnInstalledProfileConnectsToTheUsersCopy) {
    InstalledTree tree;
    Profile p = tree.Locate();
    TSysInitialization::StartUp(p);
    ASSERT_FALSE(ApplicationEndRequested());
    EXPECT_EQ(AppInfo->ProjectConnStr, p.ProjectDatabase());
    EXPECT_EQ(AppInfo->SettingsFile, p.settings_file);
    EXPECT_EQ(AppInfo->DataDir, p.TaskDir());
    EXPECT_EQ(AppInfo->CategoryDir, p.UserCategoryDir());
    EXPECT_EQ(AppInfo->ProgramDir, tree.bin);
    EXPECT_TRUE(MiddleObj->QueryRecords("SELECT * FROM Tasks").has_value());
    TSysInitialization::ShutDown();
}

TEST(ProfileTest, UserCategoryFilesAreListedBesideShippedOnesAndWinOnANameClash) {
    InstalledTree tree;
    Profile p = tree.Locate();
    PrepareProfile(p);
    test::WriteFileBytes(p.ShippedCategoryDir() + "1.1.a.db", "shipped");
    test::WriteFileBytes(p.ShippedCategoryDir() + "1.2.b.db", "shipped");
    test::WriteFileBytes(p.ShippedCategoryDir() + "notes.txt", "");
    test::WriteFileBytes(p.UserCategoryDir() + "1.2.b.db", "mine");
    test::WriteFileBytes(p.UserCategoryDir() + "1.3.c.db", "mine");
    fs::create_directories(p.UserCategoryDir() + "1.4.d.db");

    const auto files = ListCategoryFiles(p.CategoryDirs());
    EXPECT_EQ(files, (std::map<std::string, std::string>{{"1.1.a.db", p.ShippedCategoryDir() + "1.1.a.db"},
                                                         {"1.2.b.db", p.UserCategoryDir() + "1.2.b.db"},
                                                         {"1.3.c.db", p.UserCategoryDir() + "1.3.c.db"}}));
    EXPECT_EQ(FindCategoryFile(p.CategoryDirs(), "1.2.b.db"), p.UserCategoryDir() + "1.2.b.db");
    EXPECT_EQ(FindCategoryFile(p.CategoryDirs(), "1.1.a.db"), p.ShippedCategoryDir() + "1.1.a.db");
    EXPECT_EQ(FindCategoryFile(p.CategoryDirs(), "1.9.z.db"), p.UserCategoryDir() + "1.9.z.db");
}

}  // namespace
}  // namespace qv
