#include "tasks/command_client.h"

#include "core/app_info.h"
#include "core/ini_file.h"

namespace qv::tasks {

CommandClient::CommandClient(const std::atomic<bool>* stop)
    : pacer_(Millis{ReadSetting(AppInfo->SettingsFile, settings::kRequestInterval)}) {
    pacer_.SetStopFlag(stop);
    client_.SetStopFlag(stop);
    client_.SetPacer(&pacer_);
}

}  // namespace qv::tasks
