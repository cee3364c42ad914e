#pragma once
// The application information object and the start-up / shutdown sequence.
#include <memory>
#include <string>

namespace qv {

class TAppinfoClass {
public:
    std::string ProjectConnStr;  // path of database/DefaultProject.db
    std::string SettingsFile;    // ProgramDir + "config.ini"
    std::string DataDir;         // ProgramDir + "Data/"
    std::string CategoryDir;     // ProgramDir + "category/"
    std::string ProgramDir;      // directory of the executable, ending in '/'
};

// Exists from StartUp to ShutDown; read-only in between.
extern std::unique_ptr<TAppinfoClass> AppInfo;

// The directory of the running executable (from /proc/self/exe), ending in '/'.
std::string ExecutableDir();

class TSysInitialization {
public:
    TSysInitialization() = delete;
    // Builds AppInfo, MiddleObj and the data module (which connects at once). A program
    // directory other than the executable's may be given (tests, tools).
    static void StartUp(const std::string& program_dir = ExecutableDir());
    // Frees the data module, MiddleObj and AppInfo, in that order.
    static void ShutDown();
};

}  // namespace qv
