#pragma once
// 测试代理: one request for the marketplace's search page through each proxy, on a thread
// of its own, each result handed to the window as it comes.
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "engine/proxy.h"

namespace qv::ui {

// What the results column says of one check.
QString ProxyCheckText(const ProxyCheck& check);

class ProxyTester : public QObject {
    Q_OBJECT
public:
    // `done(index, check)` runs on the window's thread for every proxy, then `finished`.
    using Done = std::function<void(int index, const ProxyCheck& check)>;
    ProxyTester(std::vector<Proxy> proxies, std::string url, int interval_ms, Done done,
                std::function<void()> finished, QObject* parent = nullptr);
    // Stops the checks (a request in flight is given up) and waits for the thread.
    ~ProxyTester() override;
    void Cancel() { stop_ = true; }

private:
    void Run(std::vector<Proxy> proxies, std::string url, int interval_ms);

    Done done_;
    std::function<void()> finished_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace qv::ui
