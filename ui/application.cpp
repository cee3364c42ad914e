#include "ui/application.h"

#include <QFontDatabase>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <exception>

#include "widgets/dialog_ex.h"

namespace qv::ui {

QFont ProgramFont() {
    // The original's 宋体 is not on a Debian machine; these are, in order of preference.
    const QStringList families = QFontDatabase::families();
    for (const char* name : {"WenQuanYi Micro Hei", "Noto Sans CJK SC", "Noto Sans SC"}) {
        QString family = QString::fromUtf8(name);
        if (families.contains(family)) return QFont(family, 9);
    }
    QFont font = QApplication::font();
    font.setPointSize(9);
    return font;
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Quorvane"));
    setFont(ProgramFont());
    setWindowIcon(ProgramIcon());
    setDesktopFileName(QStringLiteral("quorvane"));  // matches the installed desktop entry
    LoadQtTranslations();
}

bool TApplication::LoadQtTranslations() {
    // Qt's own dialogs and menus (the file dialog, a text box's context menu) speak the
    // window's language.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    auto* translator = new QTranslator(this);
    if (!translator->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    installTranslator(translator);
    return true;
}

QIcon ProgramIcon() { return QIcon(QStringLiteral(":/quorvane.svg")); }

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        widgets::ShowError(QString::fromUtf8(e.what()));
    } catch (...) {
        widgets::ShowError(QStringLiteral("未知错误。"));
    }
    return false;
}

}  // namespace qv::ui
