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

}  // namespace qv::tasks
