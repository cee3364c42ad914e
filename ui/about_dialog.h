#pragma once
#include <QDialog>

namespace qv::ui {

inline constexpr const char* kProductName = "Quorvane";
inline constexpr const char* kProductVersion = "v1.2.0.60";
inline constexpr const char* kMakerName = "Quorvane 开发组";
// The maker's pages, opened in the system browser.
inline constexpr const char* kHomePage = "https://quorvane.example.org/";
inline constexpr const char* kFeedbackPage = "https://quorvane.example.org/feedback";

class TAboutFrm : public QDialog {
    Q_OBJECT
public:
    // `contact`: opened as 联系信息, with the maker's addresses in focus.
    explicit TAboutFrm(QWidget* owner, bool contact = false);
};

void ShowAboutBox(QWidget* owner, bool contact = false);

}  // namespace qv::ui
