#include "ui/help_window.h"

#include <QDialogButtonBox>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include <filesystem>
#include <system_error>

#include "widgets/member_links.h"

namespace qv::ui {

std::string FindHelpPage(const std::string& executable_dir) {
    namespace fs = std::filesystem;
    const fs::path dir(executable_dir);
    // Beside the program, then <prefix>/bin/.. and <prefix>/lib/quorvane/../.. .
    for (const fs::path& candidate :
         {dir / "help", dir / ".." / "share" / "quorvane" / "help",
          dir / ".." / ".." / "share" / "quorvane" / "help"}) {
        std::error_code ec;
        const fs::path page = candidate / "index.html";
        if (fs::is_regular_file(page, ec)) return fs::weakly_canonical(page, ec).string();
    }
    return {};
}

THelpFrm::THelpFrm(const QString& page, QWidget* owner) : QDialog(owner), page_(page) {
    setObjectName(QStringLiteral("HelpFrm"));
    setWindowTitle(QStringLiteral("使用说明"));
    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("HelpBrowser"));
    // Parts of the guide open here; a web address goes to the browser.
    browser_->setOpenLinks(false);
    connect(browser_, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        if (url.scheme() == QStringLiteral("http") || url.scheme() == QStringLiteral("https"))
            widgets::OpenWebAddress(url);
        else
            browser_->setSource(url);
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(browser_);
    layout->addWidget(buttons);
    resize(760, 620);
    ShowPart(QString());
}

void THelpFrm::ShowPart(const QString& anchor) {
    QUrl url = QUrl::fromLocalFile(page_);
    if (!anchor.isEmpty()) url.setFragment(anchor);
    browser_->setSource(url);
}

}  // namespace qv::ui
