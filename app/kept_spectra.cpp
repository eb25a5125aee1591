#include "kept_spectra.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "link/acquisition.h"

namespace qel {

void SettleKeptSpectra(QWidget* parent, Acquisition& acquisition, const std::string& workDir) {
  if (acquisition.KeptSpectra() == 0) return;
  std::string error = acquisition.WriteKeptSpectra(workDir);
  while (acquisition.KeptSpectra() != 0) {
    QStringList names;
    for (const std::string& n : acquisition.KeptSpectrumNames()) names << QString::fromStdString(n);
    QMessageBox box(QMessageBox::Warning, "КЕЛ",
                    QString("Автосохранение не удалось: %1 спектров хранятся только в памяти и будут потеряны, "
                            "если их не записать:\n%2\n\n%3\n\nВыберите папку, в которую их записать, или "
                            "удалите их.")
                        .arg(names.size())
                        .arg(names.join(", "))
                        .arg(QString::fromStdString(error)),
                    QMessageBox::NoButton, parent);
    box.setObjectName("KeptSpectraBox");
    QPushButton* write = box.addButton("Записать в папку...", QMessageBox::AcceptRole);
    write->setObjectName("WriteKeptBtn");
    QPushButton* discard = box.addButton("Удалить спектры", QMessageBox::DestructiveRole);
    discard->setObjectName("DiscardKeptBtn");
    box.setDefaultButton(write);
    box.exec();
    if (box.clickedButton() == discard) {
      acquisition.DiscardKeptSpectra();
    } else if (box.clickedButton() == write) {
      QFileDialog dlg(parent, "Папка для несохранённых спектров", QString::fromStdString(workDir));
      dlg.setObjectName("KeptSpectraFolderDlg");
      dlg.setOption(QFileDialog::DontUseNativeDialog, true);
      dlg.setFileMode(QFileDialog::Directory);
      dlg.setOption(QFileDialog::ShowDirsOnly, true);
      if (dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty())
        error = acquisition.WriteKeptSpectra(dlg.selectedFiles().front().toStdString());
    }
  }
}

}  // namespace qel
