#include "core/file_fault.h"

#include <cerrno>
#include <cstring>

namespace qv {

std::string FileFaultWords(int error) {
    switch (error) {
    case ENOSPC: return "磁盘已满";
    case EDQUOT: return "超出了磁盘配额";
    case EFBIG: return "文件过大";
    case EROFS: return "所在的磁盘只读，没有写入权限";
    case EACCES:
    case EPERM: return "没有权限";
    case ENOENT: return "文件夹不存在";
    case ENOTDIR: return "路径中有一段不是文件夹";
    case EISDIR: return "那里是一个文件夹";
    case ENAMETOOLONG: return "名称太长";
    case EIO: return "读写磁盘出错";
    default: return {};
    }
}

std::string FileFaultText(int error) {
    const std::string words = FileFaultWords(error);
    const std::string system = std::strerror(error);
    return words.empty() ? system : words + "（" + system + "）";
}

}  // namespace qv
