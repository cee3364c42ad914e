#include "ui/proxy_tester.h"

#include <QMetaObject>
#include <QPointer>

#include "engine/request_pacer.h"
#include "widgets/fetch_causes.h"

namespace qv::ui {

QString ProxyCheckText(const ProxyCheck& check) {
    if (check.ok) return QStringLiteral("可用，用时 %1 毫秒").arg(check.took.count());
    return QStringLiteral("不可用：") + widgets::ShownCause(check.cause);
}

ProxyTester::ProxyTester(std::vector<Proxy> proxies, std::string url, int interval_ms, Done done,
                         std::function<void()> finished, QObject* parent)
    : QObject(parent), done_(std::move(done)), finished_(std::move(finished)) {
    thread_ = std::thread([this, proxies = std::move(proxies), url = std::move(url), interval_ms]() mutable {
        Run(std::move(proxies), std::move(url), interval_ms);
    });
}

ProxyTester::~ProxyTester() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void ProxyTester::Run(std::vector<Proxy> proxies, std::string url, int interval_ms) {
    // The checks keep the request interval as a task does.
    RequestPacer pacer(Millis{interval_ms});
    pacer.SetStopFlag(&stop_);
    for (size_t i = 0; i < proxies.size() && !stop_; ++i) {
        const ProxyCheck check = CheckProxy(proxies[i], url, &stop_, &pacer);
        if (stop_) break;
        // The window's thread runs the report; the tester may be gone by then.
        QMetaObject::invokeMethod(
            this, [self = QPointer<ProxyTester>(this), i, check] {
                if (self && !self->stop_) self->done_(static_cast<int>(i), check);
            },
            Qt::QueuedConnection);
    }
    QMetaObject::invokeMethod(
        this, [self = QPointer<ProxyTester>(this)] {
            if (self && self->finished_) self->finished_();
        },
        Qt::QueuedConnection);
}

}  // namespace qv::ui
