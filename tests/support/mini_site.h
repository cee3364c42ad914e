#pragma once
// A tiny marketplace for tests: one result page of `companies` companies per search, and
// contact pages that answer after `delay`, so tests can act while tasks run.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "core/gbk.h"
#include "tests/support/test_http_server.h"

namespace qv::test {

// A marketplace of `companies` companies per search on one result page; every contact
// page answers after `delay`, so tests can act while tasks run.
class MiniSite {
public:
    explicit MiniSite(int companies, std::chrono::milliseconds delay = std::chrono::milliseconds(0))
        : companies_(companies), delay_(delay) {
        server_.server().Get("/search", [this](const httplib::Request& req, httplib::Response& res) {
            Answer(res, ResultPage(req.get_param_value("q")));
        });
        server_.server().Get(R"(/contact/(\d+))", [this](const httplib::Request& req,
                                                          httplib::Response& res) {
            ++contacts_;
            std::this_thread::sleep_for(delay_);
            Answer(res, ContactPage(std::stoi(req.matches[1])));
        });
        server_.Start();
    }
    std::string SearchUrl(const std::string& q) const { return server_.Url("/search?q=" + q); }
    int contacts() const { return contacts_; }

private:
    static void Answer(httplib::Response& res, const std::string& utf8) {
        res.set_content(Utf8ToGbk(utf8), "text/html; charset=GBK");
    }
    std::string ResultPage(const std::string& q) const {
        std::string html = "<div class=\"ld_yrhere\"><span>" + std::to_string(companies_) +
                           "</span></div><form id=\"batchForm\">";
        for (int i = 0; i < companies_; ++i)
            html += "<li class=\"comparecheck\"><a memberId=\"" + q + std::to_string(i) +
                    "\"><span>" + q + "公司" + std::to_string(i) + "</span></a><span>[已核实]</span>"
                    "<i class=\"feedback_phone\"><a href=\"" +
                    server_.Url("/contact/" + std::to_string(i)) + "\">联系</a></i></li>";
        return html + "</form>";
    }
    std::string ContactPage(int i) const {
        return "<p>公司首页<a href=\"" + server_.Url("/profile/" + std::to_string(i)) +
               "\">x</a></p><div class=\"lh20 clr\"><ul><li>联系人</li><li>王" +
               std::to_string(i) + " 先生（经理）</li></ul></div><ul class=\"lh20 clr\">"
               "<li>电　　话：0571-" + std::to_string(80000000 + i) + "</li></ul>";
    }
    int companies_;
    std::chrono::milliseconds delay_;
    std::atomic<int> contacts_{0};
    TestHttpServer server_;
};

}  // namespace qv::test
