#include "engine/block_watch.h"

#include <utility>

namespace qv::crawling {

bool BlockWatch::Hold(RunStep step, CompanyOutcome outcome, uint64_t read_at) {
    if (held_.empty()) since_ = read_at;
    held_.push_back({std::move(step), std::move(outcome)});
    return static_cast<int>(held_.size()) >= kBlockedCompanies;
}

void BlockWatch::Flush(std::optional<size_t> resolved_at) {
    for (Held& h : held_) {
        for (const auto& [text, cause] : h.outcome.messages) Say(text, cause);
        h.step.failure = std::move(h.outcome.failure);
        host_.Commit(h.step);
        host_.CompanyDone(false);
    }
    held_.clear();
    since_.reset();
    if (resolved_at) stream_.SignsResolvedThrough(*resolved_at);
}

void BlockWatch::Blocked(std::optional<std::string> first) {
    host_.SiteBlocked();
    held_.clear();
    if (first) host_.Message(*first);
    host_.Message(kSiteBlockedMessage);
}

void BlockWatch::Say(const std::string& text, const std::string& cause) {
    host_.Message(text);
    if (!cause.empty()) host_.MessageCause(cause);
}

}  // namespace qv::crawling
