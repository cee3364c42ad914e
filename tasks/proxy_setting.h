#pragma once
// The proxies of config.ini as the window uses them.
#include <QString>

#include <string>
#include <vector>

#include "engine/proxy.h"

namespace qv::tasks {

// [Options] Proxies; raises ProxyError naming the entry (counted from 1) that is malformed.
std::vector<Proxy> ReadProxySetting(const std::string& settings_file);

// Why a proxy entry was refused, as the window says it.
QString ProxyFaultMessage(int line, ProxyFault fault);

// What the options dialog's proxy box shows: the lines as the user last wrote them
// (comments kept) while they still hold the entries of [Options] Proxies, otherwise one
// entry a line; a password as ***.
QString ProxyBoxText(const std::string& settings_file);
// The entries of the box's text; an entry shown with *** for the password of a saved entry
// stands for that entry. Raises ProxyError naming the bad line.
std::vector<Proxy> ProxiesOfBox(const QString& text, const std::vector<Proxy>& saved);
// Saves the entries and, beside them, the box's lines with every password masked.
void WriteProxyBox(const std::string& settings_file, const QString& text,
                   const std::vector<Proxy>& proxies);

}  // namespace qv::tasks
