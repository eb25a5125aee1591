// The cases' helper for modal dialogs: a check that fails in a dialog's
// callback ends the case at once instead of leaving the dialog open. The
// failing cases run in a second start of this binary, which has to end
// within a minute, report each of them failed and still run the case after
// them.

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

#include "tests/app/modal.h"

using namespace qel;

// Run only in the second start (QEL_FAILING_MODAL set): every case but the
// last fails inside a dialog.
class FailingInModal : public QObject {
  Q_OBJECT
 private slots:
  void failedCheckInANestedBox() {
    QDialog outer;
    outer.setObjectName("Outer");
    auto* open = new QPushButton("open", &outer);
    connect(open, &QPushButton::clicked, &outer, [&outer] {
      QMessageBox box(QMessageBox::Warning, "КЕЛ", "inner", QMessageBox::Ok, &outer);
      box.setObjectName("Inner");
      box.exec();
    });
    test::OnModal("Outer", [open](QWidget*) {
      test::OnModal("Inner", [](QWidget*) { QCOMPARE(1, 2); });
      open->click();
    });
    outer.exec();
    // A later dialog of the failed case has no callback: it closes as it shows.
    QDialog later;
    later.exec();
  }
  void failedCheckInTheDialog() {
    QDialog d;
    test::OnModal([](QWidget* w) {
      QVERIFY(w->objectName() == "Other");
      qobject_cast<QDialog*>(w)->accept();
    });
    d.exec();
  }
  void dialogLeftOpen() {
    QDialog d;
    test::OnModal([](QWidget*) {});
    d.exec();
  }
  void anotherDialogCameInstead() {
    QDialog d;
    d.setObjectName("Other");
    test::OnModal("Expected", [](QWidget* w) { qobject_cast<QDialog*>(w)->accept(); });
    d.exec();
  }
  void laterCaseRuns() {
    QDialog d;
    test::OnModal([](QWidget* w) { qobject_cast<QDialog*>(w)->accept(); });
    QCOMPARE(d.exec(), int(QDialog::Accepted));
  }
};

class ModalTest : public QObject {
  Q_OBJECT
 private slots:
  void failedChecksInCallbacksEndTheirCases() {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QEL_FAILING_MODAL", "1");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    // A dialog left waiting would take the whole minute.
    QVERIFY(child.waitForFinished(60000));
    const QString out = QString::fromUtf8(child.readAllStandardOutput());
    for (const char* failed :
         {"failedCheckInANestedBox", "failedCheckInTheDialog", "dialogLeftOpen", "anotherDialogCameInstead"})
      QVERIFY2(out.contains(QString("FAIL!  : FailingInModal::%1()").arg(failed)), qPrintable(out));
    QVERIFY2(out.contains("PASS   : FailingInModal::laterCaseRuns()"), qPrintable(out));
    QCOMPARE(child.exitCode(), 4);
  }

  void callbackRunsOnTheNamedDialog() {
    QDialog outer;
    outer.setObjectName("Outer");
    auto* open = new QPushButton("open", &outer);
    int innerResult = -1;
    connect(open, &QPushButton::clicked, &outer, [&] {
      QDialog inner(&outer);
      inner.setObjectName("Inner");
      innerResult = inner.exec();
    });
    QString seen;
    test::OnModal("Outer", [&](QWidget* w) {
      test::OnModal("Inner", [&](QWidget* in) {
        seen += in->objectName();
        qobject_cast<QDialog*>(in)->accept();
      });
      seen += w->objectName();
      open->click();
      qobject_cast<QDialog*>(w)->accept();
    });
    QCOMPARE(outer.exec(), int(QDialog::Accepted));
    QCOMPARE(innerResult, int(QDialog::Accepted));
    QCOMPARE(seen, QString("OuterInner"));
  }
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (qEnvironmentVariableIsSet("QEL_FAILING_MODAL")) {
    FailingInModal t;
    return QTest::qExec(&t, argc, argv);
  }
  ModalTest t;
  return QTest::qExec(&t, argc, argv);
}

#include "modal_test.moc"
