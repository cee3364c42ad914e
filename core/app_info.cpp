#include "core/app_info.h"

#include "core/data_module.h"
#include "core/messages.h"

namespace qv {

std::unique_ptr<TAppinfoClass> AppInfo;

void TSysInitialization::StartUp() { StartUp(LocateProfile()); }

void TSysInitialization::StartUp(const std::string& program_dir) {
    StartUp(PortableProfile(program_dir));
}

void TSysInitialization::StartUp(const Profile& profile) {
    AppInfo = std::make_unique<TAppinfoClass>();
    MiddleObj = std::make_unique<TMiddleClass>();
    AppInfo->profile = profile;
    AppInfo->ProgramDir = profile.program_dir;
    AppInfo->ProjectConnStr = profile.ProjectDatabase();
    try {
        PrepareProfile(profile);
    } catch (const ProfileError& e) {
        Messages().ShowErrorDetail("无法准备用户数据文件夹，程序将自动关闭。", e.what());
        RequestApplicationEnd();
        return;
    }
    // The data module connects while it is being made, so the path must be set before.
    dmPublic = std::make_unique<TdmPublic>();
    AppInfo->SettingsFile = profile.settings_file;
    AppInfo->DataDir = profile.TaskDir();
    AppInfo->CategoryDir = profile.UserCategoryDir();
}

void TSysInitialization::ShutDown() {
    dmPublic.reset();
    MiddleObj.reset();
    AppInfo.reset();
}

}  // namespace qv
