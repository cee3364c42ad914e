#pragma once
// Telling a run of block signs from plain skips while a crawl stores its companies.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/run_journal.h"
#include "engine/company_pages.h"
#include "engine/crawl.h"
#include "engine/crawl_stream.h"

namespace qv::crawling {

// Holds back the companies that show a block sign (a contact page with neither layout, or
// a profile page without its layout) until a company reads normally (they were plain
// skips: their messages and steps follow) or until five come in a row (the site is
// blocking: none of them is committed, so the saved position stays before the first, and
// none counts as skipped).
class BlockWatch {
public:
    BlockWatch(CrawlHost& host, CrawlStream& stream) : host_(host), stream_(stream) {}

    // True when this one makes the run long enough to mean a block.
    bool Hold(RunStep step, CompanyOutcome outcome, uint64_t read_at);
    // The companies held are ordinary skips: `resolved_at`, the stream index of the company
    // that told them apart.
    void Flush(std::optional<size_t> resolved_at = std::nullopt);
    bool holding() const { return !held_.empty(); }
    // While holding: when the first company held back was read.
    std::optional<uint64_t> since() const { return since_; }
    // The crawl ends; `first` is said before the block message.
    void Blocked(std::optional<std::string> first = std::nullopt);
    void Say(const std::string& text, const std::string& cause);

private:
    struct Held {
        RunStep step;
        CompanyOutcome outcome;
    };
    CrawlHost& host_;
    CrawlStream& stream_;
    std::vector<Held> held_;
    std::optional<uint64_t> since_;
};

}  // namespace qv::crawling
