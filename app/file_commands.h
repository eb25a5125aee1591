#pragma once
// Opening, saving and closing spectrum files, and the recent-files list
// with its two menus.

#include <QFileDialog>
#include <QMenu>
#include <QObject>
#include <QString>

#include <string>

#include "model/settings.h"
#include "model/spectrum.h"

namespace qel {

// What the file commands change in the main window.
class FileCommandHost {
 public:
  virtual ~FileCommandHost() = default;
  virtual void SetStatusPanel(int panel, const QString& text) = 0;
  virtual void SetBackUpEnabled(bool enabled) = 0;    // ABackUp "Отмена"
  virtual void SetSaveAsEnabled(bool enabled) = 0;    // ASaveFileAs "Сохранить..."
  virtual void SetTitle(const QString& title) = 0;    // window caption and application title
  virtual void SetReceiveMode(bool receive) = 0;
  virtual void FullRepaint() = 0;
  virtual ParameterView& Parameters() = 0;
  virtual void ShowError(const QString& text) = 0;
};

// Inserts a path into the list: a full list loses its last entry first;
// a path already listed (the same file, compared as whole clean absolute
// paths) keeps its place; a new one goes to the top.
void InsertRecentFile(RecentFileList& list, const std::string& path);

class FileCommands : public QObject {
  Q_OBJECT
 public:
  FileCommands(Settings& s, RecentFileList& recent, SpectrumStore& store, RunValues& run, FileCommandHost& host,
               std::string sep, QWidget* dialogParent);

  // "Последние файлы" in the "Спектр" menu, and the open button's drop-down.
  QMenu& ListItem() { return *listItem_; }
  QMenu& QuickOpenMenu() { return *quickOpenMenu_; }

  // Loads and presents a spectrum file; does not repaint. A file that
  // cannot be read throws FileError and leaves everything as it was.
  void OpenSpectrumFile(const QString& path);
  void CloseSpectrum();
  void UpdateRecentFiles(const QString& path);
  void RecentFileClick(QObject* sender);

  // A spectrum file named on the command line, opened as if chosen in the
  // open dialog. A file that does not exist gives a box naming it and
  // changes nothing; one that cannot be read gives the usual error box.
  void OpenGivenFile(const QString& path);

  void AOpenFileExecute();
  void ASaveFileAsExecute();
  void ACloseSpectrExecute();

 private:
  // The open and save dialogs are made for each use: a file dialog kept
  // hidden would go on watching its folder (for the demo, the folder the
  // spectra are saved into while they arrive) for the whole run.
  void RunDialog(const char* name, const QString& title, QFileDialog::AcceptMode mode,
                 const std::function<void(const QString&)>& accepted);
  void ShowFailure(const std::exception& e);
  // What follows the choice of a file in the open dialog.
  void OpenChosenFile(const QString& path);

  Settings& s_;
  RecentFileList& recent_;
  SpectrumStore& store_;
  RunValues& run_;
  FileCommandHost& host_;
  std::string sep_;
  QMenu* listItem_;
  QMenu* quickOpenMenu_;
  QWidget* dialogParent_;
};

}  // namespace qel
