#pragma once
// Core code reports through qv::MessageSink; in the program that sink shows the message
// functions' dialogs.
#include "core/messages.h"

namespace qv::widgets {

class DialogMessageSink : public MessageSink {
public:
    void ShowErrorDetail(const std::string& message, const std::string& detail) override;
    void ShowError(const std::string& message) override;
    void ShowWarning(const std::string& message) override;
    void ShowInfo(const std::string& message) override;
    bool AskConfirm(const std::string& message) override;
    // Ends the main loop once control is back in it.
    void RequestApplicationEnd() override;
};

}  // namespace qv::widgets
