#include "core/app_info.h"

#include <filesystem>

#include "core/data_module.h"

namespace qv {

std::unique_ptr<TAppinfoClass> AppInfo;

std::string ExecutableDir() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    std::string dir = ec ? std::filesystem::current_path().string() : exe.parent_path().string();
    if (dir.empty() || dir.back() != '/') dir.push_back('/');
    return dir;
}

void TSysInitialization::StartUp(const std::string& program_dir) {
    AppInfo = std::make_unique<TAppinfoClass>();
    MiddleObj = std::make_unique<TMiddleClass>();
    AppInfo->ProgramDir = program_dir;
    if (AppInfo->ProgramDir.empty() || AppInfo->ProgramDir.back() != '/')
        AppInfo->ProgramDir.push_back('/');
    AppInfo->ProjectConnStr = AppInfo->ProgramDir + "database/DefaultProject.db";
    // The data module connects while it is being made, so the path must be set before.
    dmPublic = std::make_unique<TdmPublic>();
    AppInfo->SettingsFile = AppInfo->ProgramDir + "config.ini";
    AppInfo->DataDir = AppInfo->ProgramDir + "Data/";
    AppInfo->CategoryDir = AppInfo->ProgramDir + "category/";
}

void TSysInitialization::ShutDown() {
    dmPublic.reset();
    MiddleObj.reset();
    AppInfo.reset();
}

}  // namespace qv
