#include "core/task_file.h"

#include <filesystem>

#include "core/text.h"

namespace qv {

TaskFile TaskFileOf(const std::string& path) {
    std::filesystem::path p(path);
    std::string name = p.filename().string();
    if (EqualsIgnoringCase(p.extension().string(), ".db")) name = p.stem().string();
    return {name, path};
}

}  // namespace qv
