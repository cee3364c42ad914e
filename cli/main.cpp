#include "cli/commands.h"
#include "core/database.h"

int main(int argc, char** argv) {
    qv::PrepareSqliteForThisProcess();
    return qv::cli::Run(argc, argv);
}
