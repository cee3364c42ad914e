#include "export/location_names.h"

#include <algorithm>
#include <exception>
#include <map>

#include "core/database.h"

namespace qv::exporting {
namespace {

// What follows a province's or a city's name in a written address.
constexpr std::string_view kProvinceEnds[] = {"壮族自治区", "回族自治区", "维吾尔自治区", "特别行政区",
                                              "自治区", "省", "市"};
constexpr std::string_view kCityEnds[] = {"市", "地区", "自治州", "盟"};
constexpr std::string_view kMunicipalities[] = {"北京", "天津", "上海", "重庆", "香港", "澳门"};

bool TakePrefix(std::string_view& text, std::string_view prefix) {
    if (text.substr(0, prefix.size()) != prefix) return false;
    text.remove_prefix(prefix.size());
    return true;
}

void TakeProvinceEnd(std::string_view& text) {
    for (std::string_view end : kProvinceEnds)
        if (TakePrefix(text, end)) return;
}

}  // namespace

LocationNames::LocationNames(std::vector<Location> locations) {
    std::map<int, size_t> province_of_id;
    for (const Location& l : locations) {
        if (l.parent != 0) continue;
        const bool municipality = std::find(std::begin(kMunicipalities), std::end(kMunicipalities), l.name) !=
                                  std::end(kMunicipalities);
        province_of_id[l.id] = provinces_.size();
        provinces_.push_back({l.name, municipality, {}});
    }
    for (const Location& l : locations)
        if (auto p = province_of_id.find(l.parent); p != province_of_id.end())
            provinces_[p->second].cities.push_back(l.name);
    // The longer of two names that begin alike is tried first.
    auto longer = [](const auto& a, const auto& b) { return a.size() > b.size(); };
    for (Province& p : provinces_) std::stable_sort(p.cities.begin(), p.cities.end(), longer);
    std::stable_sort(provinces_.begin(), provinces_.end(),
                     [](const Province& a, const Province& b) { return a.name.size() > b.name.size(); });
}

LocationNames LocationNames::FromProjectDatabase(const std::string& path) {
    Connection db(path, DatabaseKind::ReadOnly);
    std::vector<Location> locations;
    db.ForEachRow("SELECT FID, ParentID, LocationName FROM LocationList ORDER BY FID",
                  [&](const Connection::RowView& row) {
                      locations.push_back({std::stoi(std::string(row.cells[0])),
                                           std::stoi(std::string(row.cells[1])), std::string(row.cells[2])});
                  });
    return LocationNames(std::move(locations));
}

std::shared_ptr<const LocationNames> LocationNames::FromFirstOf(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        try {
            return std::make_shared<const LocationNames>(FromProjectDatabase(path));
        } catch (const std::exception&) {
            // The next one, if any.
        }
    }
    return nullptr;
}

Place LocationNames::Find(std::string_view address) const {
    while (!address.empty() && static_cast<unsigned char>(address.front()) <= 0x20) address.remove_prefix(1);
    TakePrefix(address, "中国");
    for (const Province& p : provinces_) {
        std::string_view rest = address;
        if (!TakePrefix(rest, p.name)) continue;
        TakeProvinceEnd(rest);
        if (p.municipality) return {p.name, p.name};
        for (const std::string& city : p.cities) {
            std::string_view after = rest;
            if (TakePrefix(after, city)) return {p.name, city};
        }
        return {p.name, ""};
    }
    // An address that begins with its city.
    for (const Province& p : provinces_) {
        if (p.municipality) continue;
        for (const std::string& city : p.cities) {
            std::string_view rest = address;
            if (!TakePrefix(rest, city)) continue;
            // Without its province a city needs its "市": "中山路" is a street.
            for (std::string_view end : kCityEnds)
                if (rest.substr(0, end.size()) == end) return {p.name, city};
        }
    }
    return {};
}

}  // namespace qv::exporting
