// quorvane-site: the marketplace simulator as a program, for the demo and by-hand runs.
#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>

#include "sim/site_server.h"

int main(int argc, char** argv) {
    qv::SiteOptions options;
    CLI::App app{"Marketplace simulator: serves search results, contact and profile pages"};
    app.add_option("--port", options.port, "Port to listen on (0 picks a free one)");
    app.add_option("--bind", options.bind, "Address to listen on");
    app.add_option("--seed", options.seed, "Seed of the company data");
    app.add_option("--companies", options.companies, "Companies per search");
    app.add_option("--week", options.week,
                   "Serve every search as it stands N weeks from today (0: today)")
        ->check(CLI::Range(0, 520));
    app.add_option("--fail-rate", options.fail_rate, "Fraction of answers that are HTTP 500");
    app.add_option("--fail-first", options.fail_first, "The first N requests of each URL fail");
    app.add_option("--delay-ms", options.delay_ms, "Delay before every answer");
    app.add_option("--reset-rate", options.reset_rate,
                   "Fraction of requests whose connection is closed unanswered");
    app.add_option("--threads", options.threads,
                   "Connections served at once (each kept-alive connection holds one)")
        ->check(CLI::Range(1, 1000));
    app.add_option("--block-after", options.block_after,
                   "After N requests answer every page with a verification page (status 200)");
    app.add_flag("--block-per-client", options.block_per_client,
                 "Count --block-after for each client address apart");
    app.add_option("--block-from", options.block_from,
                   "Begin the block with the first request of this path and query");
    app.add_option("--slow-down-rate", options.slow_down_rate,
                   "Fraction of pages whose first request asks the client to slow down");
    std::string slow_down = "seconds";
    app.add_option("--slow-down", slow_down,
                   "How to ask: seconds (429, Retry-After: 1), date (429, an HTTP date) or 503")
        ->check(CLI::IsMember({"seconds", "date", "503"}));
    CLI11_PARSE(app, argc, argv);
    options.slow_down = slow_down == "date"  ? qv::SlowDownAnswer::RetryAfterDate
                        : slow_down == "503" ? qv::SlowDownAnswer::Unavailable
                                             : qv::SlowDownAnswer::RetryAfterSeconds;

    // Block the stop signals before any thread starts, so that only sigwait sees them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    try {
        qv::SiteServer server(options);
        std::cout << "listening on http://" << options.bind << ":" << server.port() << std::endl;
        int received = 0;
        sigwait(&stop_signals, &received);
        std::cout << "stopping after " << server.requests() << " requests" << std::endl;
    } catch (const std::exception& e) {
        std::cerr << "quorvane-site: " << e.what() << std::endl;
        return 1;
    }
    return 0;
}
