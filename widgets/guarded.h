#pragma once
// Commands that raise show their error and the window goes on.
#include <QString>

#include <exception>

#include "widgets/dialog_ex.h"

namespace qv::widgets {

template <typename Fn>
void Guarded(Fn&& fn) {
    try {
        fn();
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
    }
}

}  // namespace qv::widgets
