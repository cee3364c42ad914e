#pragma once
// The trades of the industry directory's categories, so that the sample category files
// hold companies whose names, products and introductions fit their category.
#include <array>
#include <optional>
#include <string_view>

namespace qv::sim {

struct CategoryTrade {
    std::string_view category;  // the IndustryDetail name
    std::string_view trade;     // the word a company of the category puts in its name
    std::array<std::string_view, 4> products;
};

// The trade of a category of the project database; nullopt for a name it does not know.
std::optional<CategoryTrade> FindCategoryTrade(std::string_view category_name);

}  // namespace qv::sim
