#pragma once
// AliSpider: the collection thread of one task, and the gate through which the UI
// thread holds, releases and stops it.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/data_files.h"
#include "engine/request_pacer.h"
#include "engine/task_progress.h"
#include "engine/ui_handover.h"

namespace qv {

class Connection;
class CrawlHost;
class HttpClient;
class ProxyPool;
class SharedCookies;
struct Proxy;

// What a task's page offers its collection thread. Every call arrives on the UI thread.
class TaskSink {
public:
    virtual ~TaskSink() = default;
    virtual void AppendMessage(const std::string& text) = 0;
    virtual void AppendMemberRow(const MemberValues& values) = 0;
    virtual void RepaintMembers() = 0;
    // Why the message just appended came about (a failed page's cause) and the proxy the
    // page was read through (Proxy::Shown, empty when none), for the page to show with it.
    virtual void ShowMessageCause(const std::string& cause, const std::string& proxy) {}
};

// Hold, release and stop for one thread. The crawl passes through it before every fetch
// and every stored record; a held thread waits there holding no lock the UI needs.
class SpiderGate {
public:
    void Hold();
    void Release();
    // Asks the thread to end and holds it for good. Once Stop returns, no record is
    // being stored and none will be.
    void Stop();
    bool held() const;
    bool stopped() const { return stopped_.load(); }
    const std::atomic<bool>* stop_flag() const { return &stopped_; }

    // Waits while held; raises CrawlStopped once stopped.
    void Pass();
    // Pass, then runs `store` under the gate's lock unless stopped.
    void Store(const std::function<void()>& store);

private:
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool held_ = false;
    std::atomic<bool> stopped_{false};
};

// How a started task uses its data file: a new run over all companies (the file was
// emptied), the continuation of its unfinished run, a new run that skips the companies
// already stored, another try at the companies its last run lost to failed pages, or a
// new run over all companies that updates the stored ones in place (a refresh).
enum class RunKind { Fresh, Continue, NewOnly, RetryFailed, Refresh };

// What every collection thread needs from its host.
struct SpiderEnvironment {
    UiHandover* ui = nullptr;
    // ShowTaskMessage: runs on the UI thread.
    std::function<void(const std::string& text, TaskSink* log)> show_message;
    // Options/CollectCompanyDetail, read afresh for every company.
    std::function<bool()> collect_detail;
    // How many connections each task reads company pages over (1 to 8), read when it starts.
    std::function<int()> connections;
    // The least time between the starts of two requests of a task, read when it starts.
    std::function<int()> request_interval_ms;
    // The proxies tasks take in turn; none (or an empty pool): requests go out directly.
    std::shared_ptr<ProxyPool> proxies;
    // The end report (queue index, result code), run on the UI thread while the thread
    // waits; only delivered when the thread was not stopped.
    std::function<void(int index, int code, const void* spider)> thread_ended;
};

class AliSpider : public std::enable_shared_from_this<AliSpider> {
public:
    // Result codes: -1 before the body, 3 when it did not come back normally, 2 when
    // the crawl failed, 4 when it stopped itself because the site blocks it, 0 on success.
    static constexpr int kSiteBlocked = 4;
    // `progress`, when given, receives the run's counters.
    static std::shared_ptr<AliSpider> Start(int task_index, std::string url,
                                            std::shared_ptr<TaskSink> sink,
                                            std::string data_file, SpiderEnvironment env,
                                            RunKind kind = RunKind::Fresh,
                                            std::shared_ptr<TaskProgress> progress = nullptr);
    ~AliSpider();
    AliSpider(const AliSpider&) = delete;
    AliSpider& operator=(const AliSpider&) = delete;

    int TaskIndex() const { return task_index_; }
    int ResultCode() const { return result_code_.load(); }
    // True until the body and the end report are done.
    bool alive() const { return alive_.load(); }
    SpiderGate& gate() { return gate_; }

    // Joins the thread if it has finished (or once it does, when `wait`).
    void Join(bool wait);

private:
    AliSpider(int task_index, std::string url, std::shared_ptr<TaskSink> sink,
              std::string data_file, SpiderEnvironment env, RunKind kind,
              std::shared_ptr<TaskProgress> progress);
    void Execute();
    bool RunProxied(Connection& db);
    // One go at the crawl with fresh clients over `proxy` (none: directly); `again`: after
    // a restart, from the saved position.
    bool Attempt(Connection& db, const Proxy* proxy, bool again);
    bool RunCrawl(Connection& db, CrawlHost& host, bool again);
    void Configure(HttpClient& client, const Proxy* proxy);
    void TryEnded(const std::string& cause);
    std::vector<std::unique_ptr<HttpClient>> FurtherConnections(HttpClient& first,
                                                                SharedCookies& cookies,
                                                                const Proxy* proxy);
    void Post(std::function<void()> fn);
    void PostMessage(const std::string& text);

    class Host;
    int task_index_;
    std::string url_;
    std::shared_ptr<TaskSink> sink_;
    std::string data_file_;
    SpiderEnvironment env_;
    RunKind kind_;
    SpiderGate gate_;
    // Every request of the task goes through it, whatever client makes it.
    RequestPacer pacer_;
    std::shared_ptr<TaskProgress> progress_;
    std::atomic<bool> blocked_{false};
    // Set while the pages read ahead of a crawl that ended are given up.
    std::atomic<bool> cancel_read_ahead_{false};
    // Proxy failures in a row, over all the task's connections; at three the crawl goes
    // on over the next proxy, for `restart_reason_`.
    std::atomic<int> proxy_failures_{0};
    std::atomic<bool> restart_{false};
    std::mutex restart_mutex_;
    std::string restart_reason_;
    std::atomic<int> result_code_{-1};
    std::atomic<bool> alive_{true};
    std::thread thread_;
};

}  // namespace qv
