// Page scanning speed: a result page of 40 companies (~50 KB) and the two profile layouts.
#include <benchmark/benchmark.h>

#include <string>

#include "core/gbk.h"
#include "engine/crawl.h"
#include "engine/markup.h"
#include "engine/profile.h"

namespace {

std::string Filler(int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += "<div class=\"info\">\r\n\t<em>浙江 杭州</em> 主营：服装 纺织品 面料 辅料</div>\r\n";
    return s;
}

std::string ResultPageGbk() {
    std::string html = "<html><head><title>公司搜索</title></head><body>" + Filler(150) +
                       "<div class=\"ld_yrhere\">共<span>12345</span>家</div>"
                       "<form id=\"batchForm\" method=\"post\"><ul>\r\n";
    for (int i = 0; i < 40; ++i) {
        const std::string n = std::to_string(i);
        html += "<li><input type=\"checkbox\" class=\"comparecheck\" value=\"" + n +
                "\"><a href=\"http://m.example.cn/" + n + "\" memberId=\"member" + n +
                "\"><span>杭州第" + n + "服装有限公司</span></a><span>[已核实]</span>" + Filler(3) +
                "<span class=\"feedback_message\"><a href=\"http://m.example.cn/msg/" + n +
                "\">给我留言</a></span><span class=\"feedback_phone\"><a href=\"http://m.example.cn/c/" +
                n + "\">联系方式</a></span><div class=\"ff_m2\"><span>" + n + "</span></div></li>\r\n";
    }
    html += "</ul></form><div class=\"pages\"><h1><span class=\"currentpage\">1</span>"
            "<a href=\"/search?page=2\">下一页</a></h1></div>" + Filler(150) + "</body></html>";
    return qv::Utf8ToGbk(html);
}

std::string TypelistProfileGbk() {
    std::string html = "<html>" + Filler(60) + "<span class=\"S\">本公司&nbsp;成立于1998年" +
                       Filler(5) + "</span><table class=\"typelist\">";
    const char* labels[] = {"主营行业", "主营产品或服务", "企业类型", "经营模式", "注册资本",
                            "公司注册地", "员工人数", "公司成立时间", "法定代表人", "主要客户"};
    for (const char* label : labels)
        html += std::string("<tr><td>") + label + "</td><td>年营业额</td></tr><tr><td>值</td><td>1亿</td></tr>";
    return qv::Utf8ToGbk(html + "</table>" + Filler(60) + "</html>");
}

std::string BodyContProfileGbk() {
    std::string html = "<html>" + Filler(60) + "<div id=\"bodyCont\"><div>a</div><div>b</div>"
                       "<div>nextAd();return; 本公司&nbsp;成立于1998年</div><table>";
    const char* labels[] = {"主营行业：", "主营产品或服务：", "企业类型：", "经营模式：", "注册资本：",
                            "公司注册地：", "员工人数：", "公司成立时间：", "法定代表人：", "主要客户："};
    for (const char* label : labels)
        html += std::string("<tr><td>") + label + "</td><td> 值 </td><td>年营业额</td><td>1亿</td></tr>";
    return qv::Utf8ToGbk(html + "</table></div>" + Filler(60) + "</html>");
}

void SetRate(benchmark::State& state, size_t bytes) {
    state.counters["pages/s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                   benchmark::Counter::kIsRate);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_ResultPageEntries(benchmark::State& state) {
    const std::string page = ResultPageGbk();
    for (auto _ : state) {
        const std::u16string text = qv::DecodeAndNormalize(page);
        std::u16string_view list = qv::From(text, static_cast<long long>(qv::Pos(u"\"batchForm\"", text)));
        list = qv::First(list, static_cast<long long>(qv::Pos(u"</form>", list)) - 1);
        auto entries = qv::ReadListEntries(list);
        benchmark::DoNotOptimize(entries.data());
    }
    state.counters["bytes/page"] = static_cast<double>(page.size());
    SetRate(state, page.size());
}
BENCHMARK(BM_ResultPageEntries);

void BM_NormalizeOnly(benchmark::State& state) {
    const std::u16string text = qv::GbkToUtf16(ResultPageGbk());
    for (auto _ : state) benchmark::DoNotOptimize(qv::NormalizePage(text));
    SetRate(state, text.size() * 2);
}
BENCHMARK(BM_NormalizeOnly);

void BM_ProfilePage(benchmark::State& state, std::string page) {
    for (auto _ : state) {
        qv::ProfileValues values = qv::ParseProfilePage(qv::DecodeAndNormalize(page));
        benchmark::DoNotOptimize(values[1].data());
    }
    state.counters["bytes/page"] = static_cast<double>(page.size());
    SetRate(state, page.size());
}
BENCHMARK_CAPTURE(BM_ProfilePage, typelist, TypelistProfileGbk());
BENCHMARK_CAPTURE(BM_ProfilePage, bodyCont, BodyContProfileGbk());

}  // namespace

BENCHMARK_MAIN();
