#pragma once
// Modal dialogs driven from a case. A dialog's exec() runs an event loop of
// its own, so the case acts on the dialog from a callback, and QVERIFY and
// QCOMPARE in a callback return only from the callback: the dialog would
// stay open and the case wait for it until the binary's time-out. Here a
// check that fails in a callback closes every modal widget there is, and
// every one that opens later in the same case is closed as it shows, so the
// case ends failed at once.

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <utility>

namespace qel::test {

// Closes one modal widget: a dialog is rejected (a message box without an
// escape button refuses to be closed), anything else closed and hidden.
inline void CloseModal(QWidget* w) {
  if (auto* d = qobject_cast<QDialog*>(w)) {
    d->reject();
  } else {
    w->close();
    w->hide();
  }
}

// Closes every modal widget, innermost first: the exec() calls waiting for
// them return as their loops come round.
inline void CloseModals() {
  for (int i = 0; i < 100; ++i) {
    QWidget* w = QApplication::activeModalWidget();
    if (!w) return;
    CloseModal(w);
    if (QApplication::activeModalWidget() == w) return;  // it will not go
  }
}

namespace detail {

// Once the case has failed, each modal widget that shows is closed again.
class FailedCaseCloser : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Show || !QTest::currentTestFailed()) return false;
    auto* w = qobject_cast<QWidget*>(watched);
    if (w && w->isWindow() && w->isModal())
      QMetaObject::invokeMethod(
          w, [w = QPointer<QWidget>(w)] { if (w && w->isVisible()) CloseModal(w); }, Qt::QueuedConnection);
    return false;
  }
};

inline void WatchFailedCases() {
  static FailedCaseCloser* closer = [] {
    auto* c = new FailedCaseCloser;
    QCoreApplication::instance()->installEventFilter(c);
    return c;
  }();
  (void)closer;
}

inline QString CaseName() {
  return QString(QTest::currentTestFunction()) + "/" + QString(QTest::currentDataTag());
}

}  // namespace detail

// Runs `act` on the next modal widget once it is open, or, with a name, on
// the next one of that objectName. The event loop is looked at again and
// again until it is there; when it does not come, the case fails and every
// modal widget is closed. A check that fails in `act` closes every modal
// widget; so does a dialog that `act` leaves open (which fails the case).
template <typename Fn>
void OnModal(const QString& name, Fn act) {
  detail::WatchFailedCases();
  auto* timer = new QTimer;
  auto turns = std::make_shared<int>(0);
  const QString owner = detail::CaseName();
  QObject::connect(timer, &QTimer::timeout, [timer, turns, owner, name, act = std::move(act)]() mutable {
    if (detail::CaseName() != owner) {  // the case ended without its dialog
      timer->deleteLater();
      qWarning("%s: no modal dialog %s came", qPrintable(owner), qPrintable(name));
      return;
    }
    QPointer<QWidget> w = QApplication::activeModalWidget();
    if (!w || (!name.isEmpty() && w->objectName() != name)) {
      if (++*turns < 10000) return;
      timer->deleteLater();
      CloseModals();
      QTest::qFail(qPrintable("no modal dialog " + (name.isEmpty() ? QString("opened") : name)), __FILE__, __LINE__);
      return;
    }
    timer->stop();
    timer->deleteLater();
    act(w.data());
    if (QTest::currentTestFailed()) {
      CloseModals();
    } else if (auto* d = qobject_cast<QDialog*>(w.data()); d && d->isVisible()) {
      CloseModals();
      const QString shown = w->objectName().isEmpty() ? QString(w->metaObject()->className()) : w->objectName();
      QTest::qFail(qPrintable(shown + " left open"), __FILE__, __LINE__);
    }
  });
  timer->start(0);
}

template <typename Fn>
void OnModal(Fn act) {
  OnModal(QString(), std::move(act));
}

}  // namespace qel::test
