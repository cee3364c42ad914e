#pragma once
// The simulated marketplace's pages, as GBK bytes ready to send. Each page wraps the
// parts the crawl reads in the head, navigation, scripts, ads and footer of a real site.
#include <string>
#include <vector>

#include "sim/site_data.h"

namespace qv::sim {

struct ResultPageRequest {
    const std::vector<SimCompany>* companies = nullptr;
    std::string search_word;     // shown in the page, printable characters only
    int page = 1;                // from 1
    int per_page = 40;
    std::string page_link_base;  // absolute link of this search up to "beginPage="
};

std::string ResultPage(const ResultPageRequest& request);
std::string ContactPage(const SimCompany& company);
std::string ProfilePage(const SimCompany& company);
std::string MessagePage(const SimCompany& company);
std::string HomePage();
std::string NotFoundPage();
// What a blocking marketplace shows in place of any page: a slider check to pass first.
std::string VerificationPage();

// Number of result pages for `count` companies (at least one).
int PageCount(size_t count, int per_page);

}  // namespace qv::sim
