#pragma once
#include <QString>

namespace qv::ui {

// The start page shown in the lower page control: what the program does and how to begin.
QString StartPageHtml();

}  // namespace qv::ui
