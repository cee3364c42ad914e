#pragma once
#include <QDialog>

namespace qv::ui {

inline constexpr const char* kProductName = "Quorvane";
inline constexpr const char* kMakerName = "Quorvane 开发组";
// The licence as the package's copyright file states it; the program names no web page
// of its own, only the guide that comes with it.
inline constexpr const char* kLicenceText =
    "版权所有，保留一切权利。本程序按现状提供给用户，除供应方与用户的约定外，不授予复制或修改的许可。";
inline constexpr const char* kGuideText = "帮助 → 使用说明（F1）";

class TAboutFrm : public QDialog {
    Q_OBJECT
public:
    // `contact`: opened as 联系信息, with the maker in focus.
    explicit TAboutFrm(QWidget* owner, bool contact = false);
};

void ShowAboutBox(QWidget* owner, bool contact = false);

}  // namespace qv::ui
