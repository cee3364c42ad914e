#include "ui/application.h"

int main(int argc, char** argv) {
    qv::ui::TApplication app(argc, argv);
    return 0;
}
