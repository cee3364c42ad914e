#include <memory>

#include "core/app_info.h"
#include "core/messages.h"
#include "ui/application.h"
#include "ui/main_window.h"
#include "widgets/message_sink.h"

int main(int argc, char** argv) {
    qv::ui::TApplication app(argc, argv);
    qv::SetMessageSink(std::make_shared<qv::widgets::DialogMessageSink>());
    qv::TSysInitialization::StartUp();
    int code = 1;
    // A project database that cannot be opened has been reported; the program ends.
    if (!qv::ApplicationEndRequested()) {
        qv::ui::TMainFrm window;
        window.showMaximized();
        code = app.exec();
    }
    qv::TSysInitialization::ShutDown();
    return code;
}
