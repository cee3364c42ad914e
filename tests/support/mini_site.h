#pragma once
// A tiny marketplace for tests: one result page of `companies` companies per search, and
// contact pages that answer after `delay`, so tests can act while tasks run.
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/gbk.h"
#include "tests/support/test_http_server.h"

namespace qv::test {

struct MiniSiteOptions {
    bool list_twice = false;       // every company stands twice in a row in the list
    bool slow_down_first = false;  // a contact page's first request gets 429, Retry-After: 1
    int failed_searches = 0;       // the first this many result page requests get HTTP 500
};

// A marketplace of `companies` companies per search on one result page; every contact
// page answers after `delay`, so tests can act while tasks run.
class MiniSite {
public:
    explicit MiniSite(int companies, std::chrono::milliseconds delay = std::chrono::milliseconds(0),
                      MiniSiteOptions options = {})
        : companies_(companies), delay_(delay), options_(options) {
        server_.server().Get("/search", [this](const httplib::Request& req, httplib::Response& res) {
            if (searches_++ < options_.failed_searches) {
                res.status = 500;
                return;
            }
            Answer(res, ResultPage(req.get_param_value("q")));
        });
        // Profile pages are only counted; they answer 404, as an unknown page does.
        server_.server().Get(R"(/profile/(\d+))", [this](const httplib::Request&, httplib::Response& res) {
            ++profiles_;
            res.status = 404;
        });
        server_.server().Get(R"(/contact/(\d+))", [this](const httplib::Request& req,
                                                          httplib::Response& res) {
            ++contacts_;
            if (Logged(req.path) == 1 && options_.slow_down_first) {
                res.status = 429;
                res.set_header("Retry-After", "1");
                return;
            }
            std::this_thread::sleep_for(delay_);
            Answer(res, ContactPage(std::stoi(req.matches[1])));
        });
        server_.Start();
    }
    std::string SearchUrl(const std::string& q) const { return server_.Url("/search?q=" + q); }
    int contacts() const { return contacts_; }
    int profiles() const { return profiles_; }

    struct Request {
        std::string path;
        std::chrono::steady_clock::time_point arrived;
    };
    // The contact page requests in the order they came.
    std::vector<Request> ContactRequests() const {
        std::lock_guard lock(mutex_);
        return log_;
    }

private:
    static void Answer(httplib::Response& res, const std::string& utf8) {
        res.set_content(Utf8ToGbk(utf8), "text/html; charset=GBK");
    }
    std::string ResultPage(const std::string& q) const {
        std::string html = "<div class=\"ld_yrhere\"><span>" + std::to_string(companies_) +
                           "</span></div><form id=\"batchForm\">";
        for (int n = 0; n < companies_ * (options_.list_twice ? 2 : 1); ++n) {
            const int i = options_.list_twice ? n / 2 : n;
            html += "<li class=\"comparecheck\"><a memberId=\"" + q + std::to_string(i) +
                    "\"><span>" + q + "公司" + std::to_string(i) + "</span></a><span>[已核实]</span>"
                    "<i class=\"feedback_phone\"><a href=\"" +
                    server_.Url("/contact/" + std::to_string(i)) + "\">联系</a></i></li>";
        }
        return html + "</form>";
    }
    std::string ContactPage(int i) const {
        return "<p>公司首页<a href=\"" + server_.Url("/profile/" + std::to_string(i)) +
               "\">x</a></p><div class=\"lh20 clr\"><ul><li>联系人</li><li>王" +
               std::to_string(i) + " 先生（经理）</li></ul></div><ul class=\"lh20 clr\">"
               "<li>电　　话：0571-" + std::to_string(80000000 + i) + "</li></ul>";
    }
    // How often `path` was asked for, this request included.
    int Logged(const std::string& path) {
        std::lock_guard lock(mutex_);
        log_.push_back({path, std::chrono::steady_clock::now()});
        return ++counts_[path];
    }

    int companies_;
    std::chrono::milliseconds delay_;
    MiniSiteOptions options_;
    mutable std::mutex mutex_;
    std::vector<Request> log_;
    std::map<std::string, int> counts_;
    std::atomic<int> contacts_{0};
    std::atomic<int> profiles_{0};
    std::atomic<int> searches_{0};
    TestHttpServer server_;
};

}  // namespace qv::test
