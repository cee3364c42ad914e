#pragma once
// The HTTP client of one window command (the add-task count fetch, the detail download).
// Its requests keep the pace the user set for collecting: the settings' request interval
// between their starts, and the waits a server asks for with 429 or 503; and they go
// through the first proxy of the options, when there are any.
#include <atomic>
#include <string>

#include "engine/fetcher.h"
#include "engine/request_pacer.h"

namespace qv::tasks {

class CommandClient {
public:
    // Reads the interval and the proxies from the settings now; raises std::runtime_error
    // with the window's words when the proxy list is malformed (the command must not go out
    // directly instead). While *stop is true, a transfer or a wait ends; the flag must
    // outlive the client.
    explicit CommandClient(const std::atomic<bool>* stop);
    CommandClient(const CommandClient&) = delete;
    CommandClient& operator=(const CommandClient&) = delete;

    HttpClient& client() { return client_; }
    // The proxy its requests go through (Proxy::Shown), empty when they go out directly.
    const std::string& proxy() const { return proxy_; }

private:
    std::string proxy_;
    RequestPacer pacer_;  // outlives the client that uses it
    HttpClient client_;
};

}  // namespace qv::tasks
