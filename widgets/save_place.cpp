#include "widgets/save_place.h"

#include <QFileDialog>
#include <QFileInfo>

#include <exception>

#include "core/app_info.h"
#include "core/ini_file.h"

namespace qv::widgets {

void OpenAtLastSavePlace(QFileDialog& dialog) {
    const std::string& settings = AppInfo->SettingsFile;
    const QString folder = QString::fromStdString(ReadSetting(settings, settings::kLastExportFolder));
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) dialog.setDirectory(folder);
    const QString type = QString::fromStdString(ReadSetting(settings, settings::kLastExportType));
    if (dialog.nameFilters().contains(type)) dialog.selectNameFilter(type);
}

void RememberSavePlace(const QFileDialog& dialog) {
    if (dialog.selectedFiles().isEmpty()) return;
    const std::string& settings = AppInfo->SettingsFile;
    const QString folder = QFileInfo(dialog.selectedFiles().front()).absolutePath();
    try {
        WriteSetting(settings, settings::kLastExportFolder, folder.toStdString());
        WriteSetting(settings, settings::kLastExportType, dialog.selectedNameFilter().toStdString());
    } catch (const std::exception&) {
        // A settings file that cannot be written costs only the convenience; the file the
        // user chose is written all the same.
    }
}

}  // namespace qv::widgets
