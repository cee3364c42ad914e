#pragma once
// The marketplace simulator as a library: an HTTP server on its own threads that serves
// search results, contact pages and profile pages of deterministic companies, with
// optional faults. Tests, benchmarks and the quorvane-site program run it in-process.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/site_data.h"

namespace qv {

struct SiteOptions {
    uint32_t seed = 1;
    int companies = 120;    // per search
    double fail_rate = 0;   // fraction of answers that are HTTP 500
    int fail_first = 0;     // the first N requests of every URL fail with 500
    int delay_ms = 0;       // added before every answer
    double reset_rate = 0;  // fraction of requests whose connection is dropped unanswered
    // After this many requests every page is a verification page (status 200), as a
    // marketplace that blocks a client answers; negative: never.
    long block_after = -1;
    std::string bind = "127.0.0.1";
    int port = 0;           // 0 picks a free port
};

// Random faults hit only the first attempts of a URL, so that a client that tries six
// times always gets every page.
inline constexpr int kSimFaultyAttempts = 4;

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

    long requests() const;               // every request received
    long requests_with_session() const;  // those that sent back the session cookie
    long failures() const;               // answered 500 or dropped on purpose
    long blocked() const;                // answered with the verification page
    // Changes the blocking fault while serving: after `requests` requests in all
    // (negative: lifts the block).
    void SetBlockAfter(long requests);
    // How often one site-relative target (path and query, as in a page's links) was asked for.
    long RequestsFor(const std::string& target) const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace qv
