#include "main_window.h"

#include <QDateTime>

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>

#include <algorithm>
#include <cstdio>

#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QToolButton>

#include "about_form.h"
#include "action_table.h"
#include "adc_form.h"
#include "lines_form.h"
#include "display/view_window.h"
#include "error_boxes.h"
#include "instrument_panel.h"
#include "kept_spectra.h"
#include "real_time_setup_form.h"
#include "settings_commands.h"
#include "status_panels.h"
#include "setup_comm_form.h"
#include "message_form.h"
#include "model/tables.h"
#include "model/units.h"
#include "placement.h"
#include "print_commands.h"
#include "qel_application.h"
#include "ui_metrics.h"
#include "window_link_view.h"

namespace qel {

namespace {
constexpr const char* kProgramTitle = "Программа анализа спектров КЕЛ.  Talvor";
constexpr int kPanelWidths[12] = {50, 70, 25, 95, 105, 50, 50, 180, 40, 83, 115, 50};

QColor FromBgr(std::int32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }
}  // namespace

TQelMainForm::TQelMainForm(ProgramState& state, RegistryStore& store, ErrorBoxes& errors,
                           std::string decimalSeparator, QStringList problems)
    : state_(state),
      s_(state.Settings),
      regStore_(store),
      errors_(errors),
      sep_(std::move(decimalSeparator)),
      problems_(std::move(problems)) {
  setObjectName("QelMainForm");
  FormCreate();
}

TQelMainForm::~TQelMainForm() {
  // The link goes before the widgets it draws on.
  if (link_) link_->Flags.Receiving = false;
  if (port_) port_->Close();
  link_.reset();
  // The batch is a member: it goes before the child widgets that know it.
  view_->Plot().SetFrameBatch(nullptr);
  statusPanels_->SetFrameBatch(nullptr);
  messageForm_->SetFrameBatch(nullptr);
}

void TQelMainForm::FormCreate() {
  // Runtime fields.
  state_.Run.SerialNumber = 0;
  state_.Run.ProgramNumber = 0;
  state_.Run.AccumCount = 1;
  setWindowTitle(kProgramTitle);
  QelApplication::SetTitle("КЕЛ");

  Settings defaults;
  SetDefaults(defaults);
  s_ = defaults;
  try {
    LoadSettings(s_, state_.RecentFiles, regStore_);
  } catch (const std::exception& e) {
    problems_.append(QString::fromUtf8(e.what()));
  }
  StoreUnits(s_);

  BuildComponents();

  actions_["AToolBar"]->setChecked(s_.ToolBar);
  mainBar_->setVisible(s_.ToolBar);
  QPalette pal = screenPanel_->palette();
  pal.setColor(QPalette::Window, FromBgr(s_.DisplayColors.BackGround));
  screenPanel_->setPalette(pal);
  instruments_->ShowBounds();
  actions_["ASwLPF"]->setChecked(s_.EnableRTLPF);
  actions_["ASWSum"]->setChecked(s_.EnableRTSum);
  link_->Controls.Initialise();  // gain, speed, stop and start, correction, bound texts
  state_.Store.ClearSpectrum();
  driver_->SetTimerInterval(LinkTimer::ADCTimer, s_.ADCFreq);
  files_->UpdateRecentFiles({});
}

void TQelMainForm::BuildComponents() {
  resize(Px(1018), Px(514));
  setMinimumSize(Px(500), Px(450));
  view_ = new ViewWindow(s_, state_.Store, state_.Run, sep_, this);
  view_->hide();  // it owns the view's logic; its controls are placed below
  actions_ = BuildActions(this, view_->actions());
  actions_["AEqualize"]->setIconText("Выравн.");
  files_ = new FileCommands(s_, state_.RecentFiles, state_.Store, state_.Run, *this, sep_, this);
  processing_ = new ProcessingCommands(s_, state_.Store, state_.Run, *this, this);
  instruments_ = new InstrumentPanel(
      s_, {actions_["AStop"], actions_["AStart"], actions_["AResetDiap"], view_->findChild<QWidget*>("SetRazvBtn")},
      this);
  print_ = new PrintCommands(
      s_, state_.Store, state_.Run, sep_,
      {[this] { return link_->Acq.ReceiveMode(); }, instruments_->AmpBox, instruments_->SpeedBox, this,
       [this] { FullRepaint(); }, [this](const QString& text) { ShowError(text); }},
      this);
  BuildMenus();
  BuildMainBar();
  BuildStatusBar();
  BuildCentralArea();

  messageForm_ = new TQelMessageForm(this);
  adcForm_ = new TADCForm(this);
  linesForm_ = new TLinesForm(s_, state_.Store, sep_, [this] { SaveSettings(s_, state_.RecentFiles, regStore_); }, this);
  connect(view_, &ViewWindow::ViewChanged, linesForm_, &TLinesForm::ViewChanged);
  errors_.SetParentWidget(this);
  errors_.SetLog([this](const QString& line) { messageForm_->AppendLine(line); });
  errors_.SetShowLog([this] {
    actions_["AMessageView"]->setChecked(true);
    AMessageViewExecute();
  });

  port_ = new QtSerialPort(this);
  driver_ = new QtLinkDriver(*port_, this);
  linkView_ = std::make_unique<WindowLinkView>(WindowLinkView::Parts{
      [this](int panel, const QString& text) { SetStatusPanel(panel, text); }, messageForm_, &errors_, instruments_,
      &actions_, view_, adcForm_, &s_, [this] { linesForm_->PassEnded(); }});
  archive_ = std::make_unique<PassArchiveWriter>(s_, [this] {
    // On the writer's thread: the messages are shown on the window's.
    QMetaObject::invokeMethod(this, [this] { ShowArchiveMessages(); }, Qt::QueuedConnection);
  });
  link_ = std::make_unique<Link>(*port_, s_, state_.Store, state_.Run, *linkView_, *driver_, &regStore_, sep_);
  link_->Acq.SetPassSink(archive_.get(), [] { return QDateTime::currentMSecsSinceEpoch(); });
  driver_->Attach(*link_);
  // What a batch of the link changes is shown at its end, in its wake-up.
  connect(driver_, &QtLinkDriver::BatchStarted, this, [this] { frameBatch_.Begin(); });
  connect(driver_, &QtLinkDriver::BatchEnded, this, [this] { frameBatch_.End(); });
  view_->Plot().SetFrameBatch(&frameBatch_);
  statusPanels_->SetFrameBatch(&frameBatch_);
  messageForm_->SetFrameBatch(&frameBatch_);
  link_->Acq.SetFallbackFolders(&fallbackFolders_);
  instruments_->Connect(link_->Controls);
  settingsCommands_ = new SettingsCommands(
      *this, s_, [this] { SaveSettings(s_, state_.RecentFiles, regStore_); }, sep_, this);
  WireActions();
}

void TQelMainForm::BuildMenus() {
  auto* bar = new QMenuBar(this);
  bar->setObjectName("QelMainMenu");
  setMenuBar(bar);
  auto menu = [&](const char* name, const char* title, const QStringList& items) {
    QMenu* m = bar->addMenu(title);
    m->setObjectName(name);
    m->setToolTipsVisible(true);  // the hints, now that they are not status messages
    for (const QString& item : items) {
      if (item == "-") m->addSeparator();
      else if (item == "ListItem") m->addMenu(&files_->ListItem());
      else m->addAction(actions_.value(item));
    }
  };
  menu("SpectrMenu", "Спектр",
       {"AReceive", "AAnalyse", "-", "AOpenFile", "ListItem", "ASaveFileAs", "ACloseSpectr", "-", "APrintSetup", "-",
        "APrintForm", "-", "AExit"});
  menu("ViewMenu", "Вид",
       {"ARepaint", "-", "AIncScale", "ADecScale", "AAllView", "-", "AADCView", "-", "AStandVisir", "AVisir1",
        "AVisir2", "-", "AToolBar", "-", "AMessageView"});
  menu("RazvMenu", "Развертка", {"AStop", "AStart", "-", "AResetDiap", "AMouseSelect"});
  menu("FunctionsMenu", "Функции",
       {"ABackUp", "-", "AFilterSetup", "AGlissSetup", "AEqualize", "AIntegr", "AMinMax", "-", "ALines"});
  menu("SetupMenu", "Настройка", {"ARealTime", "AAutoSave", "APassArchive", "AOpenUnits", "ASetupCom", "AColorSetup", "-", "AAbout"});
}

void TQelMainForm::BuildMainBar() {
  mainBar_ = new QToolBar(this);
  mainBar_->setObjectName("MainBar");
  mainBar_->setMovable(false);
  mainBar_->setFloatable(false);
  mainBar_->toggleViewAction()->setVisible(false);
  mainBar_->setContextMenuPolicy(Qt::PreventContextMenu);
  mainBar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  mainBar_->setIconSize(QSize(16, 16));
  mainBar_->setFixedHeight(Px(41));
  setAnimated(false);  // the bar unfolds at once, without frames drawn on the way
  // In a window too narrow for the bar, its » button unfolds it in rows over
  // the plot: the bar may grow while unfolded, or the buttons folded away
  // (the real-time toggles are on no menu) could not be reached.
  if (auto* more = mainBar_->findChild<QToolButton*>("qt_toolbar_ext_button"))
    connect(more, &QToolButton::toggled, mainBar_,
            [bar = mainBar_](bool unfolded) { bar->setMaximumHeight(unfolded ? QWIDGETSIZE_MAX : Px(41)); });
  addToolBar(Qt::TopToolBarArea, mainBar_);
  rtMenu_ = new QMenu(this);
  rtMenu_->setObjectName("RTMenu");
  rtMenu_->addAction(actions_["ARealTime"]);
  const QStringList items = {"ASaveFileAs", "AOpenFile", "ACloseSpectr", "APrint", "-", "AReceive", "AAnalyse", "-",
                             "ABackUp", "AGliss", "AEqualize", "AIntegr", "AMinMax", "-", "ASwLPF", "ASWSum"};
  for (const QString& item : items) {
    if (item == "-") {
      mainBar_->addSeparator();
      continue;
    }
    QAction* a = actions_.value(item);
    mainBar_->addAction(a);
    auto* button = qobject_cast<QToolButton*>(mainBar_->widgetForAction(a));
    button->setObjectName(item + "Btn");
    // 75 x 36 at least; wider where the desktop font needs it, so that no
    // caption is cut: a bar too long for the window folds into its » menu.
    button->setMinimumSize(std::max(Px(75), button->sizeHint().width()), Px(36));
    if (item == "AOpenFile") {
      button->setMenu(&files_->QuickOpenMenu());
      button->setPopupMode(QToolButton::MenuButtonPopup);
    } else if (item == "ASwLPF" || item == "ASWSum") {
      button->setObjectName(item == "ASwLPF" ? "LPRTBtn" : "ToolButton14");
      button->setContextMenuPolicy(Qt::CustomContextMenu);
      connect(button, &QWidget::customContextMenuRequested, this,
              [this, button](const QPoint& at) { rtMenu_->popup(button->mapToGlobal(at)); });
    }
  }
}

void TQelMainForm::BuildStatusBar() {
  auto* bar = new QStatusBar(this);
  bar->setObjectName("QelStatusBar");
  bar->setSizeGripEnabled(true);
  setStatusBar(bar);
  // The longest text each panel shows in normal work; a panel is widened
  // where the desktop's font needs more than its width.
  const QString samples[12] = {"", "115200 бод", "", "", "", "PR: 255", "S/N: 255", "Ошибка обмена RS232",
                               "АВТО", "ФИЛЬТР [2000]", "НАКОПЛ [2000 из 2000]", ""};
  for (int i = 0; i < 12; ++i) {
    auto* panel = new QLabel(bar);
    panel->setObjectName(QString("Panel%1").arg(i));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    const int needed = panel->fontMetrics().horizontalAdvance(samples[i]) + 2 * panel->frameWidth() + 6;
    panel->setFixedWidth(std::max(Px(kPanelWidths[i]), needed));
    bar->addWidget(panel);
    panels_.push_back(panel);
  }
  statusPanels_ = new StatusPanels(this);
  statusPanels_->SetLabels(panels_);
}

void TQelMainForm::BuildCentralArea() {
  auto* central = new QWidget(this);
  central->setObjectName("CentralArea");
  setCentralWidget(central);
  auto take = [this](const char* name) { return view_->findChild<QWidget*>(name); };

  screenPanel_ = new QFrame(central);
  screenPanel_->setObjectName("ScreenPanel");
  screenPanel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  screenPanel_->setLineWidth(3);
  screenPanel_->setAutoFillBackground(true);
  auto* inPanel = new QVBoxLayout(screenPanel_);
  inPanel->setContentsMargins(3, 3, 3, 3);
  inPanel->setSpacing(0);
  inPanel->addWidget(&view_->Plot(), 1);
  auto* toolBar1 = new QToolBar(central);
  toolBar1->setObjectName("ToolBar1");
  toolBar1->setIconSize(QSize(16, 16));
  auto* scaleBtn = qobject_cast<QToolButton*>(take("ScaleBtn"));
  scaleBtn->setIcon(QelImage(5));
  toolBar1->addWidget(scaleBtn);

  auto* grid = new QGridLayout;
  grid->setSpacing(0);
  grid->addWidget(screenPanel_, 0, 0, 1, 3);
  grid->addWidget(take("VertScrollBar"), 0, 3);
  grid->addWidget(take("HorzScrollBar"), 1, 0);
  grid->addWidget(toolBar1, 1, 1);
  grid->addWidget(take("AllBtn"), 1, 2);
  grid->setRowStretch(0, 1);
  grid->setColumnStretch(0, 1);

  auto* visirPanel = new QFrame(central);
  visirPanel->setObjectName("VisirPanel");
  auto* visirs = new QHBoxLayout(visirPanel);
  visirs->setContentsMargins(0, 2, 0, 2);
  visirs->addWidget(take("MinView"));
  visirs->addWidget(take("MinViewExt"));
  visirs->addStretch(1);
  visirs->addWidget(take("VisPan1"));
  visirs->addWidget(take("VisPan2"));
  visirs->addStretch(1);
  visirs->addWidget(take("OrdScaleBtn"));
  visirs->addWidget(take("MaxViewExt"));
  visirs->addWidget(take("MaxView"));

  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(2, 2, 2, 0);
  column->setSpacing(2);
  column->addLayout(grid, 1);
  column->addWidget(visirPanel);
  column->addWidget(instruments_);
}

void TQelMainForm::WireActions() {
  auto on = [this](const char* name, auto handler) { connect(actions_[name], &QAction::triggered, this, handler); };
  on("AOpenFile", [this] { files_->AOpenFileExecute(); });
  on("ASaveFileAs", [this] { files_->ASaveFileAsExecute(); });
  on("ACloseSpectr", [this] { files_->ACloseSpectrExecute(); });
  on("AToolBar", [this] { AToolBarExecute(); });
  on("ACorr", [this] { ACorrExecute(); });
  on("AMessageView", [this] { AMessageViewExecute(); });
  on("AAbout", [this] { AAboutExecute(); });
  on("AExit", [this] { close(); });
  on("AAnalyse", [this] { AAnalyseExecute(); });
  on("AReceive", [this] { AReceiveExecute(); });
  on("AStop", [this] {
    link_->Acq.PassInterrupted();
    link_->Controls.AStopExecute();
  });
  on("AStart", [this] { link_->Controls.AStartExecute(); });
  on("ASwLPF", [this] { link_->Acq.ASwLPFExecute(actions_["ASwLPF"]->isChecked()); });
  on("ASWSum", [this] { link_->Acq.ASWSumExecute(actions_["ASWSum"]->isChecked()); });
  on("ARealTime", [this] { ARealTimeExecute(); });
  on("AGliss", [this] { processing_->AGlissExecute(); });
  on("AGlissSetup", [this] { processing_->AGlissSetupExecute(); });
  on("AFilter", [this] { processing_->AFilterExecute(); });
  on("AFilterSetup", [this] { processing_->AFilterSetupExecute(); });
  on("AEqualize", [this] { processing_->AEqualizeExecute(); });
  on("AIntegr", [this] { processing_->AIntegrExecute(); });
  on("AMinMax", [this] { processing_->AMinMaxExecute(); });
  on("ALines", [this] {
    linesForm_->show();
    linesForm_->raise();
    linesForm_->activateWindow();
    linesForm_->Refresh();
  });
  on("ABackUp", [this] { processing_->ABackUpExecute(); });
  on("ASetupCom", [this] { ASetupComExecute(); });
  on("AOpenUnits", [this] { settingsCommands_->AOpenUnitsExecute(); });
  on("AAutoSave", [this] { settingsCommands_->AAutoSaveExecute(); });
  on("APassArchive", [this] { settingsCommands_->APassArchiveExecute(archive_->CurrentPath()); });
  on("APrint", [this] { print_->APrintExecute(); });
  on("APrintSetup", [this] { print_->APrintSetupExecute(); });
  on("APrintForm", [this] { print_->APrintFormExecute(); });
  on("AColorSetup", [this] { print_->AColorSetupExecute(); });
  on("AADCView", [this] { SetAdcMonitor(actions_["AADCView"]->isChecked()); });
  // The view window's own handler only asks for the bounds; the reset also
  // runs both bound handlers and sends the bounds again.
  disconnect(actions_["AResetDiap"], &QAction::triggered, view_, nullptr);
  on("AResetDiap", [this] { AResetDiapExecute(); });
  connect(view_, &ViewWindow::SweepBoundsRequested, this, &TQelMainForm::SetSweepBounds);
  connect(adcForm_, &TADCForm::Hidden, this, [this] {
    SetAdcMonitor(false);
    s_.ADCEnable = false;
  });
  connect(view_, &ViewWindow::StatusText, this, [this](int panel, const QString& text) { SetStatusPanel(panel, text); });
  connect(messageForm_, &TQelMessageForm::Hidden, this, [this] {
    s_.MsgWindow.Visible = false;
    actions_["AMessageView"]->setChecked(false);
  });
}

void TQelMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!formShown_) {
    formShown_ = true;
    FormShow();
  }
}

bool TQelMainForm::event(QEvent* event) {
  // Hints are tool tips: Qt would also show them as a status message, which
  // hides the twelve panels while the mouse rests on a button or menu item.
  if (event->type() == QEvent::StatusTip) return true;
  // The window's widgets are painted and the picture goes to the screen.
  if (event->type() == QEvent::UpdateRequest) {
    const bool done = QMainWindow::event(event);
    view_->Plot().Flushed();
    return done;
  }
  return QMainWindow::event(event);
}

void TQelMainForm::FormShow() {
  for (int i = 0; i < 12; ++i) SetStatusPanel(i, QString());
  ApplyPlacement(*this, s_.Position);
  ApplyMessageFormPlacement();
  if (s_.ADCWindow.Left == 0 && s_.ADCWindow.Top == 0) PlaceAdcFormFirstTime();
  else ApplyPosition(*adcForm_, s_.ADCWindow.Left, s_.ADCWindow.Top);
  actions_["AMessageView"]->setChecked(s_.MsgWindow.Visible);
  SetReceiveMode(s_.Mode);
  state_.Run.IntegralS = -1.0;
  state_.Run.MaxIndex = -1;
  state_.Run.MinIndex = -1;
  if (!s_.Mode && !s_.LastOpen.empty() && QFileInfo::exists(QString::fromStdString(s_.LastOpen))) {
    try {
      files_->OpenSpectrumFile(QString::fromStdString(s_.LastOpen));
    } catch (const std::exception& e) {
      ShowError(QString::fromUtf8(e.what()));
    }
  }
  view_->ShowSettings();
  SetAdcMonitor(s_.ADCEnable);
  for (const QString& problem : problems_) ShowError(problem);
  problems_.clear();
}

void TQelMainForm::PlaceAdcFormFirstTime() {
  // Never placed (the corner 0, 0 of a first start): beside the main window
  // on its right, or where the screen ends there, inside it at the plot's
  // top right corner, clear of the menu and the tool bar.
  const QRect main = frameGeometry();
  const QRect area = screen() ? screen()->availableGeometry() : QRect();
  QPoint at(main.right() + 1 + Px(8), geometry().top() + Px(40));
  if (area.isValid() && at.x() + adcForm_->frameGeometry().width() > area.right() + 1) {
    const QPoint plotCorner = screenPanel_->mapTo(this, QPoint(screenPanel_->width(), 0)) + geometry().topLeft();
    at = QPoint(plotCorner.x() - adcForm_->frameGeometry().width() - Px(24), plotCorner.y() + Px(8));
  }
  ApplyPosition(*adcForm_, at.x(), at.y());
}

QString TQelMainForm::FileArgument(const QStringList& arguments) {
  // The first argument that is not an option (Qt takes its own options).
  for (int i = 1; i < arguments.size(); ++i)
    if (!arguments.at(i).startsWith('-')) return arguments.at(i);
  return {};
}

void TQelMainForm::OpenArguments(const QStringList& arguments) {
  if (const QString file = FileArgument(arguments); !file.isEmpty()) files_->OpenGivenFile(file);
}

bool TQelMainForm::AnotherStartRequested(const QString& file) {
  if (closing_) return false;
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
  if (file.isEmpty()) return true;
  requestedFiles_.append(file);
  OpenRequestedFiles();
  return true;
}

void TQelMainForm::OpenRequestedFiles() {
  // A dialog works on the spectrum or the settings: the file waits until it
  // has closed.
  if (QApplication::activeModalWidget()) {
    if (!requestTimer_) {
      requestTimer_ = new QTimer(this);
      requestTimer_->setSingleShot(true);
      requestTimer_->setInterval(250);
      connect(requestTimer_, &QTimer::timeout, this, &TQelMainForm::OpenRequestedFiles);
    }
    requestTimer_->start();
    return;
  }
  while (!requestedFiles_.isEmpty() && !closing_) files_->OpenGivenFile(requestedFiles_.takeFirst());
}

void TQelMainForm::ApplyMessageFormPlacement() {
  const WindowPlacement& p = s_.MsgWindow;
  messageForm_->setWindowFlag(Qt::WindowStaysOnTopHint, p.Style == 3);
  ApplyPlacement(*messageForm_, p);
  messageForm_->setVisible(p.Visible);
}

void TQelMainForm::closeEvent(QCloseEvent* event) {
  if (closing_) {
    // Asked again while the kept-spectra question is open: the close under
    // way finishes the work.
    event->ignore();
    return;
  }
  closing_ = true;
  FormClose();
  // The message and ADC windows are windows of their own: they go with the
  // main window, and the program ends even while they were shown.
  messageForm_->hide();
  adcForm_->hide();
  QMainWindow::closeEvent(event);
  emit Closed();
}

void TQelMainForm::CloseWithoutQuestions() {
  noQuestions_ = true;
  // Dialogs run in loops of their own: cancelled, they return to their
  // callers, which see "Отмена". The kept-spectra question, if open, then
  // writes the spectra without asking.
  for (int i = 0; i < 32; ++i) {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) break;
    if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
    else modal->close();
  }
  if (!closing_) close();
}

void TQelMainForm::FormClose() {
  // The link stops first: spectra kept while the question below is open
  // would otherwise bring it back again and again.
  link_->Flags.Receiving = false;
  driver_->SetTimerEnabled(LinkTimer::QelTimer, false);
  if (!noQuestions_) SettleKeptSpectra(this, link_->Acq, s_.WorkDir, [this] { return !noQuestions_; });
  // Ended by the system, before or while the question was open.
  if (noQuestions_)
    for (const std::string& line : link_->Acq.WriteKeptSpectraAtEnd(s_.WorkDir)) ReportOnExit(line);
  port_->Close();
  // The pass under way ends its series; what the archive could not write
  // goes where kept spectra go at the end.
  link_->Acq.CloseSeries();
  archive_->Flush();
  if (archive_->WaitingBytes()) {
    std::string why;
    const std::string folder = fallbackFolders_.Folder(0, why);
    if (folder.empty())
      ReportOnExit("Архив проходов: незаписанные проходы потеряны: " + why);
    else
      for (const std::string& line : archive_->WriteWaitingTo(folder)) ReportOnExit(line);
  }
  for (const std::string& line : archive_->TakeLog()) ReportOnExit(line);
  RestoreUnits(s_);
  if (s_.Rapid == StopSpeedIndex) s_.Rapid = static_cast<std::uint8_t>(link_->Controls.SavedSpeed());
  s_.Mode = link_->Acq.ReceiveMode();
  ReadPlacement(*this, s_.Position);
  ReadPlacement(*messageForm_, s_.MsgWindow);
  s_.MsgWindow.Style = messageForm_->windowFlags() & Qt::WindowStaysOnTopHint ? 3 : 0;
  s_.MsgWindow.Visible = messageForm_->isVisible();
  s_.ADCWindow.Left = adcForm_->x();
  s_.ADCWindow.Top = adcForm_->y();
  s_.ADCEnable = link_->Adc.On();
  s_.ToolBar = actions_["AToolBar"]->isChecked();
  try {
    SaveSettings(s_, state_.RecentFiles, regStore_);
  } catch (const RegistryError& e) {
    QString text = QString::fromUtf8(e.what());
    if (!e.Detail().empty()) text += "\n" + QString::fromStdString(e.Detail());
    if (noQuestions_) {
      ReportOnExit("Настройки не сохранены: " + text.toStdString());
      return;
    }
    // The program is ending: the operator must see this before it does.
    QMessageBox box(QMessageBox::Warning, "КЕЛ", "Настройки не сохранены: " + text, QMessageBox::Ok, this);
    box.setObjectName("SaveSettingsBox");
    box.exec();
  }
}

void TQelMainForm::ReportOnExit(const std::string& line) {
  // The window is going: the log keeps the line for the record, standard
  // error for whoever ended the program.
  messageForm_->AppendLine(QString::fromStdString(line));
  std::fprintf(stderr, "qel-gui: %s\n", line.c_str());
  std::fflush(stderr);
}

void TQelMainForm::SetPointTrace(std::FILE* trace) { view_->Plot().SetPointTrace(trace); }

QString TQelMainForm::PanelText(int panel) const { return statusPanels_->Text(panel); }

void TQelMainForm::SetStatusPanel(int panel, const QString& text) { statusPanels_->Set(panel, text); }

void TQelMainForm::SetBackUpEnabled(bool enabled) { actions_["ABackUp"]->setEnabled(enabled); }

void TQelMainForm::SetSaveAsEnabled(bool enabled) { actions_["ASaveFileAs"]->setEnabled(enabled); }

void TQelMainForm::SetTitle(const QString& title) {
  setWindowTitle(title);
  QelApplication::SetTitle(title);
}

void TQelMainForm::SetReceiveMode(bool receive) { link_->Acq.SetReceiveMode(receive); }

void TQelMainForm::FullRepaint() { view_->Plot().ScreenBoxPaint(); }

void TQelMainForm::ShowError(const QString& text) { errors_.Show(text); }

void TQelMainForm::FormatUnitTextsAgain() {
  InstrumentControl& controls = link_->Controls;
  controls.BotFieldChange(instruments_->BotField->value());
  controls.TopFieldChange(instruments_->TopField->value());
  controls.CorrEditChange(instruments_->CorrEdit->value());
  view_->FormatViewBoundsAgain();
}

void TQelMainForm::SelectGain(int index) { instruments_->SelectGain(index); }

void TQelMainForm::SelectSpeed(int index) { instruments_->SelectSpeed(index); }

void TQelMainForm::ClearSelectorTexts() {
  instruments_->SelectGain(-1);
  instruments_->SelectSpeed(-1);
}

void TQelMainForm::SetAdcText(const std::string& text) { adcForm_->ADCRes().setText(QString::fromStdString(text)); }

void TQelMainForm::SetViewBoundTexts(const std::string& minText, const std::string& maxText) {
  findChild<QLineEdit*>("MinViewExt")->setText(QString::fromStdString(minText));
  findChild<QLineEdit*>("MaxViewExt")->setText(QString::fromStdString(maxText));
}

void TQelMainForm::AAnalyseExecute() {
  // Analyse mode first: the link stops, and no spectrum is kept meanwhile.
  SetReceiveMode(false);
  SettleKeptSpectra(this, link_->Acq, s_.WorkDir, [this] { return !noQuestions_; });
}

void TQelMainForm::AReceiveExecute() {
  files_->CloseSpectrum();
  view_->Plot().DrawBackground();
  SetReceiveMode(true);
  RestoreUnits(s_);
  view_->MinViewChange(s_.ViewMin);
  view_->MaxViewChange(s_.ViewMax);
}

void TQelMainForm::ARealTimeExecute() {
  TRealTimeSetupForm dlg(s_, this);
  if (dlg.exec() != QDialog::Accepted) return;
  actions_["ASwLPF"]->setChecked(s_.EnableRTLPF);
  actions_["ASWSum"]->setChecked(s_.EnableRTSum);
}

void TQelMainForm::ASetupComExecute() {
  TSetupCommForm dlg(s_.Port, s_.BitRate, this);
  dlg.exec();
  // Whatever closed it: after "Отмена" these are the values it was given.
  s_.Port = dlg.Port();
  s_.BitRate = dlg.BitRate();
  link_->Session.RestartAfterPortDialog();
}

void TQelMainForm::AResetDiapExecute() {
  link_->Acq.PassInterrupted();
  SetSweepBounds(0, 65519);
}

void TQelMainForm::ShowArchiveMessages() {
  for (const std::string& line : archive_->TakeLog()) messageForm_->AppendLine(QString::fromStdString(line));
  if (const auto error = archive_->TakeError()) errors_.Show(QString::fromStdString(*error));
}

void TQelMainForm::SetSweepBounds(int lower, int upper) {
  {
    const QSignalBlocker b1(instruments_->BotField), b2(instruments_->TopField);
    instruments_->BotField->setValue(lower);  // the spin edits clamp to their ranges
    instruments_->TopField->setValue(upper);
  }
  link_->Controls.SetBoundsAndResend(instruments_->BotField->value(), instruments_->TopField->value());
}

void TQelMainForm::AToolBarExecute() {
  // The action has flipped itself; the plot panel takes or gives back the
  // bar's height through the window's layout.
  mainBar_->setVisible(actions_["AToolBar"]->isChecked());
}

void TQelMainForm::ACorrExecute() {
  instruments_->CorrPanel->setVisible(actions_["ACorr"]->isChecked());
  instruments_->FitToWidth();
}

void TQelMainForm::AMessageViewExecute() {
  const bool visible = actions_["AMessageView"]->isChecked();
  s_.MsgWindow.Visible = visible;
  messageForm_->setVisible(visible);
}

void TQelMainForm::AAboutExecute() {
  auto* about = new TQelAboutForm(this);
  about->exec();
}

void TQelMainForm::SetAdcMonitor(bool on) {
  link_->Adc.SetAdcMonitor(on);
  actions_["AADCView"]->setChecked(on);
}

}  // namespace qel
