#pragma once
// What went wrong with a file the export writes, in words a user reads: the file, the
// cause in Chinese (磁盘已满, 文件过大, 没有写入权限, ...) and the system's own text as the
// detail, for whoever has to look further.
#include <string>
#include <string_view>

namespace qv::exporting {

// "磁盘已满（系统信息：No space left on device）"
std::string FileErrorCause(int err);

// "写入文件 F 失败：磁盘已满（系统信息：...）"
std::string WriteFailureText(std::string_view file, int err);
// "无法创建文件 F：..."
std::string CreateFailureText(std::string_view file, int err);

}  // namespace qv::exporting
