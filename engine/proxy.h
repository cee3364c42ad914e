#pragma once
// The proxies a task's requests go through: reading the entries a user gives, showing
// them without their password, and the pool that hands them to tasks in turn and rests the
// ones a site blocked or that stopped answering.
#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

struct Proxy {
    std::string url;     // as given, credentials and all: what the client is handed
    std::string scheme;  // http, https, socks5 or socks5h, in lower case
    std::string user;    // empty without credentials
    bool has_password = false;
    std::string host;    // as written (an IPv6 address in its brackets)
    int port = 0;

    // "host:port", or "user:***@host:port" with credentials: safe to show and to log.
    std::string Shown() const;
    // The URL with "***" for its password (as given when it has none): what a box shows.
    std::string Masked() const;
    bool operator==(const Proxy& other) const { return url == other.url; }
};

// What is wrong with an entry; the texts never repeat the entry, which may hold a password.
enum class ProxyFault { Scheme, Host, Port, Path, Blank };
std::string_view ProxyFaultText(ProxyFault fault);  // English, for the command line

class ProxyError : public std::runtime_error {
public:
    ProxyError(int line, ProxyFault fault);
    int line() const { return line_; }  // from 1; 0 for a single entry
    ProxyFault fault() const { return fault_; }

private:
    int line_;
    ProxyFault fault_;
};

// One entry: scheme://[user[:password]@]host:port with the scheme http, https, socks5 or
// socks5h and nothing after the port but an optional "/". Raises ProxyError.
Proxy ParseProxy(std::string_view text);
// The entry of one line of a list, blanks trimmed: a '#' at the start or after a blank
// begins a comment ("http://a:1 # office" is "http://a:1").
std::string_view ProxyEntryOf(std::string_view line);
// One entry a line; blank and comment lines are skipped. Raises ProxyError naming the first
// bad line.
std::vector<Proxy> ParseProxyList(std::string_view text);

// config.ini keeps the list on one line, the entries separated by blanks (a URL holds none).
std::string JoinProxySetting(const std::vector<Proxy>& proxies);
// The entries of a setting value, one a line, as the options dialog shows them.
std::string ProxySettingLines(std::string_view setting);

// Hands proxies to tasks in turn. A proxy that was blocked, or failed again and again,
// rests for a while before any task takes it again. Shared by the tasks of one program.
class ProxyPool {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::minutes kRest{10};

    // Replaces the list; a proxy kept keeps its rest.
    void Set(std::vector<Proxy> proxies);
    bool empty() const;
    // The next proxy in turn that is not resting and is not `besides`.
    std::optional<Proxy> Next(const std::optional<Proxy>& besides = std::nullopt);
    void Rest(const Proxy& proxy);

private:
    struct Entry {
        Proxy proxy;
        Clock::time_point rests_until{};
    };
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    size_t turn_ = 0;
};

// Whether a try's cause (see FetchResult::cause) says the proxy itself failed.
bool IsProxyCause(std::string_view cause);

// One request for `url` through `proxy`, as a user checks a proxy before using it.
struct ProxyCheck {
    bool ok = false;
    std::chrono::milliseconds took{0};
    std::string cause;  // why it failed (FetchResult::cause)
};
// Waits for `pacer`'s turn first when given; ends early, failed, once `stop` is set.
class RequestPacer;
ProxyCheck CheckProxy(const Proxy& proxy, const std::string& url, const std::atomic<bool>* stop,
                      RequestPacer* pacer = nullptr);

}  // namespace qv
