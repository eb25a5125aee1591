#pragma once
// The OK and cancel buttons along the bottom of a dialog: `OkBtn` runs
// `ok` (which takes the dialog's values) and accepts; `CancelBtn` rejects.

#include <QDialog>
#include <QDialogButtonBox>
#include <QString>

#include <functional>

namespace qel {

QDialogButtonBox* OkCancelButtons(QDialog* dialog, const QString& cancelText, std::function<void()> ok);

}  // namespace qel
