#pragma once
// Where a record's address lies, by the project database's LocationList (provinces with
// ParentID 0, their cities or districts below them): for the 省份 and 城市 lists of the
// grids' filter row.
#include <QString>

#include <string>
#include <string_view>
#include <vector>

namespace qv::widgets {

// LocationList FIDs; 0 where the address names none.
struct Place {
    int province = 0;
    int city = 0;
};

struct Location {
    int fid;
    int parent;  // 0 for a province
    std::string name;
};

class LocationIndex {
public:
    explicit LocationIndex(std::vector<Location> locations);
    // The lists below point into the entries, which a move keeps and a copy would not.
    LocationIndex(const LocationIndex&) = delete;
    LocationIndex& operator=(const LocationIndex&) = delete;
    LocationIndex(LocationIndex&&) = default;
    // The project database's list, read once; empty without a project database.
    static const LocationIndex& Shared();

    // An address that begins with a province ("广东省深圳市…", "北京市朝阳区…") or with a
    // city ("深圳市福田区…"), after an optional "中国". A province without a known city
    // gives the province alone.
    Place Locate(std::string_view address) const;
    QString Name(int fid) const;
    // Provinces (0) or the cities of a province, in the list's order.
    const std::vector<int>& Below(int parent) const;
    // The place in the list's order, for sorting places as the add-task dialog lists them.
    int Position(int fid) const;

private:
    struct Entry {
        int fid;
        int parent;
        std::string name;
        int position;
    };
    const Entry* Find(int fid) const;

    std::vector<Entry> entries_;  // by FID
    std::vector<int> provinces_;
    std::vector<std::vector<int>> cities_;  // by position of the province in provinces_
    std::vector<const Entry*> province_entries_;
    std::vector<std::vector<const Entry*>> city_entries_;
    std::vector<int> none_;
};

}  // namespace qv::widgets
