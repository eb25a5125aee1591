#include "kept_spectra.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>

#include "link/acquisition.h"
#include "model/number_format.h"

namespace qel {

void SettleKeptSpectra(QWidget* parent, Acquisition& acquisition, const std::string& workDir,
                       const std::function<bool()>& mayAsk) {
  std::string chosenFolderError;
  while (acquisition.KeptSpectra() != 0) {
    // Each round tries the working folder again (it may be back), so the
    // reason shown is the one of now.
    std::string error = acquisition.WriteKeptSpectra(workDir);
    if (!chosenFolderError.empty()) error = chosenFolderError;
    chosenFolderError.clear();
    if (acquisition.KeptSpectra() == 0 || (mayAsk && !mayAsk())) return;
    const std::vector<std::string> listed = acquisition.KeptSpectrumNames();
    QStringList names;
    for (const std::string& n : listed) names << QString::fromStdString(n);
    const long long n = names.size();
    const auto form = [n](const char* one, const char* few, const char* many) {
      const std::string_view v = PluralForm(n, one, few, many);
      return QString::fromUtf8(v.data(), static_cast<qsizetype>(v.size()));
    };
    QString text = QString("Автосохранение не удалось: %1 %2 только в памяти и %3, если %4 не записать:\n%5")
                       .arg(QString::fromStdString(SpectraCount(n)), form("хранится", "хранятся", "хранятся"),
                            form("будет потерян", "будут потеряны", "будут потеряны"), form("его", "их", "их"),
                            names.join(", "));
    if (!error.empty()) text += "\n\n" + QString::fromStdString(error);
    text += QString("\n\nВыберите папку, в которую %1 записать, или удалите %1.").arg(form("его", "их", "их"));
    QMessageBox box(QMessageBox::Warning, "КЕЛ", text, QMessageBox::NoButton, parent);
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
        chosenFolderError = acquisition.WriteKeptSpectra(
            QDir::toNativeSeparators(dlg.selectedFiles().front()).toStdString(), &listed);
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
  const QString temp = QFileInfo(QDir::tempPath()).isDir() ? QDir::tempPath() : QString("/tmp");
  bases << temp + "/qel-несохранённые-спектры";
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
    if (const auto written = static_cast<long long>(before - acquisition.KeptSpectra()); written > 0)
      lines.push_back("Автосохранение: " + SpectraCount(written) + " " +
                      std::string(PluralForm(written, "записан", "записаны", "записаны")) + " в запасную папку " +
                      native);
    if (acquisition.KeptSpectra() == 0) return lines;
    lines.push_back("Автосохранение: " + error);
  }
  for (const std::string& name : acquisition.KeptSpectrumNames())
    lines.push_back("Автосохранение: спектр " + name + " потерян: его некуда записать");
  return lines;
}

}  // namespace qel
