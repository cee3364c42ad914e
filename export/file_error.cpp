#include "export/file_error.h"

#include <cerrno>
#include <cstring>

namespace qv::exporting {
namespace {

std::string_view CauseWords(int err) {
    switch (err) {
        case ENOSPC:
        case EDQUOT:
            return "磁盘已满";
        case EFBIG:
            return "文件过大，超出了系统允许的文件大小";
        case EACCES:
        case EPERM:
            return "没有写入权限";
        case EROFS:
            return "文件系统是只读的";
        case ENOENT:
            return "文件夹不存在";
        case ENOTDIR:
            return "路径中有一项不是文件夹";
        case EISDIR:
            return "已有同名的文件夹";
        case ENAMETOOLONG:
            return "文件名过长";
        case EIO:
            return "磁盘读写出错";
        case EMFILE:
        case ENFILE:
            return "打开的文件过多";
        case ENOMEM:
            return "内存不足";
        default:
            return "系统错误";
    }
}

}  // namespace

std::string FileErrorCause(int err) {
    return std::string(CauseWords(err)) + "（系统信息：" + std::strerror(err) + "）";
}

std::string WriteFailureText(std::string_view file, int err) {
    return "写入文件 " + std::string(file) + " 失败：" + FileErrorCause(err);
}

std::string CreateFailureText(std::string_view file, int err) {
    return "无法创建文件 " + std::string(file) + "：" + FileErrorCause(err);
}

}  // namespace qv::exporting
