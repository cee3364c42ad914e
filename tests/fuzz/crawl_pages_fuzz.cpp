// A result page and a contact page (and a profile page) through the crawl's own page
// reading, with no network: the parts of the input are served as the pages. Every stored
// row must make one whole INSERT, and the crawl must end (paging that leads back ends it).
#include <string>
#include <vector>

#include "core/data_files.h"
#include "engine/crawl.h"
#include "engine/markup.h"
#include "tests/fuzz/fuzz_input.h"

namespace qv {
namespace {

// Part 1 is the first result page, part 2 every other page (contact, profile, the next
// result page); a missing part fails the fetch. Part 3, when present and starting with
// '1', turns the profile reading on.
class PageHost : public CrawlHost {
public:
    explicit PageHost(std::vector<std::string_view> parts) : parts_(std::move(parts)) {}

    void Message(const std::string& text) override { fuzz::Check(!text.empty(), "empty message"); }
    void MemberRow(const MemberValues&) override {}
    void RepaintMembers() override {}
    bool CollectDetail() override { return parts_.size() > 2 && parts_[2].starts_with('1'); }
    FetchResult Fetch(const std::string& url) override {
        fuzz::Check(++fetches_ < 100'000, "the crawl does not end");
        const size_t part = first_ ? 0 : 1;
        first_ = false;
        if (part >= parts_.size()) return {"", kFetchFailed, "HTTP 404"};
        return {std::string(parts_[part]), "", ""};
    }
    // Quotes in values are doubled, so SQLite reads a stored row as one INSERT and nothing more.
    void Commit(const RunStep& step) override {
        if (step.row) fuzz::CheckOneDataListStatement(BuildInsertStatement(*step.row));
    }

private:
    std::vector<std::string_view> parts_;
    bool first_ = true;
    long fetches_ = 0;
};

}  // namespace
}  // namespace qv

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qv;
    const std::vector<std::string_view> parts = fuzz::SplitParts(fuzz::AsText(data, size));
    ReadListEntries(DecodeAndNormalize(parts[0]));
    PageHost host(parts);
    CrawlCompanyList("http://fuzz.example/search", host);
    return 0;
}
