#include "widgets/qt_handover.h"

#include <QCoreApplication>
#include <QThread>

namespace qv::widgets {

QtUiHandover::QtUiHandover() = default;

QtUiHandover::~QtUiHandover() { Close(); }

void QtUiHandover::post(std::function<void()> fn) {
    auto state = state_;
    QMetaObject::invokeMethod(
        &context_,
        [state, fn = std::move(fn)] {
            {
                std::lock_guard lock(state->mutex);
                if (state->closed) return;
            }
            fn();
        },
        Qt::QueuedConnection);
}

void QtUiHandover::postAndWait(std::function<void()> fn) {
    if (QThread::currentThread() == context_.thread()) {
        fn();
        return;
    }
    auto state = state_;
    auto done = std::make_shared<bool>(false);
    QMetaObject::invokeMethod(
        &context_,
        [state, done, fn = std::move(fn)] {
            bool closed;
            {
                std::lock_guard lock(state->mutex);
                closed = state->closed;
            }
            if (!closed) fn();
            std::lock_guard lock(state->mutex);
            *done = true;
            state->ran.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(state->mutex);
    state->ran.wait(lock, [&] { return *done || state->closed; });
}

void QtUiHandover::processEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void QtUiHandover::Close() {
    std::lock_guard lock(state_->mutex);
    state_->closed = true;
    state_->ran.notify_all();
}

}  // namespace qv::widgets
