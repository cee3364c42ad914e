#include "tasks/command_client.h"

#include <stdexcept>

#include "core/app_info.h"
#include "core/ini_file.h"
#include "tasks/proxy_setting.h"

namespace qv::tasks {

CommandClient::CommandClient(const std::atomic<bool>* stop)
    : pacer_(Millis{ReadSetting(AppInfo->SettingsFile, settings::kRequestInterval)}) {
    pacer_.SetStopFlag(stop);
    client_.SetStopFlag(stop);
    client_.SetPacer(&pacer_);
    try {
        const std::vector<Proxy> proxies = ReadProxySetting(AppInfo->SettingsFile);
        if (!proxies.empty()) {
            client_.SetProxy(&proxies.front());
            proxy_ = proxies.front().Shown();
        }
    } catch (const ProxyError& e) {
        throw std::runtime_error(
            (ProxyFaultMessage(e.line(), e.fault()) + QStringLiteral("，请在“选项”中改正。")).toStdString());
    }
}

}  // namespace qv::tasks
