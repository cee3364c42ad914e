#pragma once
// The provinces and cities of the project database's LocationList, to tell them in an
// address as the marketplace writes it ("浙江省杭州市西湖区文三路 1 号", "上海市浦东新区...").
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qv::exporting {

struct Place {
    std::string province;  // as LocationList names it: "浙江", "上海"
    std::string city;      // "杭州"; a municipality is its own city: "上海"
};

class LocationNames {
public:
    struct Location {
        int id;
        int parent;  // 0 for a province
        std::string name;
    };
    explicit LocationNames(std::vector<Location> locations);
    // Reads LocationList of the project database; raises DatabaseError when it cannot.
    static LocationNames FromProjectDatabase(const std::string& path);
    // The names of the first of the files that can be read; none when no file can. An
    // export goes on without them: only the address's city and province are left out.
    static std::shared_ptr<const LocationNames> FromFirstOf(const std::vector<std::string>& paths);

    // The province and city the address begins with; empty parts where it names none.
    Place Find(std::string_view address) const;

private:
    struct Province {
        std::string name;
        bool municipality;  // its children are districts, not cities
        std::vector<std::string> cities;
    };
    std::vector<Province> provinces_;
};

}  // namespace qv::exporting
