#pragma once
class QDialog;
class QDialogButtonBox;

namespace qv::widgets {

// "确定" (the default button, named OkBTN) and "取消" (CancelBTN) for a dialog whose
// accept() checks its input before it closes.
QDialogButtonBox* NewOkCancelButtons(QDialog* dialog);

}  // namespace qv::widgets
