#pragma once
// The application information object and the start-up / shutdown sequence.
#include <memory>
#include <string>

#include "core/profile.h"

namespace qv {

class TAppinfoClass {
public:
    std::string ProjectConnStr;  // path of database/DefaultProject.db in the profile
    std::string SettingsFile;    // the profile's config.ini
    std::string DataDir;         // the profile's Data/
    std::string CategoryDir;     // the profile's own category/ (the user's files)
    std::string ProgramDir;      // directory of the executable, ending in '/'
    Profile profile;             // every folder of the profile, the shipped ones too
};

// Exists from StartUp to ShutDown; read-only in between.
extern std::unique_ptr<TAppinfoClass> AppInfo;

class TSysInitialization {
public:
    TSysInitialization() = delete;
    // Builds AppInfo, MiddleObj and the data module (which connects at once) for this
    // program's profile, preparing an installed profile first. A profile that cannot be
    // prepared is reported and the application asked to end, as a failed connection is.
    static void StartUp();
    static void StartUp(const Profile& profile);
    // A portable profile in `program_dir` (tests, tools).
    static void StartUp(const std::string& program_dir);
    // Frees the data module, MiddleObj and AppInfo, in that order.
    static void ShutDown();
};

}  // namespace qv
