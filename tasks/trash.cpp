#include "tasks/trash.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <filesystem>

#include "core/database.h"

namespace qv::tasks {

bool MoveToDesktopTrash(const std::string& path) {
    // Qt puts the file into the current folder when it cannot make the trash folder, so the
    // trash is made here first, with the owner-only mode the trash's rules ask for.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty()) return false;
    const QString trash = data + QStringLiteral("/Trash");
    if (!QDir().mkpath(trash + QStringLiteral("/files")) || !QDir().mkpath(trash + QStringLiteral("/info")))
        return false;
    QFile::setPermissions(trash, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    try {
        Connection db(path, DatabaseKind::DataFile);
        db.Query("PRAGMA wal_checkpoint(TRUNCATE)");
    } catch (const std::exception&) {
        return false;  // a file that cannot be read whole is not half kept
    }
    QString where;
    if (!QFile::moveToTrash(QString::fromStdString(path), &where)) return false;
    std::error_code ec;
    for (const char* suffix : {"-wal", "-shm"}) std::filesystem::remove(path + suffix, ec);
    return true;
}

}  // namespace qv::tasks
