#include "kept_spectra.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>

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

std::string UserFallbackFolders::Folder(std::size_t n, std::string& why) {
  QStringList bases;
  const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  if (!data.isEmpty()) bases << data + "/Talvor/Qel/Несохранённые спектры";
  const QString temp = QFileInfo(QDir::tempPath()).isDir() ? QDir::tempPath() : QString("/tmp");
  bases << temp + "/qel-несохранённые-спектры";
  if (n >= static_cast<std::size_t>(bases.size())) return {};
  const QString& base = bases.at(static_cast<qsizetype>(n));
  QString folder = made_.value(base);
  if (folder.isEmpty()) {
    const QString stamp = QDateTime::currentDateTime().toString("yyyy-MM-dd_HH-mm-ss");
    folder = base + "/" + stamp;
    for (int k = 2; QFileInfo::exists(folder); ++k) folder = base + "/" + stamp + "_" + QString::number(k);
  }
  // Made again if it was removed meanwhile.
  if (!QDir().mkpath(folder)) {
    why = "папка " + QDir::toNativeSeparators(folder).toStdString() + " не создана";
    return {};
  }
  made_.insert(base, folder);
  return QDir::toNativeSeparators(folder).toStdString();
}

}  // namespace qel
