#include "kept_spectra.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>

#include "link/acquisition.h"

namespace qel {

void SettleKeptSpectra(QWidget* parent, Acquisition& acquisition, const std::string& workDir,
                       const std::function<bool()>& mayAsk) {
  if (acquisition.KeptSpectra() == 0) return;
  std::string error = acquisition.WriteKeptSpectra(workDir);
  while (acquisition.KeptSpectra() != 0 && (!mayAsk || mayAsk())) {
    const std::vector<std::string> listed = acquisition.KeptSpectrumNames();
    QStringList names;
    for (const std::string& n : listed) names << QString::fromStdString(n);
    QMessageBox box(QMessageBox::Warning, "КЕЛ",
                    QString("Автосохранение не удалось: %1 хранятся только в памяти и будут потеряны, "
                            "если их не записать:\n%2\n\n%3\n\nВыберите папку, в которую их записать, или "
                            "удалите их.")
                        .arg(QString::number(names.size()) + " спектров")
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
      acquisition.DiscardKeptSpectra(listed);
    } else if (box.clickedButton() == write) {
      QFileDialog dlg(parent, "Папка для несохранённых спектров", QString::fromStdString(workDir));
      dlg.setObjectName("KeptSpectraFolderDlg");
      dlg.setOption(QFileDialog::DontUseNativeDialog, true);
      dlg.setFileMode(QFileDialog::Directory);
      dlg.setOption(QFileDialog::ShowDirsOnly, true);
      if (dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty())
        error = acquisition.WriteKeptSpectra(QDir::toNativeSeparators(dlg.selectedFiles().front()).toStdString(),
                                             &listed);
    }
  }
}

std::vector<std::string> WriteKeptSpectraUnasked(Acquisition& acquisition, const std::string& workDir) {
  std::vector<std::string> lines;
  if (acquisition.KeptSpectra() == 0) return lines;
  std::string error = acquisition.WriteKeptSpectra(workDir);
  if (acquisition.KeptSpectra() == 0) return lines;
  lines.push_back("Автосохранение: спектры не записаны в рабочую папку: " + error);
  const QString stamp = QDateTime::currentDateTime().toString("yyyy-MM-dd_HH-mm-ss");
  QStringList bases;
  const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  if (!data.isEmpty()) bases << data + "/Talvor/Qel/Несохранённые спектры";
  bases << QDir::tempPath() + "/qel-несохранённые-спектры";
  for (const QString& base : bases) {
    QString folder = base + "/" + stamp;
    for (int n = 2; QFileInfo::exists(folder); ++n) folder = base + "/" + stamp + "_" + QString::number(n);
    if (!QDir().mkpath(folder)) {
      lines.push_back("Автосохранение: папка " + QDir::toNativeSeparators(folder).toStdString() +
                      " не создана");
      continue;
    }
    const std::string native = QDir::toNativeSeparators(folder).toStdString();
    const std::size_t before = acquisition.KeptSpectra();
    error = acquisition.WriteKeptSpectra(native);
    if (acquisition.KeptSpectra() < before)
      lines.push_back("Автосохранение: " + std::to_string(before - acquisition.KeptSpectra()) +
                      " спектров записаны в запасную папку " + native);
    if (acquisition.KeptSpectra() == 0) return lines;
    lines.push_back("Автосохранение: " + error);
  }
  for (const std::string& name : acquisition.KeptSpectrumNames())
    lines.push_back("Автосохранение: спектр " + name + " потерян: его некуда записать");
  return lines;
}

}  // namespace qel
