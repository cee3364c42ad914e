#pragma once
// The simulated marketplace's companies: deterministic records per (seed, search), and
// the values a faultless crawl of their pages stores.
#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/data_files.h"

namespace qv {

enum class SimContactLayout { lh20, mp_r };
enum class SimProfileLayout { typelist, bodyCont };

// The fifteen labelled facts of a profile page, in the order in which the crawl tests
// their labels; index 0 of SimCompany::profile is the introduction.
inline constexpr int kSimProfileFacts = 15;
extern const std::array<std::string_view, kSimProfileFacts> kSimProfileFactLabels;

struct SimCompany {
    // The company's number in its search, from 0, kept from week to week; a search as it
    // stands today lists the companies in this order.
    int index = 0;
    std::string search_key; // the data set the company belongs to
    int city = 0, core = 0; // what its name, numbers and address are made of
    bool online = false;    // shown as a member online now (onlineStatus=yes)
    SimContactLayout contact_layout = SimContactLayout::lh20;
    SimProfileLayout profile_layout = SimProfileLayout::typelist;

    // What the pages print.
    std::string verified_mark;  // "[已核实]" or "[未核实]"
    std::string person_html;    // the person line as printed, "&nbsp;" included
    std::array<std::string, kSimProfileFacts + 1> profile;  // introduction, then the facts
    std::string contact_path, profile_path, message_path;  // site-relative links

    // What a faultless crawl with the detail option on stores, in DataList order.
    MemberValues values;
    // The same with the option off: the sixteen profile fields empty.
    MemberValues ValuesWithoutDetail() const;
};

// The filters a search URL may carry, as the add-task dialog sets them.
struct SimFilter {
    std::string province, city;  // as the location list names them ("浙江", "杭州")
    int biztype = 0;             // 0: all; else the code of 生产型, 贸易型, 服务型, ...
    bool trust_pass_only = false;
    bool online_only = false;

    bool Any() const;
    bool Matches(const SimCompany& company) const;
    std::string Signature() const;
};

namespace sim {

// The data set key of a keyword search and of a category search.
std::string KeywordKey(std::string_view keyword_utf8);
std::string CategoryKey(int category_id);

// Hex text of a key's bytes, as carried in page links, and back ("" when malformed).
std::string KeyToHex(std::string_view key);
std::string KeyFromHex(std::string_view hex);

// The search word of a key as the pages may show it: CJK characters, ASCII letters and
// digits only (a category search shows the category's caption).
std::string SearchWordOf(const std::string& key);

// A 64-bit hash of the parts, stable across runs and platforms.
uint64_t StableHash(uint64_t seed, std::string_view text, uint64_t n = 0);

}  // namespace sim

// The companies of every search, built on first use and kept for the server's life.
// Thread-safe; references stay valid as long as the SiteData lives.
class SiteData {
public:
    // `week`: the searches as they stand that many weeks from today (0: today).
    SiteData(uint32_t seed, int companies, std::string base_url, int week = 0);

    // The companies a search lists this week, in list order; with a filter, only those
    // that match it.
    const std::vector<SimCompany>& ForKey(const std::string& key, const SimFilter& filter = {});
    // The company with that number in the search this week, or null once it is gone.
    const SimCompany* CompanyAt(const std::string& key, int index);
    const std::vector<SimCompany>& CompaniesFor(const std::string& keyword_utf8) {
        return ForKey(sim::KeywordKey(keyword_utf8));
    }
    const std::vector<SimCompany>& CompaniesForCategory(int category_id) {
        return ForKey(sim::CategoryKey(category_id));
    }
    // The companies of one industry category of the directory, all of its trade, with
    // names, products and introductions that fit it; not kept, as the sets above are.
    std::vector<SimCompany> CategoryDirectory(std::string_view group, std::string_view category,
                                              int count) const;
    const std::string& base_url() const { return base_url_; }
    uint32_t seed() const { return seed_; }
    // Serves the searches as they stand `week` weeks from today from now on.
    void SetWeek(int week);
    int week() const;

private:
    struct Listing {
        std::vector<SimCompany> companies;
        std::map<int, size_t> at;  // company number -> list position
    };
    const Listing& ListingOf(const std::string& key, int week);  // mutex_ held
    std::vector<SimCompany> Build(const std::string& key, int count) const;

    uint32_t seed_;
    int companies_;
    std::string base_url_;
    int week_;
    mutable std::mutex mutex_;
    // Kept for the server's life, so references stay valid across weeks.
    std::map<std::pair<int, std::string>, Listing> sets_;
    std::map<std::string, std::vector<SimCompany>> filtered_;
};

}  // namespace qv
