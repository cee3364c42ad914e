#pragma once
// The one seam through which core code talks to the user. The program installs a sink
// that shows dialogs; the command-line tool keeps the default, which writes to stderr;
// tests install a recorder that reads what was shown and answers questions.
#include <memory>
#include <string>

namespace qv {

class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void ShowErrorDetail(const std::string& message, const std::string& detail) = 0;
    virtual void ShowError(const std::string& message) = 0;
    virtual void ShowWarning(const std::string& message) = 0;
    virtual void ShowInfo(const std::string& message) = 0;
    // A Yes/No question; true for Yes.
    virtual bool AskConfirm(const std::string& message) = 0;
    // Asks the application to end once control is back in its main loop.
    virtual void RequestApplicationEnd() = 0;
};

// Writes every message to stderr and answers every question with No.
class StderrMessageSink : public MessageSink {
public:
    void ShowErrorDetail(const std::string& message, const std::string& detail) override;
    void ShowError(const std::string& message) override;
    void ShowWarning(const std::string& message) override;
    void ShowInfo(const std::string& message) override;
    bool AskConfirm(const std::string& message) override;
    void RequestApplicationEnd() override;
};

// Installs `sink` (nullptr restores the stderr sink) and returns the one it replaces.
std::shared_ptr<MessageSink> SetMessageSink(std::shared_ptr<MessageSink> sink);
MessageSink& Messages();

// Asks the installed sink to end the application and remembers that it was asked.
void RequestApplicationEnd();
// True once RequestApplicationEnd was called; reset by ClearEndRequest.
bool ApplicationEndRequested();
void ClearEndRequest();

}  // namespace qv
