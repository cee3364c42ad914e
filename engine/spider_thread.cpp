#include "engine/spider_thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "core/database.h"
#include "engine/crawl.h"
#include "engine/fetcher.h"

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

// The crawl's view of its thread: fetches and stores pass the gate, UI work is posted.
class AliSpider::Host : public CrawlHost {
public:
    // `lanes`: the clients of the task's further connections, used by FetchOn.
    Host(AliSpider& spider, HttpClient& http, std::vector<std::unique_ptr<HttpClient>>& lanes,
         Connection& db)
        : spider_(spider), http_(http), lanes_(lanes), db_(db) {}

    void Message(const std::string& text) override { spider_.PostMessage(text); }
    void MemberRow(const MemberValues& values) override {
        auto sink = spider_.sink_;
        spider_.Post([sink, values] { sink->AppendMemberRow(values); });
    }
    void MessageCause(const std::string& cause) override {
        auto sink = spider_.sink_;
        spider_.Post([sink, cause] { sink->ShowMessageCause(cause); });
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
        FetchResult result = FetchPage(url, client);
        if (spider_.gate_.stopped()) throw CrawlStopped{};
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
    void SiteBlocked() override { spider_.blocked_ = true; }

private:
    AliSpider& spider_;
    HttpClient& http_;
    std::vector<std::unique_ptr<HttpClient>>& lanes_;
    Connection& db_;
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
                                                                        SharedCookies& cookies) {
    const int wanted = env_.connections ? env_.connections() : 1;
    const int n = std::clamp(wanted, 1, kMaxConnectionsPerTask);
    std::vector<std::unique_ptr<HttpClient>> lanes;
    if (n < 2 || !first.ShareCookies(cookies)) return lanes;
    for (int i = 1; i < n; ++i) {
        auto client = std::make_unique<HttpClient>();
        client->SetStopFlag(gate_.stop_flag());
        // One pacer for all: the interval and a server's waits hold for the task as a whole.
        client->SetPacer(&pacer_);
        if (!client->ShareCookies(cookies)) break;
        lanes.push_back(std::move(client));
    }
    return lanes;
}

bool AliSpider::RunCrawl(Connection& db, CrawlHost& host) {
    if (kind_ == RunKind::RetryFailed) return RetryFailedCompanies(ReadFailedPages(db), host);
    CrawlStart start;
    RunMode mode = kind_ == RunKind::NewOnly ? RunMode::NewOnly : RunMode::Fresh;
    std::string search_url = url_;
    if (kind_ == RunKind::Continue) {
        SavedRun saved = ReadSavedRun(db);
        if (!saved.position) {
            PostMessage("没有可以继续的抓取，错误严重，不可以继续抓取");
            return false;
        }
        if (saved.position->finished) return true;
        const RunPosition& at = *saved.position;
        // Figures of the part already done, so progress goes on from there.
        progress_->stored = at.stored_rows;
        progress_->handled = static_cast<long long>(at.page_number - 1) * kEntriesPerPage + at.entries_done;
        start.page_url = at.page_url;
        start.page_number = at.page_number;
        start.entries_done = at.entries_done;
        mode = at.mode;
        search_url = at.search_url;
        PostMessage("继续上次的抓取：从第 " + std::to_string(at.page_number) + " 页的第 " +
                    std::to_string(at.entries_done + 1) + " 个公司开始......");
    } else {
        // Through the gate: a thread stopped before it began writes nothing at all.
        gate_.Store([&] { BeginRun(db, url_, mode); });
        if (mode == RunMode::NewOnly) progress_->stored = ReadSavedRun(db).rows;
    }
    KnownCompanies known;
    if (mode == RunMode::NewOnly) {
        known = KnownCompanies::Load(db);
        start.known = &known;
    }
    return CrawlCompanyList(search_url, host, start);
}

void AliSpider::Execute() {
    LowerThisThreadsPriority();
    result_code_ = 3;
    try {
        Connection db(data_file_, DatabaseKind::DataFile);
        // The cookies outlive the clients that share them.
        SharedCookies cookies;
        HttpClient http;
        http.SetStopFlag(gate_.stop_flag());
        if (env_.request_interval_ms) pacer_.SetInterval(Millis{env_.request_interval_ms()});
        http.SetPacer(&pacer_);
        std::vector<std::unique_ptr<HttpClient>> lanes = FurtherConnections(http, cookies);
        Host host(*this, http, lanes, db);
        bool ok = RunCrawl(db, host);
        result_code_ = blocked_ ? kSiteBlocked : !ok ? 2 : gate_.stopped() ? 3 : 0;
    } catch (const CrawlStopped&) {
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
