#pragma once
// 帮助 → 使用说明: the user guide shipped with the program, shown in a window of its own.
// It is a local page, so it reads without a network or a browser.
#include <QDialog>
#include <string>

class QTextBrowser;

namespace qv::ui {

// The guide beside the program (a build folder or a portable copy: help/index.html) or,
// for an installed program, under <prefix>/share/quorvane/help/; empty when neither exists.
std::string FindHelpPage(const std::string& executable_dir);

class THelpFrm : public QDialog {
    Q_OBJECT
public:
    THelpFrm(const QString& page, QWidget* owner);
    QTextBrowser* browser() const { return browser_; }
    // Shows the part of the guide that `anchor` names ("" for its top).
    void ShowPart(const QString& anchor);

private:
    QTextBrowser* browser_;
    QString page_;
};

}  // namespace qv::ui
