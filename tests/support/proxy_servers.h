#pragma once
// Real proxy servers for a test, started on a free loopback port and stopped with it:
// tinyproxy (HTTP) and microsocks (SOCKS5). Each connects out from an address of its own
// (127.0.0.2, 127.0.0.3, ...), so the simulator tells which one a request came through.
#include <sys/types.h>

#include <memory>
#include <string>

#include "tests/support/temp_dir.h"

namespace qv::test {

class ProxyServer {
public:
    enum class Kind { Http, Socks5 };
    // Null when the program is not installed. `user`: require these credentials.
    static std::unique_ptr<ProxyServer> Start(Kind kind, const std::string& outgoing_address,
                                              const std::string& user = {}, const std::string& password = {});
    ~ProxyServer();
    ProxyServer(const ProxyServer&) = delete;
    ProxyServer& operator=(const ProxyServer&) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:PORT" or "socks5://...", with "user:password@" when given.
    std::string Url(const std::string& user = {}, const std::string& password = {}) const;

private:
    ProxyServer() = default;
    Kind kind_ = Kind::Http;
    int port_ = 0;
    pid_t pid_ = -1;
    TempDir dir_;
};

// A loopback port that nothing listens on right now.
int FreeLoopbackPort();

}  // namespace qv::test
