#include "engine/spider_thread.h"

#include "core/change_log.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "core/database.h"
#include "engine/cause_text.h"
#include "engine/crawl.h"
#include "engine/fetcher.h"
#include "engine/proxy.h"

namespace qv {

void SpiderGate::Hold() {
    std::lock_guard lock(mutex_);
    held_ = true;
}

void SpiderGate::Release() {
    std::lock_guard lock(mutex_);
    held_ = false;
    wake_.notify_all();
}

void SpiderGate::Stop() {
    // Taking the lock waits for a store in progress; afterwards every Store refuses.
    std::lock_guard lock(mutex_);
    stopped_ = true;
    held_ = true;
    wake_.notify_all();
}

bool SpiderGate::held() const {
    std::lock_guard lock(mutex_);
    return held_;
}

void SpiderGate::Pass() {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [&] { return !held_ || stopped_; });
    if (stopped_) throw CrawlStopped{};
}

void SpiderGate::Store(const std::function<void()>& store) {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [&] { return !held_ || stopped_; });
    if (stopped_) throw CrawlStopped{};
    store();
}

namespace {

// One fetch of a page at a time within a task. The same page can stand twice in a list (a
// company listed twice, an entry that borrows the next one's link); read over two
// connections at once, the second request would go out while the first waits out a
// server's "retry after", as if the task had not heard it.
class PagesInFlight {
public:
    // False when `give_up` said so before the page was free.
    bool Enter(const std::string& url, const std::function<bool()>& give_up) {
        std::unique_lock lock(mutex_);
        while (busy_.count(url)) {
            if (give_up()) return false;
            freed_.wait_for(lock, std::chrono::milliseconds(10));
        }
        busy_.insert(url);
        return true;
    }
    void Leave(const std::string& url) {
        {
            std::lock_guard lock(mutex_);
            busy_.erase(url);
        }
        freed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable freed_;
    std::unordered_set<std::string> busy_;
};

}  // namespace

// The crawl's view of its thread: fetches and stores pass the gate, UI work is posted.
class AliSpider::Host : public CrawlHost {
public:
    // `lanes`: the clients of the task's further connections, used by FetchOn.
    Host(AliSpider& spider, HttpClient& http, std::vector<std::unique_ptr<HttpClient>>& lanes,
         Connection& db, const Proxy* proxy)
        : spider_(spider), http_(http), lanes_(lanes), db_(db), proxy_(proxy ? proxy->Shown() : "") {}

    void Message(const std::string& text) override { spider_.PostMessage(text); }
    void MemberRow(const MemberValues& values) override {
        auto sink = spider_.sink_;
        spider_.Post([sink, values] { sink->AppendMemberRow(values); });
    }
    void MessageCause(const std::string& cause) override {
        auto sink = spider_.sink_;
        spider_.Post([sink, cause, proxy = proxy_] { sink->ShowMessageCause(cause, proxy); });
    }
    void RepaintMembers() override {
        auto sink = spider_.sink_;
        spider_.Post([sink] { sink->RepaintMembers(); });
    }
    bool CollectDetail() override {
        return spider_.env_.collect_detail && spider_.env_.collect_detail();
    }
    FetchResult Fetch(const std::string& url) override { return FetchOn(0, url); }
    int Connections() override { return 1 + static_cast<int>(lanes_.size()); }
    FetchResult FetchOn(int lane, const std::string& url) override {
        spider_.gate_.Pass();
        HttpClient& client = lane < 1 || lane > static_cast<int>(lanes_.size()) ? http_ : *lanes_[lane - 1];
        FetchResult result;
        if (lanes_.empty()) {
            result = FetchPage(url, client);
        } else if (in_flight_.Enter(url, [this] { return spider_.gate_.stopped() || spider_.cancel_read_ahead_; })) {
            result = FetchPage(url, client);
            in_flight_.Leave(url);
        } else {
            result = {"", kFetchFailed, "stopped"};
        }
        if (spider_.gate_.stopped()) throw CrawlStopped{};
        if (spider_.restart_) {
            std::lock_guard lock(spider_.restart_mutex_);
            throw CrawlRestart{spider_.restart_reason_};
        }
        return result;
    }
    void Commit(const RunStep& step) override {
        spider_.gate_.Store([&] { CommitRunStep(db_, step); });
    }
    void ResultCount(long long count) override {
        if (count >= 0) spider_.progress_->total = count;
    }
    void CompanyDone(bool stored) override {
        TaskProgress& p = *spider_.progress_;
        p.handled.fetch_add(1, std::memory_order_relaxed);
        if (stored) p.stored.fetch_add(1, std::memory_order_relaxed);
    }
    void SiteBlocked() override {
        if (spider_.env_.proxies && !spider_.env_.proxies->empty()) throw CrawlRestart{"网站可能拦截了采集"};
        spider_.blocked_ = true;
    }
    void CancelReadAhead(bool on) override { spider_.cancel_read_ahead_ = on; }

private:
    AliSpider& spider_;
    HttpClient& http_;
    std::vector<std::unique_ptr<HttpClient>>& lanes_;
    Connection& db_;
    const std::string proxy_;
    PagesInFlight in_flight_;
};

std::shared_ptr<AliSpider> AliSpider::Start(int task_index, std::string url,
                                            std::shared_ptr<TaskSink> sink,
                                            std::string data_file, SpiderEnvironment env,
                                            RunKind kind,
                                            std::shared_ptr<TaskProgress> progress) {
    if (!progress) progress = std::make_shared<TaskProgress>();
    std::shared_ptr<AliSpider> spider(new AliSpider(task_index, std::move(url), std::move(sink),
                                                    std::move(data_file), std::move(env), kind,
                                                    std::move(progress)));
    // The thread keeps its object alive until it has ended, as the object "frees itself".
    spider->thread_ = std::thread([self = spider] { self->Execute(); });
    return spider;
}

AliSpider::AliSpider(int task_index, std::string url, std::shared_ptr<TaskSink> sink,
                     std::string data_file, SpiderEnvironment env, RunKind kind,
                     std::shared_ptr<TaskProgress> progress)
    : task_index_(task_index),
      url_(std::move(url)),
      sink_(std::move(sink)),
      data_file_(std::move(data_file)),
      env_(std::move(env)),
      kind_(kind),
      progress_(std::move(progress)) {
    pacer_.SetStopFlag(gate_.stop_flag());
    pacer_.SetHoldCheck([this] { return gate_.held(); });
    pacer_.SetWaitNotice([this](long status, Millis wait) {
        const long long seconds = (wait.count() + 999) / 1000;
        PostMessage("网站要求放慢采集速度（HTTP " + std::to_string(status) + "），等待 " +
                    std::to_string(seconds) + " 秒后重试......");
    });
}

AliSpider::~AliSpider() {
    // The last owner may be the thread itself; otherwise its function has returned.
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();
        else
            thread_.join();
    }
}

void AliSpider::Join(bool wait) {
    if (!thread_.joinable() || thread_.get_id() == std::this_thread::get_id()) return;
    if (wait || !alive()) thread_.join();
}

void AliSpider::Post(std::function<void()> fn) {
    // Dropped on arrival once stopped: nothing of a stopped thread shows after StopThreads.
    auto self = shared_from_this();
    env_.ui->post([self, fn = std::move(fn)] {
        if (!self->gate_.stopped()) fn();
    });
}

void AliSpider::PostMessage(const std::string& text) {
    auto sink = sink_;
    auto show = env_.show_message;
    Post([sink, show, text] {
        if (show) show(text, sink.get());
    });
}

namespace {

// Ten crawls can keep every core busy decoding and storing; a slightly lower priority for
// each lets the window thread get a core at once, so it stays responsive. Best effort.
void LowerThisThreadsPriority() {
    constexpr int kCrawlNiceness = 5;
    auto tid = static_cast<id_t>(syscall(SYS_gettid));
    setpriority(PRIO_PROCESS, tid, kCrawlNiceness);
}

}  // namespace

// With one connection the task's client keeps its own cookie store, as it always did;
// with more, every client shares one, so all carry the session the first page began.
std::vector<std::unique_ptr<HttpClient>> AliSpider::FurtherConnections(HttpClient& first,
                                                                        SharedCookies& cookies,
                                                                        const Proxy* proxy) {
    const int wanted = env_.connections ? env_.connections() : 1;
    const int n = std::clamp(wanted, 1, kMaxConnectionsPerTask);
    std::vector<std::unique_ptr<HttpClient>> lanes;
    if (n < 2 || !first.ShareCookies(cookies)) return lanes;
    for (int i = 1; i < n; ++i) {
        auto client = std::make_unique<HttpClient>();
        Configure(*client, proxy);
        if (!client->ShareCookies(cookies)) break;
        lanes.push_back(std::move(client));
    }
    return lanes;
}

bool AliSpider::RunCrawl(Connection& db, CrawlHost& host, bool again) {
    if (kind_ == RunKind::RetryFailed) {
        if (!again) gate_.Store([&] { BeginFurtherRun(db, kRunRetry); });
        return RetryFailedCompanies(ReadFailedPages(db), host);
    }
    CrawlStart start;
    RunMode mode = kind_ == RunKind::NewOnly   ? RunMode::NewOnly
                   : kind_ == RunKind::Refresh ? RunMode::Refresh
                                               : RunMode::Fresh;
    std::string search_url = url_;
    if (kind_ == RunKind::Continue || again) {
        SavedRun saved = ReadSavedRun(db);
        if (!saved.position) {
            PostMessage("没有可以继续的抓取，错误严重，不可以继续抓取");
            return false;
        }
        if (saved.position->finished) return true;
        const RunPosition& at = *saved.position;
        if (!again) gate_.Store([&] { BeginFurtherRun(db, kRunContinue); });
        // Figures of the part already done, so progress goes on from there.
        progress_->stored = at.stored_rows;
        progress_->handled = static_cast<long long>(at.page_number - 1) * kEntriesPerPage + at.entries_done;
        start.page_url = at.page_url;
        start.page_number = at.page_number;
        start.entries_done = at.entries_done;
        mode = at.mode;
        search_url = at.search_url;
        // After a change of proxy the line names its task: several tasks may switch at once.
        const std::string from = "从第 " + std::to_string(at.page_number) + " 页的第 " +
                                 std::to_string(at.entries_done + 1) + " 个公司开始......";
        PostMessage(again ? "任务【" + std::filesystem::path(data_file_).stem().string() + "】换用代理后继续抓取：" + from
                          : "继续上次的抓取：" + from);
    } else {
        // Through the gate: a thread stopped before it began writes nothing at all.
        gate_.Store([&] { BeginRun(db, url_, mode); });
        if (mode != RunMode::Fresh) progress_->stored = ReadSavedRun(db).rows;
    }
    KnownCompanies known;
    if (mode != RunMode::Fresh) {
        known = KnownCompanies::Load(db);
        start.known = &known;
        start.refresh = mode == RunMode::Refresh;
    }
    return CrawlCompanyList(search_url, host, start);
}

void AliSpider::Configure(HttpClient& client, const Proxy* proxy) {
    client.SetStopFlag(gate_.stop_flag());
    client.SetCancelFlag(&cancel_read_ahead_);
    // One pacer for all: the interval and a server's waits hold for the task as a whole.
    client.SetPacer(&pacer_);
    client.SetProxy(proxy);
    const bool proxied = proxy != nullptr;
    client.SetTryObserver([this, proxied](const std::string& cause) {
        progress_->waiting_try = 0;
        if (proxied) TryEnded(cause);
    });
    // A server that accepts and does not answer is said while it lasts, not after the
    // last of its tries.
    client.SetWaitObserver([this](const FetchWait& wait) {
        progress_->waiting_try = wait.try_number;
        PostMessage("正在等待网站应答：已等待 " + std::to_string(wait.waited_s) + " 秒，第 " +
                    std::to_string(wait.try_number) + " 次尝试（共 " + std::to_string(wait.tries) + " 次）");
    });
}

void AliSpider::TryEnded(const std::string& cause) {
    if (!IsProxyCause(cause)) {
        proxy_failures_ = 0;
        return;
    }
    constexpr int kProxyFailuresInARow = 3;
    if (++proxy_failures_ < kProxyFailuresInARow) return;
    {
        // The reason is there before anyone sees the flag.
        std::lock_guard lock(restart_mutex_);
        if (restart_) return;
        restart_reason_ = "代理连续 " + std::to_string(kProxyFailuresInARow) + " 次失败：" + CauseText(cause);
        restart_ = true;
    }
    cancel_read_ahead_ = true;  // what the other connections still read is given up
}

bool AliSpider::Attempt(Connection& db, const Proxy* proxy, bool again) {
    proxy_failures_ = 0;
    restart_ = false;
    cancel_read_ahead_ = false;
    // The cookies outlive the clients that share them; each go begins a session of its own.
    SharedCookies cookies;
    HttpClient http;
    Configure(http, proxy);
    std::vector<std::unique_ptr<HttpClient>> lanes = FurtherConnections(http, cookies, proxy);
    Host host(*this, http, lanes, db, proxy);
    return RunCrawl(db, host, again);
}

// Each task takes the next proxy in turn. A go that a block or a failing proxy ends goes on
// from the saved position over the next one, and the proxy it used rests; when none is left,
// the task stops as it does when the site blocks it, keeping its place.
bool AliSpider::RunProxied(Connection& db) {
    std::optional<Proxy> proxy = env_.proxies->Next();
    for (bool again = false; proxy; again = true) {
        try {
            return Attempt(db, &*proxy, again);
        } catch (const CrawlRestart& restart) {
            env_.proxies->Rest(*proxy);
            const std::string left = proxy->Shown();
            proxy = env_.proxies->Next(proxy);
            PostMessage(proxy ? "切换代理：停用 " + left + "，改用 " + proxy->Shown() + "（" + restart.reason + "）"
                              : "没有可以换用的代理，" + left + " 已停用（" + restart.reason + "）");
        }
    }
    PostMessage(kSiteBlockedMessage);
    blocked_ = true;
    return false;
}

void AliSpider::Execute() {
    LowerThisThreadsPriority();
    result_code_ = 3;
    try {
        Connection db(data_file_, DatabaseKind::DataFile);
        if (env_.request_interval_ms) pacer_.SetInterval(Millis{env_.request_interval_ms()});
        const bool proxied = env_.proxies && !env_.proxies->empty();
        bool ok = proxied ? RunProxied(db) : Attempt(db, nullptr, false);
        result_code_ = blocked_ ? kSiteBlocked : !ok ? 2 : gate_.stopped() ? 3 : 0;
    } catch (const CrawlStopped&) {
    } catch (const DatabaseError& e) {
        PostMessage("任务运行时产生错误：" + DataFileErrorText(data_file_, e));
    } catch (const std::exception& e) {
        // The end report only says the task failed; keep the cause where the user sees it.
        PostMessage(std::string("任务运行时产生错误：") + e.what());
    } catch (...) {
    }
    if (!gate_.stopped()) {
        auto self = shared_from_this();
        int index = task_index_, code = result_code_;
        env_.ui->postAndWait([self, index, code] {
            if (!self->gate_.stopped() && self->env_.thread_ended)
                self->env_.thread_ended(index, code, self.get());
        });
    }
    alive_ = false;
}

}  // namespace qv
