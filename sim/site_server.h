#pragma once
// The marketplace simulator as a library: an HTTP server on its own threads that serves
// search results, contact pages and profile pages of deterministic companies, with
// optional faults. Tests, benchmarks and the quorvane-site program run it in-process.
#include <chrono>
#include <ctime>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/site_data.h"

namespace qv {

// `t` as an HTTP date ("Thu, 10 Dec 2026 02:11:57 GMT"), as a Retry-After header gives it.
std::string HttpDate(std::time_t t);

// How the simulator asks a client to slow down.
enum class SlowDownAnswer {
    RetryAfterSeconds,  // 429 with "Retry-After: 1"
    RetryAfterDate,     // 429 with an HTTP date two seconds on
    Unavailable,        // 503 without the header
};

struct SiteOptions {
    uint32_t seed = 1;
    int companies = 120;    // per search
    double fail_rate = 0;   // fraction of answers that are HTTP 500
    int fail_first = 0;     // the first N requests of every URL fail with 500
    // Every request whose path and query hold this text fails with 500 (empty: none), for
    // a page that never answers.
    std::string fail_matching;
    int delay_ms = 0;       // added before every answer
    double reset_rate = 0;  // fraction of requests whose connection is dropped unanswered
    // Connections served at once: each kept-alive connection holds one thread.
    int threads = 24;
    // After this many requests every page is a verification page (status 200), as a
    // marketplace that blocks a client answers; negative: never.
    long block_after = -1;
    // Count block_after for each client address apart, as a site that blocks addresses does.
    bool block_per_client = false;
    // The block begins with the first request of this site-relative target (path and
    // query): it and every later request get the verification page.
    std::string block_from;
    // Fraction of URLs whose first `slow_down_times` requests are answered with a request
    // to slow down instead of the page.
    double slow_down_rate = 0;
    int slow_down_times = 1;
    SlowDownAnswer slow_down = SlowDownAnswer::RetryAfterSeconds;
    // Serves every search as it stands this many weeks from today: some companies gone,
    // some new, some with changed contact and profile facts; the same for every seed.
    int week = 0;
    // Keeps a log of every request (RequestLog), for tests that check a client's manners.
    bool log_requests = false;
    std::string bind = "127.0.0.1";
    int port = 0;           // 0 picks a free port
};

// Random faults hit only the first attempts of a URL, so that a client that tries six
// times always gets every page.
inline constexpr int kSimFaultyAttempts = 4;

// One request as the simulator saw it.
struct SiteRequest {
    std::string target;  // path and query
    int status = 0;      // of the answer; a dropped connection counts as 500
    bool verification = false;  // answered with the verification page
    std::string retry_after;    // the Retry-After header sent, if any
    std::chrono::steady_clock::time_point arrived;
    std::chrono::system_clock::time_point arrived_wall;
    std::string remote_addr;
    int remote_port = 0;
};

class SiteServer {
public:
    // Binds and starts serving; raises std::runtime_error when the address cannot be bound.
    explicit SiteServer(SiteOptions options);
    ~SiteServer();  // stops and joins
    SiteServer(const SiteServer&) = delete;
    SiteServer& operator=(const SiteServer&) = delete;

    int port() const;
    std::string BaseUrl() const;  // "http://127.0.0.1:PORT"
    // The search page of a keyword, with the GBK-encoded keyword in its query.
    std::string SearchUrl(const std::string& keyword_utf8) const;
    std::string CategorySearchUrl(int category_id) const;

    // What a faultless crawl of the search stores, company by company.
    const std::vector<SimCompany>& CompaniesFor(const std::string& keyword_utf8);
    const std::vector<SimCompany>& CompaniesForCategory(int category_id);
    // The same for any search URL, its filters (province, city, business model, TrustPass,
    // online members) applied.
    const std::vector<SimCompany>& CompaniesForSearch(const std::string& search_url);
    // Serves the searches as they stand `week` weeks from today from now on.
    void SetWeek(int week);

    long requests() const;               // every request received
    long requests_with_session() const;  // those that sent back the session cookie
    long failures() const;               // answered 500 or dropped on purpose
    long blocked() const;                // answered with the verification page
    // Changes the blocking fault while serving: after `requests` requests in all
    // (negative: lifts the block, also one begun by block_from).
    void SetBlockAfter(long requests);
    // How often one site-relative target (path and query, as in a page's links) was asked for.
    long RequestsFor(const std::string& target) const;
    // Every request so far in the order they arrived (with log_requests set).
    std::vector<SiteRequest> RequestLog() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace qv
