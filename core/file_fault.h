#pragma once
// Why a file operation failed, in the words a Chinese user reads, from the errno the
// system gave; the system's own text stays beside them as the detail.
#include <string>

namespace qv {

// 磁盘已满, 文件过大, 没有写入权限, 文件夹不存在, ...; empty for an errno without words.
std::string FileFaultWords(int error);
// The words followed by the system's text in brackets: "没有写入权限（Permission denied）".
std::string FileFaultText(int error);

}  // namespace qv
