#pragma once
// Page fetching: one HttpClient per task (keep-alive and its own cookie store), and
// FetchPage, which never raises: failures come back as the error text "连接失败".
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace qv {

class RequestPacer;
struct Proxy;

// Bounds of one try; each one exceeded fails the try. Tests shorten them.
struct FetchLimits {
    long connect_timeout_ms = 15'000;
    long total_timeout_ms = 60'000;
    std::size_t max_body_bytes = std::size_t{16} << 20;
    // A server that accepts and then sends (almost) nothing fails the try once it has
    // stayed below this speed for this long; curl reports it as a time-out.
    long low_speed_bytes_per_s = 1;
    long low_speed_time_s = 30;
    int tries = 6;
    // A try whose request went out and that has had no answer byte for this long is told
    // to the wait observer, once per try.
    long tell_wait_after_ms = 10'000;
};

// A try that waits for its answer: which one of how many, and for how long already.
struct FetchWait {
    int try_number = 1;
    int tries = 1;
    long waited_s = 0;
};

inline constexpr int kFetchTries = 6;

// One cookie store that several clients of a task read and write, so that the task's
// connections all carry the session its first page began. Must outlive its clients.
class SharedCookies {
public:
    SharedCookies();
    ~SharedCookies();
    SharedCookies(const SharedCookies&) = delete;
    SharedCookies& operator=(const SharedCookies&) = delete;

    struct Impl;
    Impl& impl() { return *impl_; }

private:
    std::unique_ptr<Impl> impl_;
};

class HttpClient {
public:
    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // While *stop is true, a transfer in flight is aborted and no new try is made.
    // The flag must outlive the client (or be reset to nullptr).
    void SetStopFlag(const std::atomic<bool>* stop);
    // Like the stop flag, for work that is given up while the task goes on (pages read
    // ahead that are no longer wanted). Must outlive the client (or be reset to nullptr).
    void SetCancelFlag(const std::atomic<bool>* cancel);
    // Applies to the fetches that start afterwards.
    void SetLimits(const FetchLimits& limits);
    // Uses `cookies` instead of the client's own store; call before the first fetch.
    // False when curl refuses (the client then keeps its own store).
    bool ShareCookies(SharedCookies& cookies);
    // The task's pacer, which every try waits for and which a 429 or 503 answer slows
    // down. Without one, tries follow each other at once. Must outlive the client's use.
    void SetPacer(RequestPacer* pacer);
    // Sends every request through `proxy` (copied), or, with nullptr, as the environment
    // says (http_proxy, https_proxy, no_proxy), as curl does.
    void SetProxy(const Proxy* proxy);
    // Told after every try of every fetch: its cause, empty when it succeeded.
    void SetTryObserver(std::function<void(const std::string& cause)> observer);
    // Told, on the fetching thread and without raising, when a try waits silently for its
    // answer (FetchLimits::tell_wait_after_ms), so that a silent server is no silent wait.
    void SetWaitObserver(std::function<void(const FetchWait&)> observer);

    struct Impl;
    Impl& impl() { return *impl_; }

private:
    std::unique_ptr<Impl> impl_;
};

struct FetchResult {
    std::string body;   // the response body's bytes (GBK), empty when nothing came
    std::string error;  // empty on success, "连接失败" when every try failed
    // Why the last try failed, when every try failed: "HTTP <code>" for an answer
    // outside 2xx that is not a redirect, otherwise the transport error in a few words
    // ("timeout", "connection refused", "too many redirects", ...); through a proxy that
    // failed itself, words that begin with "proxy " ("proxy refused", "proxy auth", ...).
    // Kept apart from the error text, which callers show word for word.
    std::string cause;
};

inline constexpr char kFetchFailed[] = "连接失败";

// GET with the fixed header values, at most 15 redirects (http and https only), up to
// six tries; a try fails on any transport error, a time-out (15 s connect, 60 s in all,
// 30 s below 1 byte/s), a status outside 2xx or a body over 16 MiB. With a pacer, a 429 or
// 503 answer makes the next try wait (Retry-After, or 1, 2, 4, 8, 16 s); other failures are
// tried again at once.
FetchResult FetchPage(const std::string& url, HttpClient& client);

}  // namespace qv
