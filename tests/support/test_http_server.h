#pragma once
// A cpp-httplib server on 127.0.0.1 and a free port, run on its own thread for the
// length of one test.
#include <httplib.h>

#include <string>
#include <thread>

namespace qv::test {

class TestHttpServer {
public:
    // Register handlers on server() before Start().
    httplib::Server& server() { return server_; }
    void Start();
    ~TestHttpServer();

    int port() const { return port_; }
    std::string Url(const std::string& path) const;

private:
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
};

}  // namespace qv::test
