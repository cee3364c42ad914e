#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "core/app_info.h"
#include "core/text.h"
#include "tasks/search_host.h"
#include "tasks/search_url.h"

namespace qv::cli {
namespace {

struct SearchUrlArgs {
    std::string host, keyword, province, city, biztype, year, category;
    bool trustpass = false, online = false;
};

// A keyword search as the add-task dialog would hand it back; unknown captions are
// usage errors.
TAddTaskResult KeywordSearch(const SearchUrlArgs& a) {
    TAddTaskResult r;
    r.Keyword = Trim(a.keyword);
    if (r.Keyword.empty()) throw CLI::ValidationError("--keyword", "关键词必须输入。");
    r.Province = a.province.empty() ? std::string(kAllProvinces) : Trim(a.province);
    r.City = a.city.empty() ? std::string(kAllCities) : Trim(a.city);
    auto biz = FindBiztype(a.biztype.empty() ? "所有经营模式" : a.biztype);
    if (!biz) throw CLI::ValidationError("--biztype", "unknown business model: " + a.biztype);
    r.BiztypeCode = biz->code;
    r.BiztypeName = std::string(biz->caption);
    auto year = FindEstablishedYear(a.year.empty() ? "所有注册年份" : a.year);
    if (!year) throw CLI::ValidationError("--year", "unknown establishment year: " + a.year);
    r.EstablishedYearCode = std::string(year->code);
    r.EstablishedYearName = std::string(year->caption);
    r.onlyAliMember = a.trustpass;
    r.onlyOnlineMember = a.online;
    return r;
}

TAddTaskResult CategorySearch(const SearchUrlArgs& a) {
    auto cat = FindCategory(Trim(a.category));
    if (!cat) throw CLI::ValidationError("--category", "unknown category: " + a.category);
    TAddTaskResult r;
    r.SearchKind = 1;
    r.CategoryId = cat->id;
    r.CategoryLargeName = std::string(cat->caption);
    return r;
}

}  // namespace

void AddSearchUrlCommand(CLI::App& app, Context& ctx) {
    auto a = std::make_shared<SearchUrlArgs>();
    auto* cmd = app.add_subcommand("search-url", "Print the search URL of a task");
    cmd->add_option("--host", a->host, "URL prefix of the search host (default: the profile's config.ini)");
    auto* kw = cmd->add_option("--keyword", a->keyword, "Keyword of a keyword search");
    auto* cat = cmd->add_option("--category", a->category, "Industry category caption");
    kw->excludes(cat);
    cmd->add_option("--province", a->province, "Province caption")->needs(kw);
    cmd->add_option("--city", a->city, "City caption")->needs(kw);
    cmd->add_option("--biztype", a->biztype, "Business model caption")->needs(kw);
    cmd->add_option("--year", a->year, "Establishment year caption")->needs(kw);
    cmd->add_flag("--trustpass", a->trustpass, "TrustPass members only")->needs(kw);
    cmd->add_flag("--online", a->online, "Members online only")->needs(kw);
    cmd->require_option(1, 0);
    cmd->callback([a, kw, &ctx] {
        if (a->keyword.empty() && a->category.empty())
            throw CLI::ValidationError("search-url", "give --keyword or --category");
        TAddTaskResult r = kw->count() > 0 ? KeywordSearch(*a) : CategorySearch(*a);
        std::string host =
            a->host.empty() ? SearchHost(ctx.LocatedProfile().settings_file) : a->host;
        ctx.streams.out << BuildSearchUrl(r, host) << '\n';
    });
}

}  // namespace qv::cli
