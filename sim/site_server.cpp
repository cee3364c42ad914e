#include "sim/site_server.h"

#include <dirent.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <algorithm>
#include <thread>
#include <unordered_map>

#include "core/gbk.h"
#include "sim/pages.h"
#include "tasks/search_url.h"

namespace qv {
namespace {

constexpr char kContentType[] = "text/html; charset=GBK";
constexpr char kSessionCookie[] = "QVSESSION";
constexpr int kDefaultPerPage = 40;
constexpr int kMaxPerPage = 500;

int PortOf(const sockaddr_storage& a) {
    if (a.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(a).sin_port);
    if (a.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(a).sin6_port);
    return -1;
}

// The descriptor of the connection a request came on. cpp-httplib does not hand it to
// handlers, so it is found among the process's sockets by its two ports.
int FindConnection(int local_port, int remote_port) {
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return -1;
    int found = -1;
    while (dirent* e = readdir(dir)) {
        const int fd = std::atoi(e->d_name);
        if (fd <= 2 || fd == dirfd(dir)) continue;
        sockaddr_storage local{}, peer{};
        socklen_t n = sizeof local, m = sizeof peer;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &n) != 0) continue;
        if (PortOf(local) != local_port) continue;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &m) != 0) continue;
        if (PortOf(peer) == remote_port) {
            found = fd;
            break;
        }
    }
    closedir(dir);
    return found;
}

// cpp-httplib listens with a backlog of five: a burst of connections beyond that (ten
// tasks opening eight each) leaves some established on the client's side only, waiting for
// an answer that never comes. Listening again on the bound socket widens its queue.
void WidenListenBacklog(int port) {
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return;
    while (dirent* e = readdir(dir)) {
        const int fd = std::atoi(e->d_name);
        if (fd <= 2 || fd == dirfd(dir)) continue;
        int listening = 0;
        socklen_t size = sizeof listening;
        if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) != 0 || !listening) continue;
        sockaddr_storage local{};
        socklen_t n = sizeof local;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &n) == 0 && PortOf(local) == port)
            ::listen(fd, SOMAXCONN);
    }
    closedir(dir);
}

// The filters of a search, from its query's values (decoded to UTF-8).
template <typename Value>
SimFilter FilterOf(Value value) {
    SimFilter f;
    f.province = value("province");
    f.city = value("city");
    try {
        const std::string biztype = value("biztype");
        f.biztype = biztype.empty() ? 0 : std::stoi(biztype);
    } catch (const std::exception&) {
    }
    f.trust_pass_only = value("memberlevel") == "pm";
    f.online_only = value("onlineStatus") == "yes";
    return f;
}

double UnitInterval(uint64_t h) { return static_cast<double>(h >> 11) * 0x1.0p-53; }

int IntParam(const httplib::Request& req, const char* name, int fallback) {
    if (!req.has_param(name)) return fallback;
    try {
        return std::stoi(req.get_param_value(name));
    } catch (const std::exception&) {
        return fallback;
    }
}

// This search's link without its page number, ready for one to be appended.
std::string PageLinkBase(const std::string& base_url, const httplib::Request& req) {
    const size_t q = req.target.find('?');
    std::string query = q == std::string::npos ? "" : req.target.substr(q + 1);
    std::string kept;
    size_t start = 0;
    while (start <= query.size()) {
        size_t end = query.find('&', start);
        if (end == std::string::npos) end = query.size();
        const std::string item = query.substr(start, end - start);
        if (!item.empty() && !item.starts_with("beginPage=")) kept += (kept.empty() ? "" : "&") + item;
        start = end + 1;
    }
    return base_url + req.path + "?" + kept + (kept.empty() ? "" : "&") + "beginPage=";
}

enum class Fault { none, error, reset };

// When the request being served arrived: taken before routing, logged with its answer.
thread_local std::chrono::steady_clock::time_point t_arrived;
thread_local std::chrono::system_clock::time_point t_arrived_wall;

}  // namespace

std::string HttpDate(std::time_t t) {
    char text[64];
    std::tm tm{};
    gmtime_r(&t, &tm);
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &tm);
    return text;
}

struct SiteServer::Impl {
    explicit Impl(SiteOptions o) : options(std::move(o)), block_after(options.block_after) {}

    SiteOptions options;
    httplib::Server server;
    std::thread thread;
    int port = 0;
    std::string base_url;
    std::optional<SiteData> data;

    std::atomic<long> requests{0}, session_requests{0}, failures{0}, sessions{0}, blocked{0};
    std::atomic<long> block_after;
    std::atomic<bool> blocking_from{false};
    std::mutex clients_mutex;
    std::unordered_map<std::string, long> client_requests;
    std::atomic<bool> block_from_armed{!options.block_from.empty()};
    std::mutex slow_mutex;
    std::unordered_map<std::string, int> slowed;  // slow-down answers given per target
    mutable std::mutex log_mutex;
    std::vector<SiteRequest> log;
    std::mutex attempts_mutex;
    std::unordered_map<std::string, int> attempts;
    mutable std::mutex targets_mutex;
    std::unordered_map<std::string, long> targets;

    bool FaultsOn() const {
        return options.fail_rate > 0 || options.reset_rate > 0 || options.fail_first > 0 ||
               !options.fail_matching.empty();
    }

    // Decided by the URL and how often it was asked for, so a run repeats exactly.
    Fault FaultFor(const std::string& target) {
        int attempt = 0;
        {
            std::lock_guard lock(attempts_mutex);
            attempt = attempts[target]++;
        }
        if (attempt < options.fail_first) return Fault::error;
        if (!options.fail_matching.empty() && target.find(options.fail_matching) != std::string::npos)
            return Fault::error;
        if (attempt >= kSimFaultyAttempts) return Fault::none;
        const double u = UnitInterval(sim::StableHash(options.seed, target, static_cast<uint64_t>(attempt)));
        if (u < options.reset_rate) return Fault::reset;
        if (u < options.reset_rate + options.fail_rate) return Fault::error;
        return Fault::none;
    }

    bool Blocking(const httplib::Request& req, long number) {
        if (block_from_armed.load() && req.target == options.block_from) blocking_from = true;
        const long after = block_after.load();
        if (options.block_per_client) {
            std::lock_guard lock(clients_mutex);
            number = ++client_requests[req.remote_addr];
        }
        return blocking_from.load() || (after >= 0 && number > after);
    }

    // Whether this request is answered with a slow-down, decided by the target alone.
    bool SlowDownFor(const std::string& target) {
        if (options.slow_down_rate <= 0) return false;
        if (UnitInterval(sim::StableHash(options.seed, "slow:" + target)) >= options.slow_down_rate)
            return false;
        std::lock_guard lock(slow_mutex);
        return slowed[target]++ < options.slow_down_times;
    }

    void SlowDown(httplib::Response& res) {
        switch (options.slow_down) {
        case SlowDownAnswer::RetryAfterSeconds:
            res.set_header("Retry-After", "1");
            Answer(res, Utf8ToGbk("<html><body>请求过于频繁</body></html>"), 429);
            break;
        case SlowDownAnswer::RetryAfterDate:
            res.set_header("Retry-After", HttpDate(std::time(nullptr) + 2));
            Answer(res, Utf8ToGbk("<html><body>请求过于频繁</body></html>"), 429);
            break;
        case SlowDownAnswer::Unavailable:
            Answer(res, Utf8ToGbk("<html><body>服务暂不可用</body></html>"), 503);
            break;
        }
    }

    void Log(const httplib::Request& req, const httplib::Response& res) {
        if (!options.log_requests) return;
        SiteRequest r;
        r.target = req.target;
        r.status = res.status;
        r.verification = res.get_header_value("X-Sim-Verification") == "1";
        r.retry_after = res.get_header_value("Retry-After");
        r.arrived = t_arrived;
        r.arrived_wall = t_arrived_wall;
        r.remote_addr = req.remote_addr;
        r.remote_port = req.remote_port;
        std::lock_guard lock(log_mutex);
        log.push_back(std::move(r));
    }

    void Answer(httplib::Response& res, std::string gbk, int status = 200) {
        res.status = status;
        res.set_content(std::move(gbk), kContentType);
    }

    httplib::Server::HandlerResponse BeforeRouting(const httplib::Request& req,
                                                   httplib::Response& res) {
        t_arrived = std::chrono::steady_clock::now();
        t_arrived_wall = std::chrono::system_clock::now();
        const long number = ++requests;
        {
            std::lock_guard lock(targets_mutex);
            ++targets[req.target];
        }
        if (options.delay_ms > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(options.delay_ms));
        if (req.get_header_value("Cookie").find(std::string(kSessionCookie) + "=") != std::string::npos)
            ++session_requests;
        else
            res.set_header("Set-Cookie", std::string(kSessionCookie) + "=" +
                                             sim::KeyToHex(std::to_string(sim::StableHash(
                                                 options.seed, "session", static_cast<uint64_t>(++sessions)))) +
                                             "; Path=/");
        if (Blocking(req, number)) {
            ++blocked;
            res.set_header("X-Sim-Verification", "1");
            Answer(res, sim::VerificationPage());
            return httplib::Server::HandlerResponse::Handled;
        }
        if (SlowDownFor(req.target)) {
            SlowDown(res);
            return httplib::Server::HandlerResponse::Handled;
        }
        const Fault fault = FaultsOn() ? FaultFor(req.target) : Fault::none;
        if (fault == Fault::none) return httplib::Server::HandlerResponse::Unhandled;
        ++failures;
        if (fault == Fault::reset) {
            // Closing both directions makes the client see the connection end unanswered;
            // the server's own attempt to write then fails quietly.
            const int fd = FindConnection(req.local_port, req.remote_port);
            if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
        }
        Answer(res, Utf8ToGbk("<html><body>服务器忙，请稍后再试。</body></html>"), 500);
        return httplib::Server::HandlerResponse::Handled;
    }

    void Search(const httplib::Request& req, httplib::Response& res) {
        const std::string keyword = GbkToUtf8(req.get_param_value("keywords"));
        const int category = IntParam(req, "categoryId", 0);
        const std::string key = keyword.empty() && category != 0 ? sim::CategoryKey(category)
                                                                 : sim::KeywordKey(keyword);
        sim::ResultPageRequest r;
        r.companies = &data->ForKey(key, FilterOf([&req](const char* name) {
            return GbkToUtf8(req.get_param_value(name));
        }));
        r.search_word = sim::SearchWordOf(key);
        r.page = std::max(1, IntParam(req, "beginPage", 1));
        r.per_page = std::clamp(IntParam(req, "per", kDefaultPerPage), 1, kMaxPerPage);
        r.page_link_base = PageLinkBase(base_url, req);
        Answer(res, sim::ResultPage(r));
    }

    // The company that a contact, profile or message link names, or null.
    const SimCompany* CompanyOf(const httplib::Request& req, const std::string& member_id) {
        const std::string key = sim::KeyFromHex(req.get_param_value("sk"));
        if (key.empty()) return nullptr;
        const SimCompany* c = data->CompanyAt(key, IntParam(req, "n", -1));
        return c && c->values[mfMemberID] == member_id ? c : nullptr;
    }

    template <typename MakePage>
    void CompanyPage(const httplib::Request& req, httplib::Response& res,
                     const std::string& member_id, MakePage make) {
        if (const SimCompany* c = CompanyOf(req, member_id)) Answer(res, make(*c));
        else Answer(res, sim::NotFoundPage(), 404);
    }

    void Routes() {
        server.set_pre_routing_handler(
            [this](const httplib::Request& req, httplib::Response& res) { return BeforeRouting(req, res); });
        server.Get("/", [this](const httplib::Request&, httplib::Response& res) {
            Answer(res, sim::HomePage());
        });
        server.Get("/search/company_search.htm",
                   [this](const httplib::Request& req, httplib::Response& res) { Search(req, res); });
        server.Get(R"(/company/([A-Za-z0-9]+)/contactinfo\.htm)",
                   [this](const httplib::Request& req, httplib::Response& res) {
                       CompanyPage(req, res, req.matches[1], sim::ContactPage);
                   });
        server.Get(R"(/company/([A-Za-z0-9]+)/creditdetail\.htm)",
                   [this](const httplib::Request& req, httplib::Response& res) {
                       CompanyPage(req, res, req.matches[1], sim::ProfilePage);
                   });
        server.Get("/message/feedback.htm", [this](const httplib::Request& req, httplib::Response& res) {
            CompanyPage(req, res, req.get_param_value("toMemberId"), sim::MessagePage);
        });
        server.set_error_handler([this](const httplib::Request&, httplib::Response& res) {
            if (res.body.empty()) Answer(res, sim::NotFoundPage(), res.status);
        });
        server.set_logger([this](const httplib::Request& req, const httplib::Response& res) { Log(req, res); });
    }

    void Start() {
        // Benchmarks run many crawls at once, each holding one kept-alive connection.
        // cpp-httplib takes ownership of the queue it is given.
        const size_t threads = static_cast<size_t>(std::max(1, options.threads));
        server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
        // Without it, Nagle and delayed ACKs add some 40 ms to every keep-alive answer.
        server.set_tcp_nodelay(true);
        server.set_keep_alive_max_count(1'000'000);
        server.set_keep_alive_timeout(5);
        Routes();
        if (options.port == 0) {
            port = server.bind_to_any_port(options.bind);
        } else if (server.bind_to_port(options.bind, options.port)) {
            port = options.port;
        }
        if (port <= 0)
            throw std::runtime_error("cannot listen on " + options.bind + ":" + std::to_string(options.port));
        const bool any = options.bind.empty() || options.bind == "0.0.0.0" || options.bind == "::";
        base_url = "http://" + (any ? std::string("127.0.0.1") : options.bind) + ":" + std::to_string(port);
        WidenListenBacklog(port);
        data.emplace(options.seed, options.companies, base_url, options.week);
        thread = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
};

SiteServer::SiteServer(SiteOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {
    impl_->Start();
}

SiteServer::~SiteServer() {
    impl_->server.stop();
    if (impl_->thread.joinable()) impl_->thread.join();
}

int SiteServer::port() const { return impl_->port; }
std::string SiteServer::BaseUrl() const { return impl_->base_url; }

std::string SiteServer::SearchUrl(const std::string& keyword_utf8) const {
    TAddTaskResult r;
    r.Keyword = keyword_utf8;
    return BuildSearchUrl(r, impl_->base_url);
}

std::string SiteServer::CategorySearchUrl(int category_id) const {
    TAddTaskResult r;
    r.SearchKind = 1;
    r.CategoryId = category_id;
    return BuildSearchUrl(r, impl_->base_url);
}

const std::vector<SimCompany>& SiteServer::CompaniesFor(const std::string& keyword_utf8) {
    return impl_->data->CompaniesFor(keyword_utf8);
}

const std::vector<SimCompany>& SiteServer::CompaniesForCategory(int category_id) {
    return impl_->data->CompaniesForCategory(category_id);
}

const std::vector<SimCompany>& SiteServer::CompaniesForSearch(const std::string& search_url) {
    const std::string keyword = DecodedQueryValue(search_url, "keywords").value_or("");
    const std::string category = DecodedQueryValue(search_url, "categoryId").value_or("0");
    const std::string key = keyword.empty() && category != "0" && !category.empty()
                                ? sim::CategoryKey(std::atoi(category.c_str()))
                                : sim::KeywordKey(keyword);
    return impl_->data->ForKey(key, FilterOf([&search_url](const char* name) {
        return DecodedQueryValue(search_url, name).value_or("");
    }));
}

void SiteServer::SetWeek(int week) { impl_->data->SetWeek(week); }

long SiteServer::requests() const { return impl_->requests; }
long SiteServer::requests_with_session() const { return impl_->session_requests; }
long SiteServer::failures() const { return impl_->failures; }
long SiteServer::blocked() const { return impl_->blocked; }
void SiteServer::SetBlockAfter(long requests) {
    impl_->block_after = requests;
    if (requests < 0) {
        impl_->block_from_armed = false;
        impl_->blocking_from = false;
    }
}

std::vector<SiteRequest> SiteServer::RequestLog() const {
    std::lock_guard lock(impl_->log_mutex);
    return impl_->log;
}

long SiteServer::RequestsFor(const std::string& target) const {
    std::lock_guard lock(impl_->targets_mutex);
    auto it = impl_->targets.find(target);
    return it == impl_->targets.end() ? 0 : it->second;
}

}  // namespace qv
