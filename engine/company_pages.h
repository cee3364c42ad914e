#pragma once
// Reading one company's pages: its contact page (either layout, with the person rule) and,
// when detail is on, its profile page.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/data_files.h"
#include "core/run_journal.h"
#include "engine/crawl.h"

namespace qv::crawling {

// What reading one company gave: a record to store, a page that failed, or neither
// (the company was skipped for what its page lacked). `unrecognised`: the contact page
// answered but shows neither layout, or the profile page answered without its layout,
// which may be a block page in its place; its message and failure wait to be told apart.
struct CompanyOutcome {
    std::optional<MemberValues> row;
    std::optional<FailedPage> failure;
    bool unrecognised = false;
    bool profile_read = false;  // the profile page was read for the row
    // Messages and the causes they carry, shown when the company's turn comes (it may
    // have been read ahead of the companies before it) and once the companies held back
    // before it have had theirs.
    std::vector<std::pair<std::string, std::string>> messages;
};

// Reads the pages of the company of `entry` over connection `lane` of `host`.
CompanyOutcome ReadCompany(const ListEntry& entry, CrawlHost& host, int lane);

}  // namespace qv::crawling
