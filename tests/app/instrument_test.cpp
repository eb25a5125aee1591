// The instrument's controls, modes, dialogs and windows in the main window,
// on the offscreen platform. The status bytes a telegram carries are handed
// to the link's controls directly; the window must mirror what they decide.

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QToolButton>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QtTest>

#include <functional>
#include <memory>

#include "app/action_table.h"
#include "app/adc_form.h"
#include "app/error_boxes.h"
#include "app/main_window.h"
#include "app/message_form.h"
#include "app/qel_application.h"
#include "display/view_window.h"
#include "model/reg_file_store.h"
#include "model/units.h"
#include "tests/app/modal.h"
#include "tests/app/typing.h"
#include "tests/app/window_rig.h"
#include "tests/model/test_dir.h"

using namespace qel;

namespace {

using Run = test::WindowRig;

using test::OnModal;

void Click(QWidget* dialog, const char* button) {
  auto* b = dialog->findChild<QPushButton*>(button);
  QVERIFY2(b, button);
  b->click();
}

// Counts the events of one type a widget gets.
struct EventCounter : QObject {
  EventCounter(QWidget* w, QEvent::Type type) : type(type) { w->installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == type) ++count;
    return false;
  }
  QEvent::Type type;
  int count = 0;
};

}  // namespace

class InstrumentTest : public QObject {
  Q_OBJECT
 private slots:
  void init() { dir_ = std::make_unique<test::TempDir>(); }
  void StopAndStartAlternate();
  void ManualGainIsAdopted();
  void ManualCorrectionHidesTheNumbers();
  void CorrectionBarAtItsTop();
  void BoundsFollowTheModeAndTheMouse();
  void ResetDiapSendsTheBoundsAgain();
  void StopAndRangeResetCutThePassUnderWay();
  void ReceiveClosesTheSpectrumAndArmsTheLoop();
  void RealTimeDialogRules();
  void RealTimeConstantsTypedWhole();
  void AdcWindowClosedByItsCloseBox();
  void PortDialogRefusesASpeedThatIsNoNumber();
  void PortDialogShowsALinuxPathWhole();
  void KeptSpectraAreNotDroppedSilently();
  void OnlyTheListedKeptSpectraAreGivenUp();

 private:
  std::unique_ptr<test::TempDir> dir_;
};

void InstrumentTest::StopAndStartAlternate() {
  Run run(dir_->Path(), [](Settings& s) {
    s.Mode = true;
    s.Rapid = 10;  // " 1 мин"
  });
  Link& link = run.window->InstrumentLink();
  link.Controls.SpeedStatus(0x08);  // program control, " 1 мин": the group comes alive
  QVERIFY(run.Find<QGroupBox>("SpeedPanel")->isEnabled());
  QCOMPARE(run.Find<QLabel>("SpeedLbl")->text(), QString("ПЭВМ"));
  run.Flags().GainSpeedAcked = true;
  run.window->Action("AStop")->trigger();
  QCOMPARE(run.Find<QComboBox>("SpeedBox")->currentText(), QString(" СТОП"));
  QVERIFY(!run.window->Action("AStop")->isEnabled() && run.window->Action("AStart")->isEnabled());
  QVERIFY(!run.Flags().GainSpeedAcked);
  // The instrument confirms the stop; the selection stays.
  link.Controls.SpeedStatus(0x01);
  QCOMPARE(run.Find<QComboBox>("SpeedBox")->currentIndex(), 2);
  run.window->Action("AStart")->trigger();
  QCOMPARE(run.Find<QComboBox>("SpeedBox")->currentText(), QString(" 1 мин"));
  QCOMPARE(run.S().Rapid, 10);
  QVERIFY(run.window->Action("AStop")->isEnabled() && !run.window->Action("AStart")->isEnabled());
  // The operator's own selection in the list goes to the link too.
  auto* box = run.Find<QComboBox>("SpeedBox");
  box->setCurrentIndex(4);
  emit box->activated(4);
  QCOMPARE(run.S().Rapid, 4);
  // A manual speed disables the group and says so.
  link.Controls.SpeedStatus(0x88);
  QVERIFY(!run.Find<QGroupBox>("SpeedPanel")->isEnabled());
  QCOMPARE(run.Find<QLabel>("SpeedLbl")->text(), QString("РУЧН. УПР."));
}

void InstrumentTest::ManualGainIsAdopted() {
  Run run(dir_->Path(), [](Settings& s) { s.Mode = true; });
  int repaints = 0;
  connect(&run.window->View().Plot(), &ScreenBox::BackgroundDrawn, [&] { ++repaints; });
  run.Flags().GainSpeedAcked = true;
  run.window->InstrumentLink().Controls.GainStatus(0x84);
  QCOMPARE(run.Find<QComboBox>("AmpBox")->currentText(), QString("10"));
  QCOMPARE(run.S().Amplifying, 3);
  QCOMPARE(repaints, 1);
  QVERIFY(!run.Flags().GainSpeedAcked);
  QVERIFY(!run.Find<QGroupBox>("AmpPanel")->isEnabled());
  QCOMPARE(run.Find<QLabel>("AmpLbl")->text(), QString("РУЧН. УПР."));
  // Back under the program's control: the up button steps the gain.
  run.window->InstrumentLink().Controls.GainStatus(0x04);
  QVERIFY(run.Find<QGroupBox>("AmpPanel")->isEnabled());
  run.Find<QToolButton>("UpDnAmpUp")->click();
  QCOMPARE(run.Find<QComboBox>("AmpBox")->currentText(), QString("20"));
  QCOMPARE(run.S().Amplifying, 4);
}

void InstrumentTest::ManualCorrectionHidesTheNumbers() {
  Run run(dir_->Path(), [](Settings& s) { s.Mode = true; });
  auto* edit = run.Find<QSpinBox>("CorrEdit");
  const QColor normal = edit->palette().color(QPalette::Active, QPalette::Text);
  run.window->InstrumentLink().Controls.GainStatus(0x44);
  QVERIFY(run.Find<QGroupBox>("AmpPanel")->isEnabled());
  QVERIFY(!run.Find<QGroupBox>("CorrPanel")->isEnabled() && !run.Find<QSlider>("CorrBar")->isEnabled());
  QCOMPARE(run.Find<QLabel>("CorrLbl")->text(), QString("РУЧН. УПР."));
  for (QWidget* w : {static_cast<QWidget*>(edit), static_cast<QWidget*>(run.Find<QLineEdit>("CorrEditExt"))})
    QCOMPARE(w->palette().color(QPalette::Disabled, QPalette::Text), w->palette().color(QPalette::Disabled, QPalette::Base));
  run.window->InstrumentLink().Controls.GainStatus(0x04);
  QCOMPARE(edit->palette().color(QPalette::Active, QPalette::Text), normal);
  QVERIFY(run.Find<QGroupBox>("CorrPanel")->isEnabled());
}

void InstrumentTest::CorrectionBarAtItsTop() {
  Run run(dir_->Path(), [](Settings& s) {
    s.Mode = true;
    s.Correction = 100;
  });
  run.window->InstrumentLink().Controls.GainStatus(0x04);
  run.Flags().CorrAcked = true;
  auto* bar = run.Find<QSlider>("CorrBar");
  QCOMPARE(bar->value(), 32767 - 100);
  bar->triggerAction(QAbstractSlider::SliderToMinimum);  // the top: +32767
  QCOMPARE(run.Find<QSpinBox>("CorrEdit")->value(), 32767);
  QCOMPARE(run.S().Correction, 32767);
  QVERIFY(!run.Flags().CorrAcked);
  QCOMPARE(run.Find<QLineEdit>("CorrEditExt")->text(),
           QString::fromStdString(FormatCorrection(run.S(), 32767, ",")));
  // The bottom clamps to -32767.
  bar->triggerAction(QAbstractSlider::SliderToMaximum);
  QCOMPARE(run.S().Correction, -32767);
}

void InstrumentTest::BoundsFollowTheModeAndTheMouse() {
  Run run(dir_->Path(), [](Settings& s) {
    s.Mode = true;
    s.PoleMin = 1000;
  });
  auto* bot = run.Find<QSpinBox>("BotField");
  QCOMPARE(bot->value(), 1000);
  run.Flags().BoundsAcked = true;
  bot->stepUp();
  QCOMPARE(run.S().PoleMin, 1010);
  QCOMPARE(run.Find<QLineEdit>("BotFieldExt")->text(), QString::fromStdString(FormatField(run.S(), 1010, ",")));
  QCOMPARE(run.S().ViewMin, 1010);  // the view follows the sweep
  QVERIFY(!run.Flags().BoundsAcked);
  // New sweep bounds chosen with the mouse set both controls and are sent,
  // also when they are the ones already shown.
  emit run.window->View().SweepBoundsRequested(2000, 3000);
  QCOMPARE(run.S().PoleMin, 2000);
  QCOMPARE(run.S().PoleMax, 3000);
  QCOMPARE(run.Find<QSpinBox>("TopField")->value(), 3000);
  run.Flags().BoundsAcked = true;
  emit run.window->View().SweepBoundsRequested(2000, 3000);
  QVERIFY(!run.Flags().BoundsAcked);
  // A bound typed whole: "70000" is not cut to 7000 but taken as the top
  // of the range when the operator presses Enter.
  auto* top = run.Find<QSpinBox>("TopField");
  test::TypeOver(top, "70000");
  QTest::keyClick(top, Qt::Key_Return);
  QCOMPARE(top->value(), 65519);
  QCOMPARE(run.S().PoleMax, 65519);
  QCOMPARE(top->text(), QString("65519"));
  // A text that is no number is refused: the bound the program set last
  // (with the box's signals blocked) stays, and nothing goes out.
  emit run.window->View().SweepBoundsRequested(2000, 3000);
  test::TypeOver(top, "3000O");
  QTest::keyClick(top, Qt::Key_Return);
  QCOMPARE(top->value(), 3000);
  QCOMPARE(run.S().PoleMax, 3000);
  // In analyse mode the bound is the instrument's: unchanged, and shown as it is.
  run.window->Action("AAnalyse")->trigger();
  QVERIFY(!run.Find<QGroupBox>("RazvPanel")->isEnabled());
  bot->setValue(2500);
  QCOMPARE(run.S().PoleMin, 2000);
  QCOMPARE(run.Find<QLineEdit>("BotFieldExt")->text(), QString::fromStdString(FormatField(run.S(), 2000, ",")));
}

void InstrumentTest::ResetDiapSendsTheBoundsAgain() {
  Run run(dir_->Path(), [](Settings& s) {
    s.Mode = true;
    s.PoleMin = 0;
    s.PoleMax = 65519;
  });
  run.Flags().BoundsAcked = true;
  run.window->Action("AResetDiap")->trigger();  // nothing changes, and still the bounds go again
  QVERIFY(!run.Flags().BoundsAcked);
  QCOMPARE(run.Find<QLineEdit>("TopFieldExt")->text(), QString::fromStdString(FormatField(run.S(), 65519, ",")));
}

void InstrumentTest::StopAndRangeResetCutThePassUnderWay() {
  struct Kept : PassSink {
    bool SeriesStarted(std::int64_t) override { return true; }
    void PassFinished(PassRecord pass) override { cut.push_back(pass.Cut); }
    void SeriesEnded() override {}
    std::vector<bool> cut;
  } kept;
  Run run(dir_->Path(), [](Settings& s) {
    s.Mode = true;
    s.EnableRTSum = true;
  });
  Acquisition& acq = run.window->InstrumentLink().Acq;
  acq.SetPassSink(&kept, [] { return std::int64_t{0}; });
  for (const char* action : {"", "AStop", "AStart", "AResetDiap"}) {
    acq.ForwardPassStart();
    acq.DataPoint(100, 2000, 1);
    if (*action) {
      QVERIFY2(run.window->Action(action)->isEnabled(), action);
      run.window->Action(action)->trigger();
    }
  }
  acq.ForwardPassStart();
  QCOMPARE(kept.cut, std::vector<bool>({false, true, false, true}));
}

void InstrumentTest::ReceiveClosesTheSpectrumAndArmsTheLoop() {
  test::TempDir d;
  const std::string file = d.File("a.qel");
  test::Spit(file, std::string("\x10\x00\x00\x08", 4));
  Run run(dir_->Path(), [&](Settings& s) {
    s.Mode = false;
    s.LastOpen = file;
  });
  QCOMPARE(run.window->windowTitle(), QString("КЕЛ - a.qel"));
  QVERIFY(!run.window->Driver().TimerActive(LinkTimer::QelTimer));
  run.window->Action("AReceive")->trigger();
  QCOMPARE(run.window->windowTitle(), QString("КЕЛ"));
  QVERIFY(run.S().LastOpen.empty());
  QCOMPARE(run.state.Store.FindFirstValid(0, 65535), 65535);
  QVERIFY(run.window->Driver().TimerActive(LinkTimer::QelTimer));
  QVERIFY(run.window->Action("AReceive")->isChecked() && !run.window->Action("AReceive")->isEnabled());
  QVERIFY(run.window->Action("ASwLPF")->isEnabled() && run.window->Action("AStop")->isEnabled());
  QVERIFY(run.window->Driver().TimerActive(LinkTimer::LPFTimer));
  // The blink timer: a toggle that is off keeps its image untouched; one
  // that is on swaps between its two images. The action changes once, when
  // its icon becomes switchable: a changed action lays out the tool bar
  // again, which three times a second cost as much as the whole reception.
  // After that only its button is repainted.
  {
    QAction* lpf = run.window->Action("ASwLPF");
    QAction* sum = run.window->Action("ASWSum");
    auto* button = run.window->findChild<QToolButton*>("LPRTBtn");
    run.S().EnableRTLPF = false;
    run.S().EnableRTSum = false;
    QSignalSpy lpfChanged(lpf, &QAction::changed), sumChanged(sum, &QAction::changed);
    for (int i = 0; i < 3; ++i) run.window->InstrumentLink().Acq.LPFTimerTimer();
    QCOMPARE(lpfChanged.count(), 0);
    QCOMPARE(sumChanged.count(), 0);
    auto shows = [](const QIcon& icon, int image) {
      return icon.pixmap(QSize(16, 16), 1.0).toImage() == QelImage(image).pixmap(QSize(16, 16), 1.0).toImage();
    };
    QVERIFY(shows(lpf->icon(), 16));
    run.S().EnableRTLPF = true;
    run.window->InstrumentLink().Acq.LPFTimerTimer();
    QCOMPARE(lpf->property("ImageIndex").toInt(), 23);
    QCOMPARE(sum->property("ImageIndex").toInt(), 17);
    QVERIFY(shows(lpf->icon(), 23) && shows(button->icon(), 23));
    QCOMPARE(lpfChanged.count(), 1);
    run.window->resize(1200, 600);  // the whole tool bar on the screen, none of it folded
    QCoreApplication::processEvents();
    QVERIFY(button->isVisible());
    const QImage lit = button->grab().toImage();
    EventCounter paints(button, QEvent::Paint);
    run.window->InstrumentLink().Acq.LPFTimerTimer();
    QCOMPARE(lpf->property("ImageIndex").toInt(), 16);
    QVERIFY(shows(lpf->icon(), 16) && shows(button->icon(), 16));
    QCoreApplication::processEvents();
    QCOMPARE(paints.count, 1);
    QVERIFY(button->grab().toImage() != lit);
    run.window->InstrumentLink().Acq.LPFTimerTimer();
    QCoreApplication::processEvents();
    QCOMPARE(paints.count, 3);  // the grab and the switch
    QCOMPARE(button->grab().toImage(), lit);
    QCOMPARE(lpfChanged.count(), 1);
    QCOMPARE(sumChanged.count(), 0);
    // Accumulation alone: its own button blinks, the filter's keeps the image
    // it has, and no other button of the bar is repainted.
    auto* sumButton = run.window->findChild<QToolButton*>("ToolButton14");
    run.S().EnableRTLPF = false;
    run.S().EnableRTSum = true;
    run.window->InstrumentLink().Acq.LPFTimerTimer();
    QVERIFY(shows(sum->icon(), 24) && shows(sumButton->icon(), 24));
    QCoreApplication::processEvents();
    EventCounter others(run.window->findChild<QToolButton*>("AGlissBtn"), QEvent::Paint);
    EventCounter lpfPaints(button, QEvent::Paint), sumPaints(sumButton, QEvent::Paint);
    run.window->InstrumentLink().Acq.LPFTimerTimer();
    QVERIFY(shows(sumButton->icon(), 17));
    QVERIFY(shows(lpf->icon(), 23) && shows(button->icon(), 23));
    QCoreApplication::processEvents();
    QCOMPARE(sumPaints.count, 1);
    QCOMPARE(lpfPaints.count, 0);
    QCOMPARE(others.count, 0);
    run.S().EnableRTSum = false;
  }
  // The first pass start makes the received spectrum savable.
  QVERIFY(!run.window->Action("ASaveFileAs")->isEnabled());
  run.window->InstrumentLink().Acq.ForwardPassStart();
  QVERIFY(run.window->Action("ASaveFileAs")->isEnabled());
  // Back to analyse mode before the starter fires: it never fires.
  run.window->Action("AAnalyse")->trigger();
  QVERIFY(!run.window->Driver().TimerActive(LinkTimer::QelTimer));
  QVERIFY(!run.window->Action("ASwLPF")->isEnabled() && !run.window->Action("AResetDiap")->isEnabled());
  QVERIFY(!run.window->Driver().TimerActive(LinkTimer::LPFTimer));  // the toggles stop blinking
  // ... and show their first images again, greyed.
  {
    auto* button = run.window->findChild<QToolButton*>("LPRTBtn");
    QCOMPARE(run.window->Action("ASwLPF")->property("ImageIndex").toInt(), 16);
    QVERIFY(!button->isEnabled());
    const QSize px(16, 16);
    QCOMPARE(button->icon().pixmap(px, 1.0, QIcon::Disabled).toImage(),
             QelImage(16).pixmap(px, 1.0, QIcon::Disabled).toImage());
    QVERIFY(button->icon().pixmap(px, 1.0, QIcon::Disabled).toImage() != QelImage(16).pixmap(px, 1.0).toImage());
  }
}

void InstrumentTest::RealTimeDialogRules() {
  Run run(dir_->Path(), [](Settings& s) {
    s.Mode = true;
    s.EnableRTLPF = true;
    s.RTLPFConst = 0;  // a stored value out of range shows as used
    s.RTNumb = 9;
    s.ShowFirst = true;
  });
  OnModal([](QWidget* dlg) {
    QCOMPARE(dlg->windowTitle(), QString("Обработка  при приеме спектров"));
    QCOMPARE(dlg->findChild<QSpinBox*>("LPFConst")->value(), 2);
    auto* showFirst = dlg->findChild<QCheckBox*>("ShowFirstBox");
    QVERIFY(showFirst->isEnabled() && showFirst->isChecked());
    dlg->findChild<QCheckBox*>("EnLPF")->click();  // neither is checked now
    QVERIFY(!showFirst->isEnabled() && !showFirst->isChecked());
    dlg->findChild<QCheckBox*>("EnSum")->click();
    QVERIFY(showFirst->isEnabled() && !showFirst->isChecked());
    dlg->findChild<QSpinBox*>("SumConst")->setValue(12);
    // The help that the mouse is over.
    QHoverEvent over(QEvent::HoverEnter, QPointF(5, 5), QPointF(5, 5), QPointF(-1, -1));
    QApplication::sendEvent(dlg->findChild<QWidget*>("GroupBox2"), &over);
    QVERIFY(dlg->findChild<QWidget*>("Memo2")->isVisible());
    QVERIFY(!dlg->findChild<QWidget*>("Memo1")->isVisible() && !dlg->findChild<QWidget*>("Memo3")->isVisible());
    QVERIFY(dlg->findChild<QPlainTextEdit*>("Memo2")->toPlainText().endsWith(
        "\"Количество спектров для усреднения\"."));
    Click(dlg, "OkBtn");
  });
  run.window->Action("ARealTime")->trigger();
  QVERIFY(!run.S().EnableRTLPF && run.S().EnableRTSum && !run.S().ShowFirst);
  QCOMPARE(run.S().RTNumb, 12);
  QCOMPARE(run.S().RTLPFConst, 2);
  QVERIFY(!run.window->Action("ASwLPF")->isChecked() && run.window->Action("ASWSum")->isChecked());
  // Cancel changes nothing.
  OnModal([](QWidget* dlg) {
    dlg->findChild<QSpinBox*>("SumConst")->setValue(30);
    Click(dlg, "CancelBtn");
  });
  run.window->Action("ARealTime")->trigger();
  QCOMPARE(run.S().RTNumb, 12);
}

void InstrumentTest::RealTimeConstantsTypedWhole() {
  Run run(dir_->Path(), [](Settings& s) {
    s.RTLPFConst = 40;
    s.RTNumb = 9;
  });
  OnModal([](QWidget* dlg) {
    auto* lpf = dlg->findChild<QSpinBox*>("LPFConst");
    test::TypeOver(lpf, "2001");  // typed whole, clamped at OK
    QCOMPARE(lpf->text(), QString("2001"));
    test::TypeOver(dlg->findChild<QSpinBox*>("SumConst"), "");  // nothing typed: the minimum
    Click(dlg, "OkBtn");
    QCOMPARE(lpf->text(), QString("2000"));
  });
  run.window->Action("ARealTime")->trigger();
  QCOMPARE(run.S().RTLPFConst, 2000);
  QCOMPARE(run.S().RTNumb, 2);
}

void InstrumentTest::AdcWindowClosedByItsCloseBox() {
  Run run(dir_->Path(), [](Settings& s) {
    s.Mode = false;
    s.ADCEnable = true;
    s.ADCWindow = WindowPlacement{150, 250, 0, 0, false, 0, 0};
  });
  TADCForm& adc = run.window->AdcForm();
  QVERIFY(adc.isVisible() && run.window->Action("AADCView")->isChecked());
  QCOMPARE(adc.pos(), QPoint(250, 150));
  QVERIFY(adc.windowFlags() & Qt::WindowStaysOnTopHint);
  QVERIFY(run.window->Driver().TimerActive(LinkTimer::ADCTimer));
  // A reading, ten a second, is shown whole in the label that fills the
  // window, without laying the window out again.
  {
    QCoreApplication::processEvents();
    auto* label = adc.findChild<QLabel*>("ADCRes");
    QCOMPARE(label->geometry(), QRect(0, 0, 144, 53));
    EventCounter layouts(&adc, QEvent::LayoutRequest);
    run.window->InstrumentLink().Adc.Reading(4095);
    const QString text = label->text();
    QVERIFY(text.contains(QRegularExpression("\\d")));
    run.window->InstrumentLink().Adc.Reading(0);
    QVERIFY(label->text() != text);
    QCoreApplication::processEvents();
    QCOMPARE(layouts.count, 0);
    QVERIFY(label->fontMetrics().horizontalAdvance(text) < 144);
  }
  adc.close();
  QVERIFY(!adc.isVisible() && !run.window->Action("AADCView")->isChecked());
  QVERIFY(!run.S().ADCEnable && !run.window->Driver().TimerActive(LinkTimer::ADCTimer));
  run.window->Action("AADCView")->trigger();
  QVERIFY(adc.isVisible() && run.window->Driver().TimerActive(LinkTimer::ADCTimer));
  run.window->close();
  RegFileStore again(dir_->File("1.0.reg"));
  Settings s;
  SetDefaults(s);
  RecentFileList r;
  LoadSettings(s, r, again);
  QVERIFY(s.ADCEnable);
  QCOMPARE(QPoint(s.ADCWindow.Left, s.ADCWindow.Top), QPoint(250, 150));
}

void InstrumentTest::PortDialogRefusesASpeedThatIsNoNumber() {
  Run run(dir_->Path(), [](Settings& s) { s.Mode = true; });
  bool refused = false;
  OnModal([&](QWidget* dlg) {
    QCOMPARE(dlg->windowTitle(), QString("Настройка COM-порта"));
    auto* port = dlg->findChild<QComboBox*>("PortBox");
    QCOMPARE(port->itemText(0), QString("COM1"));
    QCOMPARE(port->currentText(), QString("COM1"));
    port->setCurrentText("/dev/ttyUSB7");
    dlg->findChild<QComboBox*>("SpeedBox")->setCurrentText("11520O");
    OnModal([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      QVERIFY(box);
      refused = box->text().contains("11520O");
      box->accept();
    });
    Click(dlg, "BitBtnOk");  // the message, and the dialog stays
    QVERIFY(dlg->isVisible());
    Click(dlg, "BitBtnCancel");
  });
  run.Flags().Receiving = true;  // as while the loop runs
  run.window->Action("ASetupCom")->trigger();
  QVERIFY(refused);
  QCOMPARE(run.S().Port, std::string("COM1"));
  QCOMPARE(run.S().BitRate, 115200);
  // Cancelled while receiving: the loop still starts again, with what was set.
  QVERIFY(!run.Flags().Receiving);
  QVERIFY(run.window->Driver().TimerActive(LinkTimer::QelTimer));
  run.window->Driver().SetTimerEnabled(LinkTimer::QelTimer, false);
  // A good rate is taken with the typed port name.
  OnModal([](QWidget* dlg) {
    dlg->findChild<QComboBox*>("PortBox")->setCurrentText("COM7");
    dlg->findChild<QComboBox*>("SpeedBox")->setCurrentText("9600");
    Click(dlg, "BitBtnOk");
  });
  run.window->Action("ASetupCom")->trigger();
  QCOMPARE(run.S().Port, std::string("COM7"));
  QCOMPARE(run.S().BitRate, 9600);
  QVERIFY(!run.window->Driver().TimerActive(LinkTimer::QelTimer));  // not receiving: only the settings change
}

void InstrumentTest::PortDialogShowsALinuxPathWhole() {
  const QString port = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  Run run(dir_->Path(), [&](Settings& s) { s.Port = port.toStdString(); });
  OnModal([&](QWidget* dlg) {
    auto* box = dlg->findChild<QComboBox*>("PortBox");
    QCOMPARE(box->currentText(), port);
    // The edit's text starts 2 pixels in and takes a pixel more for the cursor.
    QLineEdit* edit = box->lineEdit();
    QVERIFY2(edit->width() >= edit->fontMetrics().horizontalAdvance(port) + 5,
             qPrintable(QString("%1 for %2").arg(edit->width()).arg(edit->fontMetrics().horizontalAdvance(port))));
    Click(dlg, "BitBtnCancel");
  });
  run.window->Action("ASetupCom")->trigger();
}

void InstrumentTest::KeptSpectraAreNotDroppedSilently() {
  Run run(dir_->Path(), [&](Settings& s) {
    test::SaveEveryPass(s, dir_->File("missing"));  // the automatic save fails
  });
  Acquisition& acq = run.window->InstrumentLink().Acq;
  acq.ForwardPassStart();
  acq.ForwardPassStart();
  QCOMPARE(acq.KeptSpectra(), std::size_t{2});
  // Analyse mode: written once more (still failing), then the operator is
  // asked. A folder chosen that does not take them (a folder stands where
  // the first file would go) is named as the reason when the question comes
  // again; the next folder takes them under their names.
  const std::string folder = dir_->File("elsewhere");
  QDir().mkpath(QString::fromStdString(folder));
  const std::string bad = dir_->File("bad");
  QDir().mkpath(QString::fromStdString(bad + "/k00000005.qel"));
  QStringList questions;
  std::function<void()> answer = [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    QVERIFY(box);
    questions << box->text();
    OnModal([&](QWidget* d) {
      auto* dlg = qobject_cast<QFileDialog*>(d);
      QVERIFY(dlg);
      dlg->selectFile(QString::fromStdString(questions.size() == 1 ? bad : folder));
      if (questions.size() == 1) QTimer::singleShot(0, answer);
      QMetaObject::invokeMethod(dlg, "accept");
    });
    Click(box, "WriteKeptBtn");
  };
  QTimer::singleShot(0, answer);
  run.window->Action("AAnalyse")->trigger();
  QCOMPARE(questions.size(), 2);
  for (const QString& text : questions) {
    QVERIFY(text.contains("k00000005.qel") && text.contains("k00000006.qel"));
    QVERIFY2(text.startsWith("Автосохранение не удалось: 2 спектра хранятся только в памяти и будут потеряны, "
                             "если их не записать:\n"),
             qPrintable(text));
  }
  QVERIFY2(questions[0].contains(QString::fromStdString(dir_->File("missing"))), qPrintable(questions[0]));
  QVERIFY2(questions[1].contains(QString::fromStdString(bad + "/k00000005.qel")) &&
               !questions[1].contains(QString::fromStdString(dir_->File("missing"))),
           qPrintable(questions[1]));
  QCOMPARE(acq.KeptSpectra(), std::size_t{0});
  QVERIFY(QFile::exists(QString::fromStdString(folder + "/k00000005.qel")));
  QVERIFY(QFile::exists(QString::fromStdString(folder + "/k00000006.qel")));
  QVERIFY(!acq.ReceiveMode());
  // At exit: given up only by the operator's explicit choice.
  run.window->Action("AReceive")->trigger();
  run.window->Driver().SetTimerEnabled(LinkTimer::QelTimer, false);
  acq.ForwardPassStart();
  QCOMPARE(acq.KeptSpectra(), std::size_t{1});
  OnModal([](QWidget* w) {
    QVERIFY(qobject_cast<QMessageBox*>(w)->text().startsWith(
        "Автосохранение не удалось: 1 спектр хранится только в памяти и будет потерян, если его не записать:\n"));
    Click(w, "DiscardKeptBtn");
  });
  run.window->close();
  QCOMPARE(acq.KeptSpectra(), std::size_t{0});
  QVERIFY(run.window->MessageForm().Msg().toPlainText().contains("удалён оператором"));
}

void InstrumentTest::OnlyTheListedKeptSpectraAreGivenUp() {
  Run run(dir_->Path(), [&](Settings& s) {
    test::SaveEveryPass(s, dir_->File("missing"));
  });
  Acquisition& acq = run.window->InstrumentLink().Acq;
  acq.ForwardPassStart();
  acq.ForwardPassStart();
  // The link goes on receiving while the question is open: a pass fails
  // meanwhile. "Удалить спектры" gives up the two listed; the question comes
  // again for the third, which is then written into a folder; a fourth,
  // kept while the folder was chosen, is asked about once more.
  const std::string folder = dir_->File("elsewhere");
  QDir().mkpath(QString::fromStdString(folder));
  QStringList asked;
  std::function<void()> answer;
  answer = [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    QVERIFY(box);
    asked << box->text().section('\n', 1, 1);
    if (asked.size() == 1) {
      acq.ForwardPassStart();
      QTimer::singleShot(0, answer);
      Click(box, "DiscardKeptBtn");
    } else if (asked.size() == 2) {
      OnModal([&](QWidget* d) {
        acq.ForwardPassStart();
        auto* dlg = qobject_cast<QFileDialog*>(d);
        QVERIFY(dlg);
        dlg->selectFile(QString::fromStdString(folder));
        QTimer::singleShot(0, answer);
        QMetaObject::invokeMethod(dlg, "accept");
      });
      Click(box, "WriteKeptBtn");
    } else {
      Click(box, "DiscardKeptBtn");
    }
  };
  QTimer::singleShot(0, answer);
  run.window->Action("AAnalyse")->trigger();
  QCOMPARE(asked, QStringList({"k00000005.qel, k00000006.qel", "k00000007.qel", "k00000008.qel"}));
  QCOMPARE(acq.KeptSpectra(), std::size_t{0});
  QCOMPARE(QDir(QString::fromStdString(folder)).entryList(QDir::Files), QStringList({"k00000007.qel"}));
  const QString log = run.window->MessageForm().Msg().toPlainText();
  QCOMPARE(log.count("удалён оператором"), 3);
  QVERIFY(!log.contains("спектр k00000007.qel удалён оператором"));
}

int main(int argc, char** argv) {
  qel::QelApplication app(argc, argv);
  InstrumentTest t;
  return QTest::qExec(&t, argc, argv);
}

#include "instrument_test.moc"
