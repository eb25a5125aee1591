#include "dialog_buttons.h"

#include <QPushButton>

namespace qel {

QDialogButtonBox* OkCancelButtons(QDialog* dialog, const QString& cancelText, std::function<void()> ok) {
  auto* buttons = new QDialogButtonBox(dialog);
  QPushButton* okBtn = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
  okBtn->setObjectName("OkBtn");
  okBtn->setDefault(true);
  QPushButton* cancel = buttons->addButton(cancelText, QDialogButtonBox::RejectRole);
  cancel->setObjectName("CancelBtn");
  QObject::connect(okBtn, &QPushButton::clicked, dialog, [dialog, ok = std::move(ok)] {
    ok();
    dialog->accept();
  });
  QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
  return buttons;
}

}  // namespace qel
