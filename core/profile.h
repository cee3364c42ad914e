#pragma once
// Where one user's files are: the profile that the window and the command-line tool share.
//
// Portable (a file named "portable" beside the executable, as in the build folder):
// everything lives beside the program, as it always did. Installed: the files shipped
// with the program are read from <prefix>/share/quorvane (found from the executable, so an
// unpacked copy works from any prefix) and never written; the user's own files live under
// $XDG_DATA_HOME/quorvane and $XDG_CONFIG_HOME/quorvane.
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace qv {

class ProfileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr char kPortableMarker[] = "portable";

struct Profile {
    bool portable = false;
    std::string program_dir;    // the executable's folder
    std::string shipped_dir;    // read-only files shipped with the program
    std::string data_dir;       // the user's writable files
    std::string settings_file;  // config.ini
    // Every folder above ends in '/'.

    std::string ProjectDatabase() const { return data_dir + "database/DefaultProject.db"; }
    // The project database a new profile starts from.
    std::string TemplateDatabase() const { return shipped_dir + "database/DefaultProject.db"; }
    std::string TaskDir() const { return data_dir + "Data/"; }
    // Category files the user adds; they win over shipped files of the same name.
    std::string UserCategoryDir() const { return data_dir + "category/"; }
    std::string ShippedCategoryDir() const { return shipped_dir + "category/"; }
    // The category folders in the order they are searched (one folder when portable).
    std::vector<std::string> CategoryDirs() const;
};

// Reads an environment variable; nullptr when it is not set.
using EnvironmentLookup = std::function<const char*(const char*)>;

// The directory of the running executable (from /proc/self/exe), ending in '/'.
std::string ExecutableDir();

// Everything beside the program in `program_dir`.
Profile PortableProfile(const std::string& program_dir);
// The profile of a program whose executable is in `program_dir`: portable when the
// marker file is there, otherwise installed, with the XDG folders taken from `env`
// (a relative or empty value counts as unset, as the XDG base directory rules say).
Profile LocateProfile(const std::string& program_dir, const EnvironmentLookup& env);
// The profile of this program, from its executable and the process environment.
Profile LocateProfile();

// Makes `dir` and the folders above it that are missing, each readable by its owner only
// (0700): a profile holds people's names and numbers. False with `ec` set when it cannot.
bool MakePrivateFolders(const std::string& dir, std::error_code& ec);

// Makes an installed profile's folders (0700, an existing one of ours made so as well) and, on first start, its project database from
// the shipped template (written under a temporary name and renamed, so a start that is
// interrupted never leaves half a database). A portable profile is left as it is.
// Raises ProfileError naming the path that failed.
void PrepareProfile(const Profile& profile);

// The category files of all folders by file name; a name in an earlier folder hides the
// same name in a later one. Only regular files ending in ".db" are listed.
std::map<std::string, std::string> ListCategoryFiles(const std::vector<std::string>& dirs);
// The path of the category file `file_name` in the first folder that has it, or the path
// it would have in the first folder when none has it.
std::string FindCategoryFile(const std::vector<std::string>& dirs, const std::string& file_name);

}  // namespace qv
