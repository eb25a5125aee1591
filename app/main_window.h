#pragma once
// TQelMainForm: the program's one main window. It builds the component
// tree (actions, menus, bars, status bar, plot, instrument groups), runs
// program life (FormCreate, FormShow, FormClose) and hands each command to
// the object that carries it out.

#include <QHash>
#include <QLabel>
#include <QMainWindow>
#include <QTimer>
#include <QToolBar>

#include <memory>
#include <string>
#include <vector>

#include "file_commands.h"
#include "display/frame_pacer.h"
#include "kept_spectra.h"
#include "processing_commands.h"
#include "settings_commands.h"
#include "link/link.h"
#include "link/qt/qt_link_driver.h"
#include "link/qt/qt_serial_port.h"
#include "model/pass_archive_writer.h"
#include "model/registry_store.h"

class QFrame;
class QScrollBar;

namespace qel {

class ViewWindow;
class InstrumentPanel;
class TQelMessageForm;
class TADCForm;
class TLinesForm;
class ErrorBoxes;
class PrintCommands;
class WindowLinkView;
class StatusPanels;

// What the program holds for the whole run, passed by reference.
struct ProgramState {
  qel::Settings Settings;
  RecentFileList RecentFiles;
  SpectrumStore Store;
  RunValues Run;
};

class TQelMainForm : public QMainWindow,
                     public FileCommandHost,
                     public ProcessingHost,
                     public SettingsHost,
                     public ParameterView {
  Q_OBJECT
 public:
  // Builds the window and runs FormCreate: the settings are read from the
  // store here. `problems` are settings troubles found before (a file moved
  // aside or unreadable); they are shown once the window is up.
  TQelMainForm(ProgramState& state, RegistryStore& store, ErrorBoxes& errors, std::string decimalSeparator,
               QStringList problems = {});
  ~TQelMainForm() override;

  QAction* Action(const char* name) const { return actions_.value(name); }
  // A status panel's text as set; its label shows it within 50 ms.
  QString PanelText(int panel) const;
  StatusPanels& Panels() { return *statusPanels_; }
  TQelMessageForm& MessageForm() { return *messageForm_; }
  TADCForm& AdcForm() { return *adcForm_; }
  ViewWindow& View() { return *view_; }
  InstrumentPanel& Instruments() { return *instruments_; }
  FileCommands& Files() { return *files_; }
  ProcessingCommands& Processing() { return *processing_; }
  PrintCommands& Printing() { return *print_; }
  Link& InstrumentLink() { return *link_; }
  QtLinkDriver& Driver() { return *driver_; }
  bool FormShown() const { return formShown_; }
  // Measurements: see ScreenBox::SetPointTrace.
  void SetPointTrace(std::FILE* trace);

  // FileCommandHost
  void SetStatusPanel(int panel, const QString& text) override;
  void SetBackUpEnabled(bool enabled) override;
  void SetSaveAsEnabled(bool enabled) override;
  void SetTitle(const QString& title) override;
  void SetReceiveMode(bool receive) override;
  void FullRepaint() override;
  ParameterView& Parameters() override { return *this; }
  void ShowError(const QString& text) override;

  // SettingsHost
  void FormatUnitTextsAgain() override;

  // ParameterView
  void SelectGain(int index) override;
  void SelectSpeed(int index) override;
  void ClearSelectorTexts() override;
  void SetStatusPanel(int panel, const std::string& text) override { SetStatusPanel(panel, QString::fromStdString(text)); }
  void SetAdcText(const std::string& text) override;
  void SetViewBoundTexts(const std::string& minText, const std::string& maxText) override;

  // The arguments of the program after FormShow: a spectrum file, if one
  // is named, is opened as if chosen in the open dialog.
  void OpenArguments(const QStringList& arguments);
  // The file the arguments name: the first that is not an option.
  static QString FileArgument(const QStringList& arguments);
  // Another start on the same settings: the window comes forward and opens
  // `file` (if one is named) as "Открыть" would, once no dialog is open.
  // False while the window is closing: it takes nothing then.
  bool AnotherStartRequested(const QString& file);

  void AToolBarExecute();
  void AMessageViewExecute();
  void AAboutExecute();
  void ACorrExecute();
  void SetAdcMonitor(bool on);
  void AAnalyseExecute();
  void AReceiveExecute();
  void ARealTimeExecute();
  void ASetupComExecute();
  void AResetDiapExecute();
  // New sweep bounds chosen with the mouse or by the reset.
  void SetSweepBounds(int lower, int upper);

  // The system asks the program to end (a logout, a shutdown, `kill`): the
  // window closes at once without asking anything. Open dialogs are
  // cancelled; spectra kept after failed automatic saves are written into
  // the working folder or, failing that, into a fallback folder.
  void CloseWithoutQuestions();

 signals:
  // FormClose has run: the program ends now, whatever other windows are open.
  void Closed();

 protected:
  void showEvent(QShowEvent* event) override;
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildComponents();
  void BuildMenus();
  void BuildMainBar();
  void BuildStatusBar();
  void BuildCentralArea();
  void WireActions();
  void FormCreate();
  void FormShow();
  void FormClose();
  void ApplyMessageFormPlacement();
  void ReportOnExit(const std::string& line);
  void PlaceAdcFormFirstTime();
  void OpenRequestedFiles();

  ProgramState& state_;
  Settings& s_;
  RegistryStore& regStore_;
  ErrorBoxes& errors_;
  std::string sep_;
  QStringList problems_;

  QHash<QString, QAction*> actions_;
  ViewWindow* view_ = nullptr;
  InstrumentPanel* instruments_ = nullptr;
  FileCommands* files_ = nullptr;
  ProcessingCommands* processing_ = nullptr;
  PrintCommands* print_ = nullptr;
  TQelMessageForm* messageForm_ = nullptr;
  TADCForm* adcForm_ = nullptr;
  TLinesForm* linesForm_ = nullptr;
  QToolBar* mainBar_ = nullptr;
  QFrame* screenPanel_ = nullptr;
  QMenu* rtMenu_ = nullptr;
  std::vector<QLabel*> panels_;
  StatusPanels* statusPanels_ = nullptr;

  QtSerialPort* port_ = nullptr;
  QtLinkDriver* driver_ = nullptr;
  std::unique_ptr<WindowLinkView> linkView_;
  UserFallbackFolders fallbackFolders_;  // the link's, for the whole run
  FrameBatch frameBatch_;                // the link's batch, for the widgets that follow it
  // The archive of passes, written on its own thread; it outlives the link.
  std::unique_ptr<PassArchiveWriter> archive_;
  void ShowArchiveMessages();
  std::unique_ptr<Link> link_;
  SettingsCommands* settingsCommands_ = nullptr;

  bool formShown_ = false;
  bool closing_ = false;     // FormClose is under way or done
  bool noQuestions_ = false; // ending on the system's request
  bool adcMonitorOn_ = false;
  QStringList requestedFiles_;  // handed over by other starts, to be opened
  QTimer* requestTimer_ = nullptr;
};

}  // namespace qel
