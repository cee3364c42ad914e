#pragma once
// The folder and file type a spreadsheet save dialog was last confirmed with, kept in
// config.ini: every export dialog (a page's export, the merged export) opens where the
// user last saved and offers the type last chosen.
class QFileDialog;

namespace qv::widgets {

// Opens `dialog` in the remembered folder, when it still exists, and selects the
// remembered type, when the dialog offers it. Call after its name filters are set.
void OpenAtLastSavePlace(QFileDialog& dialog);

// Remembers the folder of the file chosen in `dialog` and its selected type.
void RememberSavePlace(const QFileDialog& dialog);

}  // namespace qv::widgets
