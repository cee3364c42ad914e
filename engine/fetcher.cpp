#include "engine/fetcher.h"

#include <curl/curl.h>

#include <mutex>

namespace qv {
namespace {

constexpr int kTries = 6;
constexpr long kMaxRedirects = 15;
constexpr long kConnectTimeoutSeconds = 15;
constexpr long kRequestTimeoutSeconds = 60;
constexpr size_t kBodyLimit = 16u << 20;

// The header lines exactly as the marketplace has always been sent them; the odd
// User-Agent line names itself twice.
constexpr const char* kHeaderLines[] = {
    "User-Agent: User-Agent: Mozilla/4.0 (compatib le; MSIE 5.00; Windows 98)",
    "Pragma: no-cache",
    "Cache-Control: no-cache",
    "Connection: Keep-Alive",
    "Accept: text/html, */*",
    "Expect:",
};

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

struct HttpClient::Impl {
    CURL* curl = nullptr;
    curl_slist* headers = nullptr;
    const std::atomic<bool>* stop = nullptr;
    std::string buffer;
    bool over_limit = false;
    FetchTimeouts timeouts;

    static size_t Write(char* data, size_t size, size_t count, void* self) {
        auto* impl = static_cast<Impl*>(self);
        size_t n = size * count;
        if (impl->buffer.size() + n > kBodyLimit) {
            impl->over_limit = true;
            return 0;  // aborts the transfer
        }
        impl->buffer.append(data, n);
        return n;
    }

    static int Progress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        auto* impl = static_cast<Impl*>(self);
        return impl->Stopped() ? 1 : 0;
    }

    bool Stopped() const { return stop && stop->load(); }

    // One GET of `url` into the buffer; true on a complete 2xx answer.
    bool Try(const std::string& url) {
        buffer.clear();
        over_limit = false;
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, timeouts.connect_ms);
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeouts.request_ms);
        CURLcode rc = curl_easy_perform(curl);
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        return rc == CURLE_OK && status >= 200 && status < 300;
    }

    void Configure() {
        for (const char* line : kHeaderLines) headers = curl_slist_append(headers, line);
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
        // A page must never make us read a local file or speak another protocol.
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");  // this client's own cookie store
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
        curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kBodyLimit));
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Impl::Write);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Impl::Progress);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
    }
};

HttpClient::HttpClient() : impl_(std::make_unique<Impl>()) {
    GlobalInit();
    impl_->curl = curl_easy_init();
    if (impl_->curl) impl_->Configure();
}

HttpClient::~HttpClient() {
    if (impl_->curl) curl_easy_cleanup(impl_->curl);
    curl_slist_free_all(impl_->headers);
}

void HttpClient::SetStopFlag(const std::atomic<bool>* stop) { impl_->stop = stop; }
void HttpClient::SetTimeouts(FetchTimeouts timeouts) { impl_->timeouts = timeouts; }

FetchResult FetchPage(const std::string& url, HttpClient& client) {
    FetchResult result;
    try {
        HttpClient::Impl& impl = client.impl();
        if (!impl.curl) {
            result.error = kFetchFailed;
            return result;
        }
        bool ok = false;
        for (int i = 0; i < kTries && !ok && !impl.Stopped(); ++i) ok = impl.Try(url);
        if (ok) {
            result.body = std::move(impl.buffer);
        } else {
            result.error = kFetchFailed;
        }
        impl.buffer.clear();
    } catch (...) {
        result.body.clear();
        result.error = kFetchFailed;
    }
    return result;
}

}  // namespace qv
