#include "about_form.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>

#include "ui_metrics.h"

#ifndef QEL_VERSION
#define QEL_VERSION "0"
#endif

namespace qel {

TQelAboutForm::TQelAboutForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setObjectName("QelAboutForm");
  setWindowTitle("О программе");
  setAttribute(Qt::WA_DeleteOnClose);
  auto label = [this](const char* name, const QString& text) {
    auto* l = new QLabel(text, this);
    l->setObjectName(name);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
  };
  QLabel* title = label("Title", "Talvor");
  QFont big = title->font();
  big.setBold(true);
  big.setPointSizeF(big.pointSizeF() * 1.8);
  title->setFont(big);
  QLabel* web = label("Label1", "https://talvor.example/qel");
  QFont link = web->font();
  link.setBold(true);
  link.setUnderline(true);
  web->setFont(link);
  QLabel* legal = label("Label2", "© Talvor. Все права защищены.");
  QLabel* version = label("Label3", QString("Версия %1").arg(QEL_VERSION));
  QLabel* file = label("Label4", QCoreApplication::applicationFilePath());
  file->setWordWrap(true);
  auto* memo = new QPlainTextEdit(this);
  memo->setObjectName("Memo1");
  memo->setReadOnly(true);
  memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memo->setPlainText(
      "КЕЛ — программа оператора спектрометра электронного парамагнитного резонанса. "
      "Она принимает спектры от спектрометра, показывает, фильтрует и накапливает их "
      "во время приёма, сохраняет их автоматически, управляет развёрткой, усилением и "
      "напряжением коррекции, а также обрабатывает спектр: сглаживание, фильтрация, "
      "выравнивание, интеграл, минимум и максимум, печать.");
  auto* grid = new QGridLayout(this);
  grid->addWidget(title, 0, 0);
  grid->addWidget(web, 1, 0);
  grid->addWidget(legal, 2, 0);
  grid->addWidget(version, 3, 0);
  grid->addWidget(file, 4, 0);
  grid->addWidget(memo, 5, 0);
  grid->setRowStretch(5, 1);
  setFixedSize(Px(392), Px(271));
  // Centred on the desktop, not on the window that opened it.
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

}  // namespace qel
