#include "core/messages.h"

#include <atomic>
#include <iostream>
#include <mutex>

namespace qv {
namespace {

std::mutex sink_mutex;
std::shared_ptr<MessageSink>& CurrentSink() {
    static std::shared_ptr<MessageSink> sink = std::make_shared<StderrMessageSink>();
    return sink;
}
std::atomic<bool> end_requested{false};

}  // namespace

void StderrMessageSink::ShowErrorDetail(const std::string& message, const std::string& detail) {
    std::cerr << message << '\n' << detail << '\n';
}
void StderrMessageSink::ShowError(const std::string& message) { std::cerr << message << '\n'; }
void StderrMessageSink::ShowWarning(const std::string& message) { std::cerr << message << '\n'; }
void StderrMessageSink::ShowInfo(const std::string& message) { std::cerr << message << '\n'; }
bool StderrMessageSink::AskConfirm(const std::string& message) {
    std::cerr << message << '\n';
    return false;
}
void StderrMessageSink::RequestApplicationEnd() {}

std::shared_ptr<MessageSink> SetMessageSink(std::shared_ptr<MessageSink> sink) {
    std::lock_guard lock(sink_mutex);
    if (!sink) sink = std::make_shared<StderrMessageSink>();
    std::swap(CurrentSink(), sink);
    return sink;
}

MessageSink& Messages() {
    std::lock_guard lock(sink_mutex);
    return *CurrentSink();
}

void RequestApplicationEnd() {
    end_requested = true;
    Messages().RequestApplicationEnd();
}

bool ApplicationEndRequested() { return end_requested; }
void ClearEndRequest() { end_requested = false; }

}  // namespace qv
