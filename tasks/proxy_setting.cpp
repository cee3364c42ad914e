#include "tasks/proxy_setting.h"

#include "core/ini_file.h"

namespace qv::tasks {

std::vector<Proxy> ReadProxySetting(const std::string& settings_file) {
    return ParseProxyList(ProxySettingLines(ReadSetting(settings_file, settings::kProxies)));
}

QString ProxyFaultMessage(int line, ProxyFault fault) {
    QString reason;
    switch (fault) {
    case ProxyFault::Scheme: reason = QStringLiteral("必须以 http://、https://、socks5:// 或 socks5h:// 开头"); break;
    case ProxyFault::Host: reason = QStringLiteral("缺少主机名，或主机名中有不允许的字符"); break;
    case ProxyFault::Port: reason = QStringLiteral("缺少端口，或端口不是 1 到 65535 之间的数字"); break;
    case ProxyFault::Path: reason = QStringLiteral("端口之后不能再有其他内容"); break;
    case ProxyFault::Blank: reason = QStringLiteral("代理地址中不能有空格或控制字符"); break;
    }
    return QStringLiteral("代理服务器第 %1 行有误：").arg(line) + reason;
}

}  // namespace qv::tasks
