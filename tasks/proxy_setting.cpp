#include "tasks/proxy_setting.h"

#include <QStringList>

#include "core/ini_file.h"

namespace qv::tasks {
namespace {

// One INI value holds the lines: the line ends and the escape character are escaped.
QString EscapeLines(const QString& text) {
    QString escaped = text;
    return escaped.replace(QLatin1Char('%'), QStringLiteral("%25")).replace(QLatin1Char('\n'), QStringLiteral("%0A"));
}

QString UnescapeLines(const QString& value) {
    QString text;
    for (int i = 0; i < value.size(); ++i) {
        const QStringView rest = QStringView(value).mid(i, 3);
        if (rest == QStringLiteral("%0A")) {
            text += QLatin1Char('\n');
            i += 2;
        } else if (rest == QStringLiteral("%25")) {
            text += QLatin1Char('%');
            i += 2;
        } else {
            text += value[i];
        }
    }
    return text;
}

// The line with its entry's password as ***; a line without one, or one that does not
// parse, as it is.
QString MaskedLine(const QString& line) {
    const std::string text = line.toStdString();
    const std::string_view entry = ProxyEntryOf(text);
    if (entry.empty()) return line;
    try {
        const Proxy proxy = ParseProxy(entry);
        if (!proxy.has_password) return line;
        const size_t at = static_cast<size_t>(entry.data() - text.data());
        return QString::fromStdString(text.substr(0, at) + proxy.Masked() + text.substr(at + entry.size()));
    } catch (const ProxyError&) {
        return line;
    }
}

}  // namespace

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

QString ProxyBoxText(const std::string& settings_file) {
    const std::string setting = ReadSetting(settings_file, settings::kProxies);
    std::vector<Proxy> saved;
    try {
        saved = ParseProxyList(ProxySettingLines(setting));
    } catch (const ProxyError&) {
        // Shown as it stands, for the user to mend the line the warning names.
        return QString::fromStdString(ProxySettingLines(setting));
    }
    const QString lines = UnescapeLines(QString::fromStdString(ReadSetting(settings_file, settings::kProxyLines)));
    try {
        // Lines that no longer hold the saved entries (the setting was changed elsewhere) give way.
        if (!lines.isEmpty() && JoinProxySetting(ProxiesOfBox(lines, saved)) == JoinProxySetting(saved))
            return lines;
    } catch (const ProxyError&) {
    }
    QStringList shown;
    for (const Proxy& p : saved) shown << QString::fromStdString(p.Masked());
    return shown.join(QLatin1Char('\n'));
}

std::vector<Proxy> ProxiesOfBox(const QString& text, const std::vector<Proxy>& saved) {
    std::vector<Proxy> proxies = ParseProxyList(text.toStdString());
    for (Proxy& p : proxies)
        for (const Proxy& s : saved)
            if (s.has_password && p.url == s.Masked()) p = s;
    return proxies;
}

void WriteProxyBox(const std::string& settings_file, const QString& text,
                   const std::vector<Proxy>& proxies) {
    QStringList lines = text.split(QLatin1Char('\n'));
    while (!lines.isEmpty() && lines.back().trimmed().isEmpty()) lines.removeLast();
    for (QString& line : lines) {
        while (!line.isEmpty() && line.back().isSpace()) line.chop(1);
        line = MaskedLine(line);
    }
    WriteSetting(settings_file, settings::kProxyLines, EscapeLines(lines.join(QLatin1Char('\n'))).toStdString());
    WriteSetting(settings_file, settings::kProxies, JoinProxySetting(proxies));
}

}  // namespace qv::tasks
