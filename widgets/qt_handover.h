#pragma once
// The engine's hand-over, carried by the Qt event loop of the GUI thread.
#include <QObject>
#include <QPointer>

#include <condition_variable>
#include <mutex>

#include "engine/ui_handover.h"

namespace qv::widgets {

class QtUiHandover : public UiHandover {
public:
    QtUiHandover();
    ~QtUiHandover() override;
    void post(std::function<void()> fn) override;
    // Waits on our own condition variable rather than a blocking queued call, so Close can
    // release a thread whose report will never run.
    void postAndWait(std::function<void()> fn) override;
    void processEvents() override;
    // From now on nothing posted runs and every waiting thread is released.
    void Close();

private:
    struct State {
        std::mutex mutex;
        std::condition_variable ran;
        bool closed = false;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
    // Lives on the GUI thread; queued calls to it run there in the order posted.
    QObject context_;
};

}  // namespace qv::widgets
