#pragma once
// One window per profile. The first start of the program holds a lock named after its
// profile and listens on a local socket; a later start finds the lock taken, asks the
// first one to come forward through the socket, and ends.
#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

namespace qv::ui {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `profile_key` tells profiles apart (the profile's data folder).
    explicit SingleInstance(const QString& profile_key, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when no other start of this profile runs; this one then takes the lock and
    // listens for later starts.
    bool TakeFirstPlace();
    // Asks the start that holds the place to come forward; false when it did not answer.
    bool AskFirstToComeForward();

signals:
    void comeForwardRequested();

private:
    QString name_;
    QLockFile lock_;
    std::unique_ptr<QLocalServer> server_;
};

}  // namespace qv::ui
