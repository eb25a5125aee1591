#include "file_commands.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

#include "model/atomic_file.h"
#include "model/registry_store.h"
#include "model/spectrum_file.h"
#include "model/units.h"

namespace qel {

namespace {
QString CleanAbsolute(const QString& path) { return QDir::cleanPath(QFileInfo(path).absoluteFilePath()); }

// Why a path named for opening (on the command line, in the recent list) is
// not opened: it is not there, or it is no file.
QString NotAFileText(const QString& path) {
  const QFileInfo f(path);
  const QString native = QDir::toNativeSeparators(path);
  if (!f.exists()) return "Файл не найден: " + native;
  return "Файл \"" + native + "\" не открыт: " +
         (f.isDir() ? QString("это папка, а не файл") : QString("это не обычный файл (канал, устройство или сокет)"));
}

QString DirectoryWithSeparator(const QString& path) {
  return QDir::toNativeSeparators(QFileInfo(path).absolutePath() + "/");
}

void PrepareDialog(QFileDialog& dlg, const char* name, const QString& title, QFileDialog::AcceptMode mode) {
  dlg.setObjectName(name);
  dlg.setOption(QFileDialog::DontUseNativeDialog, true);
  dlg.setAcceptMode(mode);
  dlg.setFileMode(QFileDialog::AnyFile);  // the open dialog does not insist on an existing file
  dlg.setWindowTitle(title);
  dlg.setDefaultSuffix("qel");
  dlg.setNameFilter("Файлы спектров (*.qel)");
  dlg.setSizeGripEnabled(true);
}
}  // namespace

void InsertRecentFile(RecentFileList& list, const std::string& path) {
  if (list.size() >= MaxRecentFiles) list.resize(MaxRecentFiles - 1);
  const QString wanted = CleanAbsolute(QString::fromStdString(path));
  const bool listed = std::any_of(list.begin(), list.end(), [&](const std::string& entry) {
    return CleanAbsolute(QString::fromStdString(entry)) == wanted;
  });
  if (!listed) list.insert(list.begin(), wanted.toStdString());
}

FileCommands::FileCommands(Settings& s, RecentFileList& recent, SpectrumStore& store, RunValues& run,
                           FileCommandHost& host, std::string sep, QWidget* dialogParent)
    : QObject(dialogParent), s_(s), recent_(recent), store_(store), run_(run), host_(host), sep_(std::move(sep)) {
  listItem_ = new QMenu("Последние файлы", dialogParent);
  listItem_->setObjectName("ListItem");
  quickOpenMenu_ = new QMenu(dialogParent);
  quickOpenMenu_->setObjectName("QuickOpenMenu");
  dialogParent_ = dialogParent;
}

void FileCommands::OpenSpectrumFile(const QString& path) {
  const std::string p = path.toStdString();
  // Read first: a file that cannot be loaded leaves the spectrum, the
  // results and the texts of the one before it.
  LoadSpectrum(store_, p);
  for (int panel = 5; panel <= 11; ++panel) host_.SetStatusPanel(panel, QString());
  host_.SetBackUpEnabled(false);
  run_.MaxIndex = -1;
  run_.MinIndex = -1;
  run_.IntegralS = -1.0;
  run_.ModAmplitude = -1.0;
  StoreUnits(s_);
  ApplyParameters(store_, s_, run_, host_.Parameters(), sep_);
  host_.SetTitle("КЕЛ - " + QFileInfo(path).fileName());
  s_.LastOpen = p;
  host_.SetSaveAsEnabled(true);
}

void FileCommands::CloseSpectrum() {
  host_.SetBackUpEnabled(false);
  run_.MaxIndex = -1;
  run_.MinIndex = -1;
  run_.IntegralS = -1.0;
  run_.ModAmplitude = -1.0;
  host_.SetSaveAsEnabled(false);
  host_.SetTitle("КЕЛ");
  s_.LastOpen.clear();
  store_.ClearSpectrum();
  RestoreUnits(s_);
}

void FileCommands::UpdateRecentFiles(const QString& path) {
  if (!path.isEmpty()) InsertRecentFile(recent_, path.toStdString());
  listItem_->clear();
  quickOpenMenu_->clear();
  for (std::size_t i = 0; i < recent_.size(); ++i) {
    const QString caption = QString::number(i) + " - " + QString::fromStdString(recent_[i]);
    for (QMenu* menu : {listItem_, quickOpenMenu_}) {
      QAction* item = menu->addAction(caption);
      connect(item, &QAction::triggered, this, [this, item] { RecentFileClick(item); });
    }
  }
  listItem_->setEnabled(!recent_.empty());
}

void FileCommands::RecentFileClick(QObject* sender) {
  auto* item = qobject_cast<QAction*>(sender);
  if (!item) return;
  QMenu* menu = nullptr;
  for (QMenu* m : {listItem_, quickOpenMenu_})
    if (m->actions().contains(item)) menu = m;
  if (!menu) return;
  const auto position = static_cast<std::size_t>(menu->actions().indexOf(item));
  if (position >= recent_.size()) return;
  const QString path = QString::fromStdString(recent_[position]);
  // A file that has gone (a drive not mounted, a file moved) is said so;
  // the spectrum on screen, the caption, LastOpen and the list stay, since
  // the drive may come back.
  if (!QFileInfo(path).isFile()) {
    host_.ShowError(NotAFileText(path));
    return;
  }
  CloseSpectrum();
  host_.SetReceiveMode(false);
  try {
    OpenSpectrumFile(path);
  } catch (const std::exception& e) {
    ShowFailure(e);
  }
  host_.FullRepaint();
}

void FileCommands::RunDialog(const char* name, const QString& title, QFileDialog::AcceptMode mode,
                             const std::function<void(const QString&)>& accepted) {
  QFileDialog dlg(dialogParent_);
  PrepareDialog(dlg, name, title, mode);
  if (mode == QFileDialog::AcceptSave) dlg.setOption(QFileDialog::DontConfirmOverwrite, false);
  dlg.setDirectory(QString::fromStdString(s_.WorkDir));
  dlg.selectFile(QString());
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return;
  accepted(dlg.selectedFiles().front());
}

void FileCommands::AOpenFileExecute() {
  host_.SetReceiveMode(false);  // also when the dialog is then cancelled
  RunDialog("QelOpenDlg", "Открыть фаил спектра", QFileDialog::AcceptOpen,
            [this](const QString& path) { OpenChosenFile(path); });
}

void FileCommands::OpenChosenFile(const QString& path) {
  try {
    OpenSpectrumFile(path);
  } catch (const std::exception& e) {
    ShowFailure(e);
    return;
  }
  UpdateRecentFiles(path);
  s_.WorkDir = DirectoryWithSeparator(path).toStdString();
  host_.FullRepaint();
}

void FileCommands::OpenGivenFile(const QString& path) {
  const QFileInfo file(path);
  if (!file.isFile()) {
    host_.ShowError(NotAFileText(path));
    return;
  }
  host_.SetReceiveMode(false);
  OpenChosenFile(QDir::toNativeSeparators(CleanAbsolute(path)));
}

void FileCommands::ASaveFileAsExecute() {
  RunDialog("QelSaveDlg", "Сохранить фаил спектра", QFileDialog::AcceptSave, [this](const QString& path) {
    host_.SetBackUpEnabled(false);
    StampParameters(store_, s_, run_);
    try {
      SaveSpectrum(store_, path.toStdString());
    } catch (const std::exception& e) {
      ShowFailure(e);
      return;
    }
    s_.WorkDir = DirectoryWithSeparator(path).toStdString();
  });
}

void FileCommands::ACloseSpectrExecute() {
  CloseSpectrum();
  host_.FullRepaint();
}

void FileCommands::ShowFailure(const std::exception& e) { host_.ShowError(QString::fromUtf8(e.what())); }

}  // namespace qel
