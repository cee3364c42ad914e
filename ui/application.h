#pragma once
// The application object: the program's font and the general error display.
#include <QApplication>

namespace qv::ui {

class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);
    // An error that escapes a command is shown with its text; the program goes on.
    bool notify(QObject* receiver, QEvent* event) override;

private:
    // Qt's Chinese texts (qtbase_zh_CN); false when they are not installed.
    bool LoadQtTranslations();
};

// The program's own icon (an SVG of the tree, built in).
QIcon ProgramIcon();

// The program's font everywhere: a CJK font that is installed, at 9 points.
QFont ProgramFont();

}  // namespace qv::ui
