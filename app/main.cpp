#include <cstring>
#include <iostream>
#include <memory>

#include "core/app_info.h"
#include "core/database.h"
#include "core/messages.h"
#include "core/version.h"
#include "ui/application.h"
#include "ui/main_window.h"
#include "ui/single_instance.h"
#include "widgets/message_sink.h"

namespace {

constexpr char kUsage[] =
    "Usage: quorvane [OPTION]...\n"
    "Collect the published contact data of companies from a business-to-business\n"
    "marketplace into local data files, and browse, search and export them (a window;\n"
    "quorvane-cli does the same from the command line).\n"
    "\n"
    "Options:\n"
    "  -h, --help     print this help and exit\n"
    "      --version  print the version and exit\n"
    "Qt's own options (such as -platform and -style) are also accepted.\n"
    "\n"
    "Files: with a file named 'portable' beside the program, everything is kept beside\n"
    "it. Otherwise settings are kept in $XDG_CONFIG_HOME/quorvane/config.ini (default\n"
    "~/.config) and task data files, the project database and the user's own category\n"
    "files in $XDG_DATA_HOME/quorvane/ (default ~/.local/share); the shipped category\n"
    "files are read from <prefix>/share/quorvane/category/.\n"
    "\n"
    "Starting the program while its window is open brings that window forward.\n";

// Answered before the application object exists, so that no display is needed.
bool AnsweredFromCommandLine(int argc, char** argv, int& code) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << kUsage;
            code = 0;
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << "quorvane " << qv::ProgramVersion() << '\n';
            code = 0;
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    qv::PrepareSqliteForThisProcess();
    int code = 1;
    if (AnsweredFromCommandLine(argc, argv, code)) return code;
    qv::ui::TApplication app(argc, argv);
    qv::SetMessageSink(std::make_shared<qv::widgets::DialogMessageSink>());
    qv::Profile profile;
    try {
        profile = qv::LocateProfile();
    } catch (const qv::ProfileError& e) {
        qv::Messages().ShowErrorDetail("无法确定用户数据文件夹，程序将自动关闭。", e.what());
        return 1;
    }
    qv::ui::SingleInstance instance(QString::fromStdString(profile.data_dir));
    if (!instance.TakeFirstPlace()) {
        if (instance.AskFirstToComeForward()) return 0;
        std::cerr << "quorvane: the window of this profile is open but does not answer\n";
        return 1;
    }
    qv::TSysInitialization::StartUp(profile);
    // A project database that cannot be opened has been reported; the program ends.
    if (!qv::ApplicationEndRequested()) {
        qv::ui::TMainFrm window;
        QObject::connect(&instance, &qv::ui::SingleInstance::comeForwardRequested, &window,
                         &qv::ui::TMainFrm::BringForward);
        window.showMaximized();
        code = app.exec();
    }
    qv::TSysInitialization::ShutDown();
    return code;
}
