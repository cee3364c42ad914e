#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/fetcher.h"
#include "tests/support/test_http_server.h"

namespace qv {
namespace {

using namespace std::chrono_literals;
using test::TestHttpServer;

TEST(FetchPage, RetriesUntilTheSixthTryAnswers) {
    TestHttpServer s;
    std::atomic<int> hits{0};
    s.server().Get("/flaky", [&](const httplib::Request&, httplib::Response& res) {
        if (++hits < 6) {
            res.status = 500;
            res.set_content("busy", "text/plain");
        } else {
            res.set_content("<html>ok</html>", "text/html");
        }
    });
    s.Start();
    HttpClient client;
    FetchResult r = FetchPage(s.Url("/flaky"), client);
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.body, "<html>ok</html>");
    EXPECT_EQ(hits, 6);
}

TEST(FetchPage, NotFoundIsTriedSixTimesThenFails) {
    TestHttpServer s;
    std::atomic<int> hits{0};
    s.server().Get("/gone", [&](const httplib::Request&, httplib::Response& res) {
        ++hits;
        res.status = 404;
        res.set_content("not here", "text/html");
    });
    s.Start();
    HttpClient client;
    FetchResult r = FetchPage(s.Url("/gone"), client);
    EXPECT_EQ(r.error, "连接失败");
    EXPECT_EQ(hits, 6);
}

TEST(FetchPage, FollowsFifteenRedirectsButNotSixteen) {
    TestHttpServer s;
    s.server().Get(R"(/r/(\d+))", [&](const httplib::Request& req, httplib::Response& res) {
        int left = std::stoi(req.matches[1]);
        if (left == 0)
            res.set_content("end", "text/html");
        else
            res.set_redirect("/r/" + std::to_string(left - 1));
    });
    s.Start();
    HttpClient client;
    EXPECT_EQ(FetchPage(s.Url("/r/15"), client).body, "end");
    FetchResult r = FetchPage(s.Url("/r/16"), client);
    EXPECT_EQ(r.error, "连接失败");
    EXPECT_EQ(r.body, "");
}

TEST(FetchPage, BodiesOfOneByteAndOfNoBytes) {
    TestHttpServer s;
    s.server().Get("/one", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("x", "text/html");
    });
    s.server().Get("/empty", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("", "text/html");
    });
    s.Start();
    HttpClient client;
    FetchResult one = FetchPage(s.Url("/one"), client);
    EXPECT_EQ(one.body, "x");
    EXPECT_EQ(one.error, "");
    FetchResult empty = FetchPage(s.Url("/empty"), client);
    EXPECT_EQ(empty.body, "");
    EXPECT_EQ(empty.error, "");
}

// A one-shot raw server: reads one request head, answers, and keeps what it read.
class RawServer {
public:
    RawServer() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        listen(fd_, 4);
        socklen_t len = sizeof addr;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~RawServer() {
        if (thread_.joinable()) thread_.join();
        close(fd_);
    }
    int port() const { return port_; }
    // The request head as received, once it was answered.
    std::string TakeHead() {
        thread_.join();
        return head_;
    }

private:
    void Serve() {
        int c = accept(fd_, nullptr, nullptr);
        char buf[4096];
        while (head_.find("\r\n\r\n") == std::string::npos) {
            ssize_t n = read(c, buf, sizeof buf);
            if (n <= 0) break;
            head_.append(buf, static_cast<size_t>(n));
        }
        const char answer[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
        (void)!write(c, answer, sizeof answer - 1);
        close(c);
    }
    int fd_;
    int port_;
    std::string head_;
    std::thread thread_;
};

TEST(FetchPage, SendsExactlyTheFixedHeaderLines) {
    RawServer raw;
    HttpClient client;
    std::string host = "127.0.0.1:" + std::to_string(raw.port());
    FetchResult r = FetchPage("http://" + host + "/a?b=%D6%D0", client);
    EXPECT_EQ(r.body, "ok");
    EXPECT_EQ(raw.TakeHead(),
              "GET /a?b=%D6%D0 HTTP/1.1\r\n"
              "Host: " + host + "\r\n"
              "User-Agent: User-Agent: Mozilla/4.0 (compatib le; MSIE 5.00; Windows 98)\r\n"
              "Pragma: no-cache\r\n"
              "Cache-Control: no-cache\r\n"
              "Connection: Keep-Alive\r\n"
              "Accept: text/html, */*\r\n"
              "\r\n");
}

TEST(FetchPage, KeepsTheConnectionAndCookiesOfItsOwnClientOnly) {
    TestHttpServer s;
    std::vector<int> ports;
    std::vector<std::string> cookies;
    std::mutex m;
    s.server().Get("/page", [&](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard lock(m);
        ports.push_back(req.remote_port);
        cookies.push_back(req.get_header_value("Cookie"));
        if (!req.has_header("Cookie")) res.set_header("Set-Cookie", "sid=" + req.get_param_value("who"));
        res.set_content("p", "text/html");
    });
    s.Start();
    HttpClient a, b;
    FetchPage(s.Url("/page?who=a"), a);
    FetchPage(s.Url("/page?who=a"), a);
    FetchPage(s.Url("/page?who=b"), b);
    FetchPage(s.Url("/page?who=b"), b);
    ASSERT_EQ(cookies.size(), 4u);
    EXPECT_EQ(cookies[0], "");
    EXPECT_EQ(cookies[1], "sid=a");
    EXPECT_EQ(cookies[2], "");
    EXPECT_EQ(cookies[3], "sid=b");
    EXPECT_EQ(ports[0], ports[1]) << "the second page should reuse the connection";
    EXPECT_NE(ports[1], ports[2]);
}

TEST(FetchPage, RefusesToFollowOrFetchAnythingButHttp) {
    TestHttpServer s;
    std::atomic<int> hits{0};
    s.server().Get("/evil", [&](const httplib::Request&, httplib::Response& res) {
        ++hits;
        res.set_redirect("file:///etc/passwd");
    });
    s.Start();
    HttpClient client;
    FetchResult r = FetchPage(s.Url("/evil"), client);
    EXPECT_EQ(r.error, "连接失败");
    EXPECT_EQ(r.body.find("root:"), std::string::npos);
    EXPECT_EQ(hits, 6);
    EXPECT_EQ(FetchPage("file:///etc/passwd", client).error, "连接失败");
    EXPECT_EQ(FetchPage("not a url", client).error, "连接失败");
}

TEST(FetchPage, BodyOverTheLimitFailsTheTry) {
    TestHttpServer s;
    s.server().Get("/huge", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string((16u << 20) + 1, 'a'), "text/html");
    });
    s.server().Get("/limit", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(16u << 20, 'a'), "text/html");
    });
    s.Start();
    HttpClient client;
    EXPECT_EQ(FetchPage(s.Url("/huge"), client).error, "连接失败");
    EXPECT_EQ(FetchPage(s.Url("/limit"), client).body.size(), 16u << 20);
}

TEST(FetchPage, AServerThatHangsCountsAsFailedTries) {
    TestHttpServer s;
    std::atomic<int> hits{0};
    s.server().Get("/hang", [&](const httplib::Request&, httplib::Response& res) {
        ++hits;
        std::this_thread::sleep_for(400ms);
        res.set_content("late", "text/html");
    });
    s.Start();
    HttpClient client;
    client.SetLimits({1000, 100, std::size_t{16} << 20});
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FetchPage(s.Url("/hang"), client).error, "连接失败");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_EQ(hits, 6);
}

// A socket on 127.0.0.1 whose connections the kernel completes from the listen queue and
// that nothing ever answers; its URL.
std::string SilentServer(int& fd) {
    fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, kFetchTries + 2) != 0)
        return {};
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    return "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/";
}

TEST(FetchPage, AServerThatAcceptsAndNeverAnswersFailsOnTheLowSpeedLimit) {
    int fd = -1;
    const std::string url = SilentServer(fd);
    ASSERT_FALSE(url.empty());
    HttpClient client;
    FetchLimits limits;
    limits.low_speed_time_s = 1;
    client.SetLimits(limits);
    auto start = std::chrono::steady_clock::now();
    FetchResult r = FetchPage(url, client);
    // Without the limit one try alone would last the whole 60 s.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(limits.total_timeout_ms));
    EXPECT_EQ(r.error, "连接失败");
    EXPECT_EQ(r.cause, "timeout");
    close(fd);
}

TEST(FetchPage, ASilentServerIsToldWhileItIsWaitedForOnceATry) {
    int fd = -1;
    const std::string url = SilentServer(fd);
    ASSERT_FALSE(url.empty());
    HttpClient client;
    FetchLimits limits;
    limits.low_speed_time_s = 1;
    limits.tries = 3;
    limits.tell_wait_after_ms = 300;
    client.SetLimits(limits);
    std::vector<FetchWait> told;
    std::vector<std::string> ended;
    client.SetWaitObserver([&](const FetchWait& w) { told.push_back(w); });
    client.SetTryObserver([&](const std::string& cause) { ended.push_back(cause); });
    FetchResult r = FetchPage(url, client);
    EXPECT_EQ(r.cause, "timeout");
    ASSERT_EQ(told.size(), 3u) << "once for each try";
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(told[static_cast<size_t>(i)].try_number, i + 1);
        EXPECT_EQ(told[static_cast<size_t>(i)].tries, 3);
    }
    EXPECT_EQ(ended, (std::vector<std::string>{"timeout", "timeout", "timeout"}));
    close(fd);

    // A server that answers in time is never told as a wait.
    TestHttpServer s;
    s.server().Get("/quick", [](const httplib::Request&, httplib::Response& res) { res.set_content("ok", "text/html"); });
    s.Start();
    told.clear();
    EXPECT_EQ(FetchPage(s.Url("/quick"), client).body, "ok");
    EXPECT_TRUE(told.empty());
}

TEST(FetchPage, StopFlagAbortsATransferInFlightAndMakesNoFurtherTry) {
    TestHttpServer s;
    std::atomic<int> hits{0};
    s.server().Get("/slow", [&](const httplib::Request&, httplib::Response& res) {
        ++hits;
        std::this_thread::sleep_for(1500ms);
        res.set_content("late", "text/html");
    });
    s.Start();
    std::atomic<bool> stop{false};
    HttpClient client;
    client.SetStopFlag(&stop);
    std::thread stopper([&] {
        std::this_thread::sleep_for(100ms);
        stop = true;
    });
    auto start = std::chrono::steady_clock::now();
    FetchResult r = FetchPage(s.Url("/slow"), client);
    auto took = std::chrono::steady_clock::now() - start;
    stopper.join();
    EXPECT_EQ(r.error, "连接失败");
    EXPECT_LT(took, 1000ms);
    EXPECT_EQ(hits, 1);
}

TEST(FetchPage, TenClientsOnTenThreadsAtOnce) {
    TestHttpServer s;
    s.server().Get(R"(/n/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(std::string(req.matches[1]), "text/html");
    });
    s.Start();
    std::vector<std::thread> threads;
    std::atomic<int> good{0};
    for (int t = 0; t < 10; ++t)
        threads.emplace_back([&, t] {
            HttpClient client;
            for (int i = 0; i < 20; ++i) {
                std::string n = std::to_string(t * 100 + i);
                good += FetchPage(s.Url("/n/" + n), client).body == n;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(good, 200);
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

using namespace std::chrono_literals;
using test::TestHttpServer;

// Accepts `count` connections, reads each request head and resets the connection
// (SO_LINGER 0 makes close send RST) without answering.
class ResettingServer {
public:
    explicit ResettingServer(int count) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        listen(fd_, 8);
        socklen_t len = sizeof addr;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this, count] {
            for (int i = 0; i < count; ++i) {
                int c = accept(fd_, nullptr, nullptr);
                if (c < 0) return;
                char buf[4096];
                std::string head;
                while (head.find("\r\n\r\n") == std::string::npos) {
                    ssize_t n = read(c, buf, sizeof buf);
                    if (n <= 0) break;
                    head.append(buf, static_cast<size_t>(n));
                }
                linger reset{1, 0};
                setsockopt(c, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
                close(c);
            }
        });
    }
    ~ResettingServer() {
        thread_.join();
        close(fd_);
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/x"; }

private:
    int fd_;
    int port_;
    std::thread thread_;
};

// The cause names what went wrong in the last try; the error text stays "连接失败".
TEST(FetchCause, NamesTheStatusOrTheTransportError) {
    TestHttpServer s;
    s.server().Get("/gone", [](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content("not here", "text/html");
    });
    s.server().Get("/broken", [](const httplib::Request&, httplib::Response& res) {
        res.status = 500;
        res.set_content("oops", "text/html");
    });
    s.server().Get("/busy", [](const httplib::Request&, httplib::Response& res) {
        res.status = 503;
        res.set_content("busy", "text/html");
    });
    s.server().Get(R"(/r/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
        int left = std::stoi(req.matches[1]);
        if (left == 0) res.set_content("end", "text/html");
        else res.set_redirect("/r/" + std::to_string(left - 1));
    });
    s.server().Get("/evil", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("file:///etc/passwd");
    });
    s.server().Get("/hang", [](const httplib::Request&, httplib::Response& res) {
        std::this_thread::sleep_for(300ms);
        res.set_content("late", "text/html");
    });
    s.server().Get("/huge", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(2000, 'a'), "text/html");
    });
    s.Start();
    HttpClient client;
    auto cause = [&](const std::string& url) {
        FetchResult r = FetchPage(url, client);
        EXPECT_EQ(r.error, "连接失败") << url;
        return r.cause;
    };
    EXPECT_EQ(cause(s.Url("/gone")), "HTTP 404");
    EXPECT_EQ(cause(s.Url("/broken")), "HTTP 500");
    EXPECT_EQ(cause(s.Url("/busy")), "HTTP 503");
    EXPECT_EQ(cause(s.Url("/r/16")), "too many redirects");
    EXPECT_EQ(cause(s.Url("/evil")), "redirect to a non-web address");
    EXPECT_EQ(cause("http://127.0.0.1:1/"), "connection refused");
    EXPECT_EQ(cause(""), "malformed URL");
    {
        ResettingServer reset(kFetchTries);
        EXPECT_EQ(cause(reset.Url()), "connection reset");
    }
    client.SetLimits({1000, 100, 1000});
    EXPECT_EQ(cause(s.Url("/hang")), "timeout");
    EXPECT_EQ(cause(s.Url("/huge")), "body too large");

    FetchResult ok = FetchPage(s.Url("/r/15"), client);
    EXPECT_EQ(ok.error, "");
    EXPECT_EQ(ok.cause, "");
}

}  // namespace
}  // namespace qv
