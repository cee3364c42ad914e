// Page fetcher over libcurl. Each client owns one easy handle (its cookie engine is the
// client's cookie store) inside one multi handle of its own (whose connection cache keeps
// the connection alive between fetches). The transfer is driven by a short poll loop so
// that a stop request is seen within a fraction of a second even while the server is silent.
#include "engine/fetcher.h"

#include "engine/proxy.h"
#include "engine/request_pacer.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <optional>

namespace qv {

namespace {

// How long one wait for socket activity may last before the stop flag is looked at again.
constexpr int kStopPollMs = 50;

// The values go out exactly as written, including the doubled name in the User-Agent line.
// "Expect:" only removes curl's own header; it sends nothing.
constexpr const char* kRequestHeaders[] = {
    "User-Agent: User-Agent: Mozilla/4.0 (compatib le; MSIE 5.00; Windows 98)",
    "Pragma: no-cache",
    "Cache-Control: no-cache",
    "Connection: Keep-Alive",
    "Accept: text/html, */*",
    "Expect:",
};

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

// curl calls the lock functions from whichever thread uses a sharing handle; one mutex
// for every kind of shared data is plenty for a handful of connections.
struct SharedCookies::Impl {
    CURLSH* share = nullptr;
    std::mutex mutex;

    Impl() {
        InitCurlOnce();
        share = curl_share_init();
        if (!share) return;
        curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &Lock);
        curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &Unlock);
        curl_share_setopt(share, CURLSHOPT_USERDATA, static_cast<void*>(this));
        if (curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE) != CURLSHE_OK) {
            curl_share_cleanup(share);
            share = nullptr;
        }
    }
    ~Impl() {
        if (share) curl_share_cleanup(share);
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    static void Lock(CURL*, curl_lock_data, curl_lock_access, void* user) {
        static_cast<Impl*>(user)->mutex.lock();
    }
    static void Unlock(CURL*, curl_lock_data, void* user) {
        static_cast<Impl*>(user)->mutex.unlock();
    }
};

SharedCookies::SharedCookies() : impl_(std::make_unique<Impl>()) {}

SharedCookies::~SharedCookies() = default;

struct HttpClient::Impl {
    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    const std::atomic<bool>* stop = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    RequestPacer* pacer = nullptr;
    std::optional<Proxy> proxy;
    std::function<void(const std::string&)> try_observer;
    std::function<void(const FetchWait&)> wait_observer;
    // The try under way, counted from 1, of `tries`; when its request went out, and
    // whether its wait was told.
    int try_number = 1;
    int tries = 1;
    std::optional<std::chrono::steady_clock::time_point> sent_at;
    bool told_wait = false;
    // Within one try: whether its request claimed its moment to go out, and whether the
    // pacer sent it back for a new turn instead (that try does not count).
    bool claimed = false;
    bool deferred = false;
    FetchLimits limits;
    long status = 0;          // of the last try's last answer, 0 when none came
    std::string retry_after;  // that answer's Retry-After value
    bool proxy_made = false;  // that answer names a proxy program as its maker
    std::string buffer;
    bool usable = false;

    Impl();
    ~Impl();
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    bool StopRequested() const { return (stop && stop->load()) || (cancel && cancel->load()); }
    bool Configure();
    void ApplyLimits();
    // Empty when the try succeeded, otherwise why it failed.
    std::string RunTry(const std::string& url);
    std::string TransportCause(CURLcode code);
    std::string ProxyTransportCause(CURLcode code);
    void ReadAnswerHead();
    bool Drive(CURLcode& result);
};

namespace {

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    auto& impl = *static_cast<HttpClient::Impl*>(user);
    const size_t n = size * count;
    if (impl.buffer.size() + n > impl.limits.max_body_bytes) return 0;  // fails the try
    try {
        impl.buffer.append(data, n);
    } catch (...) {
        return 0;
    }
    return n;
}

int OnProgress(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t) {
    auto& impl = *static_cast<HttpClient::Impl*>(user);
    if (impl.wait_observer && !impl.told_wait && impl.sent_at && received == 0) {
        const auto waited = std::chrono::steady_clock::now() - *impl.sent_at;
        if (waited >= std::chrono::milliseconds(impl.limits.tell_wait_after_ms)) {
            impl.told_wait = true;
            try {
                impl.wait_observer(FetchWait{
                    impl.try_number, impl.tries,
                    static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(waited).count())});
            } catch (...) {
            }
        }
    }
    return impl.StopRequested() ? 1 : 0;
}

// Runs once the connection is there, right before the request is written: the pacer
// measures the interval from here, so neither a new connection's set-up nor a thread that
// woke late lets two requests go out closer than it. A redirect's further requests belong
// to the same try and go without a claim.
int OnRequestReady(void* user, char*, char*, int, int) {
    auto& impl = *static_cast<HttpClient::Impl*>(user);
    if (!impl.sent_at && (!impl.pacer || impl.claimed)) impl.sent_at = std::chrono::steady_clock::now();
    if (!impl.pacer || impl.claimed) return CURL_PREREQFUNC_OK;
    switch (impl.pacer->ClaimSend(impl.cancel)) {
    case RequestPacer::Send::Go:
        impl.claimed = true;
        impl.sent_at = std::chrono::steady_clock::now();
        return CURL_PREREQFUNC_OK;
    case RequestPacer::Send::Later:
        impl.deferred = true;
        return CURL_PREREQFUNC_ABORT;
    case RequestPacer::Send::Stopped:
        break;
    }
    return CURL_PREREQFUNC_ABORT;
}

}  // namespace

HttpClient::Impl::Impl() {
    InitCurlOnce();
    multi = curl_multi_init();
    easy = curl_easy_init();
    usable = multi && easy && Configure();
}

HttpClient::Impl::~Impl() {
    if (easy) curl_easy_cleanup(easy);
    if (multi) curl_multi_cleanup(multi);
    curl_slist_free_all(headers);
}

bool HttpClient::Impl::Configure() {
    for (const char* line : kRequestHeaders) {
        curl_slist* grown = curl_slist_append(headers, line);
        if (!grown) return false;
        headers = grown;
    }
    bool ok = true;
    auto set = [&](CURLoption option, auto value) {
        ok = ok && curl_easy_setopt(easy, option, value) == CURLE_OK;
    };
    set(CURLOPT_HTTPHEADER, headers);
    set(CURLOPT_HTTP_VERSION, long{CURL_HTTP_VERSION_1_1});
    set(CURLOPT_HTTPGET, 1L);
    set(CURLOPT_FOLLOWLOCATION, 1L);
    set(CURLOPT_MAXREDIRS, 15L);
    // A page must not make us read local files or speak other protocols.
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    set(CURLOPT_COOKIEFILE, "");  // in-memory cookie engine, this handle only
    set(CURLOPT_NOSIGNAL, 1L);    // time-outs must not use signals: several threads fetch
    set(CURLOPT_WRITEFUNCTION, &WriteBody);
    set(CURLOPT_WRITEDATA, static_cast<void*>(this));
    set(CURLOPT_XFERINFOFUNCTION, &OnProgress);
    set(CURLOPT_XFERINFODATA, static_cast<void*>(this));
    set(CURLOPT_NOPROGRESS, 0L);
    set(CURLOPT_PREREQFUNCTION, &OnRequestReady);
    set(CURLOPT_PREREQDATA, static_cast<void*>(this));
    ApplyLimits();
    return ok;
}

void HttpClient::Impl::ApplyLimits() {
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, limits.connect_timeout_ms);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, limits.total_timeout_ms);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, limits.low_speed_bytes_per_s);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, limits.low_speed_time_s);
    // Refuses an announced oversize body before it is read; the write callback
    // catches the ones that come without a length.
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(limits.max_body_bytes));
}

// Runs the transfer until curl reports it done; false when it was stopped or the multi
// handle failed.
bool HttpClient::Impl::Drive(CURLcode& result) {
    for (;;) {
        if (StopRequested()) return false;
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) return false;
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy) {
                result = msg->data.result;
                return true;
            }
        }
        if (running == 0) return false;
        if (curl_multi_poll(multi, nullptr, 0, kStopPollMs, nullptr) != CURLM_OK) return false;
    }
}

std::string HttpClient::Impl::RunTry(const std::string& url) {
    buffer.clear();
    status = 0;
    retry_after.clear();
    claimed = deferred = false;
    sent_at.reset();
    told_wait = false;
    if (curl_easy_setopt(easy, CURLOPT_URL, url.c_str()) != CURLE_OK) return "bad URL";
    if (curl_multi_add_handle(multi, easy) != CURLM_OK) return "client error";
    CURLcode result = CURLE_OK;
    const bool done = Drive(result);
    curl_multi_remove_handle(multi, easy);
    if (!done) return StopRequested() ? "stopped" : "client error";
    if (result != CURLE_OK) return proxy ? ProxyTransportCause(result) : TransportCause(result);
    ReadAnswerHead();
    if (status >= 200 && status <= 299) return {};
    // A gateway's errors and a demand for credentials come from the proxy itself; a 503
    // stays the site's request to slow down.
    if (proxy && (status == 407 || ((status == 502 || status == 504) && proxy->scheme.starts_with("http"))))
        return status == 407 ? "proxy auth" : "proxy HTTP " + std::to_string(status);
    // An HTTP proxy that cannot reach the site answers in its own name (tinyproxy: 500 with
    // "Server: tinyproxy"); that is the proxy's word, not the site's.
    if (proxy && proxy_made && proxy->scheme.starts_with("http")) return "proxy HTTP " + std::to_string(status);
    return "HTTP " + std::to_string(status);
}

// Through a proxy, the connection curl makes is the proxy's: failing to make or keep it is
// the proxy failing. Errors past the connection keep their usual words.
std::string HttpClient::Impl::ProxyTransportCause(CURLcode code) {
    long os_errno = 0;
    curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &os_errno);
    long connect_code = 0;
    curl_easy_getinfo(easy, CURLINFO_HTTP_CONNECTCODE, &connect_code);
    curl_off_t connected_us = 0;
    curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connected_us);
    switch (code) {
    case CURLE_COULDNT_RESOLVE_PROXY: return "proxy not found";
    case CURLE_COULDNT_CONNECT:
        return os_errno == ECONNREFUSED ? "proxy refused" : "proxy unreachable";
    case CURLE_PROXY: {
        long detail = 0;
        curl_easy_getinfo(easy, CURLINFO_PROXY_ERROR, &detail);
        switch (detail) {
        case CURLPX_USER_REJECTED:
        case CURLPX_NO_AUTH:
        case CURLPX_RECV_AUTH:
        case CURLPX_SEND_AUTH: return "proxy auth";
        case CURLPX_RESOLVE_HOST: return "proxy cannot resolve the site";
        case CURLPX_REPLY_CONNECTION_REFUSED:
        case CURLPX_REPLY_HOST_UNREACHABLE:
        case CURLPX_REPLY_NETWORK_UNREACHABLE:
        case CURLPX_REPLY_TTL_EXPIRED:
        case CURLPX_REPLY_GENERAL_SERVER_FAILURE:
        case CURLPX_REPLY_NOT_ALLOWED: return "proxy cannot connect to the site";
        default: return "proxy error";
        }
    }
    case CURLE_OPERATION_TIMEDOUT:
        if (connected_us == 0) return "proxy timeout";
        break;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
        if (connect_code == 407) return "proxy auth";
        if (connect_code >= 300) return "proxy HTTP " + std::to_string(connect_code);
        if (os_errno == ECONNRESET || os_errno == EPIPE || code == CURLE_GOT_NOTHING) return "proxy reset";
        break;
    default:
        break;
    }
    return TransportCause(code);
}

void HttpClient::Impl::ReadAnswerHead() {
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    curl_header* header = nullptr;
    // Request -1: the last answer of the transfer, after any redirects.
    if (curl_easy_header(easy, "Retry-After", 0, CURLH_HEADER, -1, &header) == CURLHE_OK && header)
        retry_after = header->value;
    proxy_made = false;
    if (!proxy) return;
    if (curl_easy_header(easy, "X-Squid-Error", 0, CURLH_HEADER, -1, &header) == CURLHE_OK) {
        proxy_made = true;
    } else if (curl_easy_header(easy, "Server", 0, CURLH_HEADER, -1, &header) == CURLHE_OK && header) {
        std::string server = header->value;
        for (char& c : server) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        proxy_made = server.find("proxy") != std::string::npos || server.find("squid") != std::string::npos;
    }
}

std::string HttpClient::Impl::TransportCause(CURLcode code) {
    long os_errno = 0;
    curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &os_errno);
    long redirects = 0;
    curl_easy_getinfo(easy, CURLINFO_REDIRECT_COUNT, &redirects);
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT: return "timeout";  // also the low-speed limit
    case CURLE_TOO_MANY_REDIRECTS: return "too many redirects";
    case CURLE_UNSUPPORTED_PROTOCOL:
        return redirects > 0 ? "redirect to a non-web address" : "not a web address";
    case CURLE_URL_MALFORMAT: return "malformed URL";
    case CURLE_COULDNT_RESOLVE_HOST: return "host not found";
    case CURLE_COULDNT_CONNECT:
        return os_errno == ECONNREFUSED ? "connection refused" : "cannot connect";
    case CURLE_FILESIZE_EXCEEDED: return "body too large";
    case CURLE_WRITE_ERROR:
        // The write callback refuses a body over the limit; nothing else fails it.
        return "body too large";
    case CURLE_GOT_NOTHING: return "connection closed without an answer";
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
        if (os_errno == ECONNRESET || os_errno == EPIPE) return "connection reset";
        return code == CURLE_SEND_ERROR ? "send error" : "receive error";
    case CURLE_ABORTED_BY_CALLBACK: return "stopped";
    default: return curl_easy_strerror(code);
    }
}

HttpClient::HttpClient() : impl_(std::make_unique<Impl>()) {}

HttpClient::~HttpClient() = default;

void HttpClient::SetStopFlag(const std::atomic<bool>* stop) { impl_->stop = stop; }
void HttpClient::SetCancelFlag(const std::atomic<bool>* cancel) { impl_->cancel = cancel; }

bool HttpClient::ShareCookies(SharedCookies& cookies) {
    CURLSH* share = cookies.impl().share;
    return share && impl_->easy && curl_easy_setopt(impl_->easy, CURLOPT_SHARE, share) == CURLE_OK;
}
void HttpClient::SetPacer(RequestPacer* pacer) { impl_->pacer = pacer; }

void HttpClient::SetProxy(const Proxy* proxy) {
    Impl& impl = *impl_;
    if (proxy) impl.proxy = *proxy;
    else impl.proxy.reset();
    if (!impl.easy) return;
    curl_easy_setopt(impl.easy, CURLOPT_PROXY, proxy ? proxy->url.c_str() : nullptr);
    // A proxy the user named carries every request, whatever no_proxy says.
    curl_easy_setopt(impl.easy, CURLOPT_NOPROXY, proxy ? "" : nullptr);
}

void HttpClient::SetTryObserver(std::function<void(const std::string& cause)> observer) {
    impl_->try_observer = std::move(observer);
}

void HttpClient::SetWaitObserver(std::function<void(const FetchWait&)> observer) {
    impl_->wait_observer = std::move(observer);
}

void HttpClient::SetLimits(const FetchLimits& limits) {
    impl_->limits = limits;
    if (impl_->easy) impl_->ApplyLimits();
}

FetchResult FetchPage(const std::string& url, HttpClient& client) {
    FetchResult result;
    try {
        HttpClient::Impl& impl = client.impl();
        if (!impl.usable) result.cause = "client error";
        int slow_downs = 0;
        const int tries = std::max(1, impl.limits.tries);
        for (int attempt = 0; impl.usable && attempt < tries; ++attempt) {
            if (impl.StopRequested()) break;
            if (impl.pacer && !impl.pacer->AwaitTurn(impl.cancel)) break;
            impl.try_number = attempt + 1;
            impl.tries = tries;
            result.cause = impl.RunTry(url);
            if (impl.deferred) {
                --attempt;  // nothing was sent
                continue;
            }
            if (impl.try_observer && result.cause != "stopped") impl.try_observer(result.cause);
            if (result.cause.empty()) {
                result.body = std::move(impl.buffer);
                impl.buffer.clear();
                return result;
            }
            // Trying again at once after a server asked us to slow down is how a client
            // gets itself banned.
            if (impl.pacer && AsksToSlowDown(impl.status) && attempt + 1 < tries)
                impl.pacer->SlowDown(impl.status,
                                     SlowDownWait(impl.retry_after, ++slow_downs, std::time(nullptr)));
        }
        impl.buffer.clear();  // a failed try's bytes are never handed out
    } catch (...) {
        // Page work never raises; whatever went wrong reads as a failed fetch.
        result.cause = "client error";
    }
    if (result.cause.empty()) result.cause = "stopped";
    result.body.clear();
    result.error = kFetchFailed;
    return result;
}

}  // namespace qv
