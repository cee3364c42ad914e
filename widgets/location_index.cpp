#include "widgets/location_index.h"

#include <algorithm>
#include <optional>

#include "core/data_module.h"
#include "core/text.h"

namespace qv::widgets {
namespace {

// What may follow a province's or city's name in an address, longest first.
constexpr std::string_view kSuffixes[] = {"维吾尔自治区", "壮族自治区", "回族自治区", "特别行政区",
                                          "自治区", "自治州", "地区", "省", "市", "盟", "区", "县"};

std::string_view SkipSuffix(std::string_view rest) {
    for (std::string_view suffix : kSuffixes)
        if (rest.substr(0, suffix.size()) == suffix) return rest.substr(suffix.size());
    return rest;
}

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20) s.remove_prefix(1);
    return s;
}

}  // namespace

LocationIndex::LocationIndex(std::vector<Location> locations) {
    int position = 0;
    for (Location& l : locations) entries_.push_back({l.fid, l.parent, Trim(l.name), position++});
    std::sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) { return a.fid < b.fid; });
    std::vector<const Entry*> by_position;
    for (const Entry& e : entries_) by_position.push_back(&e);
    std::sort(by_position.begin(), by_position.end(),
              [](const Entry* a, const Entry* b) { return a->position < b->position; });
    for (const Entry* e : by_position)
        if (e->parent == 0 && !e->name.empty()) provinces_.push_back(e->fid);
    cities_.resize(provinces_.size());
    for (const Entry* e : by_position) {
        if (e->parent == 0 || e->name.empty()) continue;
        auto at = std::find(provinces_.begin(), provinces_.end(), e->parent);
        if (at != provinces_.end()) cities_[static_cast<size_t>(at - provinces_.begin())].push_back(e->fid);
    }
    for (int fid : provinces_) province_entries_.push_back(Find(fid));
    for (const std::vector<int>& cities : cities_) {
        city_entries_.emplace_back();
        for (int fid : cities) city_entries_.back().push_back(Find(fid));
    }
}

const LocationIndex& LocationIndex::Shared() {
    // Read once the project database is there; until then (a grid made before start-up)
    // the list is empty and asked for again.
    static std::optional<LocationIndex> index;
    if (index && !index->entries_.empty()) return *index;
    std::vector<Location> locations;
    if (MiddleObj) {
        if (auto rows = MiddleObj->QueryRecords("SELECT FID, ParentID, LocationName FROM LocationList ORDER BY FID")) {
            for (size_t r = 0; r < rows->rows.size(); ++r)
                locations.push_back({static_cast<int>(rows->Integer(r, "FID")),
                                     static_cast<int>(rows->Integer(r, "ParentID")), rows->Text(r, "LocationName")});
        }
    }
    index.emplace(std::move(locations));
    return *index;
}

const LocationIndex::Entry* LocationIndex::Find(int fid) const {
    auto at = std::lower_bound(entries_.begin(), entries_.end(), fid,
                               [](const Entry& e, int f) { return e.fid < f; });
    return at != entries_.end() && at->fid == fid ? &*at : nullptr;
}

QString LocationIndex::Name(int fid) const {
    const Entry* e = Find(fid);
    return e ? QString::fromStdString(e->name) : QString();
}

int LocationIndex::Position(int fid) const {
    const Entry* e = Find(fid);
    return e ? e->position : -1;
}

const std::vector<int>& LocationIndex::Below(int parent) const {
    if (parent == 0) return provinces_;
    auto at = std::find(provinces_.begin(), provinces_.end(), parent);
    return at == provinces_.end() ? none_ : cities_[static_cast<size_t>(at - provinces_.begin())];
}

Place LocationIndex::Locate(std::string_view address) const {
    std::string_view rest = Trimmed(address);
    if (rest.substr(0, 6) == "中国") rest = Trimmed(rest.substr(6));
    // The longest name that begins the text: 内蒙古 before a shorter name it starts with.
    auto longest = [](const std::vector<const Entry*>& entries, std::string_view text) -> const Entry* {
        const Entry* best = nullptr;
        for (const Entry* e : entries)
            if (text.size() >= e->name.size() && text[0] == e->name[0] &&
                text.compare(0, e->name.size(), e->name) == 0 && (!best || e->name.size() > best->name.size()))
                best = e;
        return best;
    };
    Place place;
    if (rest.empty()) return place;
    if (const Entry* province = longest(province_entries_, rest)) {
        place.province = province->fid;
        const size_t p = static_cast<size_t>(
            std::find(provinces_.begin(), provinces_.end(), province->fid) - provinces_.begin());
        std::string_view after = Trimmed(SkipSuffix(rest.substr(province->name.size())));
        if (const Entry* city = after.empty() ? nullptr : longest(city_entries_[p], after))
            place.city = city->fid;
        return place;
    }
    for (size_t p = 0; p < provinces_.size(); ++p) {
        if (const Entry* city = longest(city_entries_[p], rest)) {
            place.province = provinces_[p];
            place.city = city->fid;
            return place;
        }
    }
    return place;
}

}  // namespace qv::widgets
