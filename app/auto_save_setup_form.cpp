#include "auto_save_setup_form.h"

#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "model/atomic_file.h"
#include "model/auto_save.h"
#include "ui_metrics.h"

namespace qel {

TAutoSaveSetupFrm::TAutoSaveSetupFrm(Settings& s, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), s_(s) {
  setObjectName("AutoSaveSetupFrm");
  setWindowTitle("Настройка автоматическго сохранения спектров");
  auto label = [](const char* name, const char* text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
  };

  // Left panel: what is saved and under which names.
  auto* left = new QFrame(this);
  left->setObjectName("LeftPanel");
  left->setFrameStyle(QFrame::Panel | QFrame::Raised);
  onBox_ = new QCheckBox("Включить автоматическое сохранение принимаемых спектров", left);
  onBox_->setObjectName("OnBox");
  saveStep_ = new SpinEdit(left);
  saveStep_->setObjectName("SaveStep");
  saveStep_->setRange(1, 256);
  nameMask_ = new QLineEdit(left);
  nameMask_->setObjectName("NameMask");
  numbMask_ = new SpinEdit(left);
  numbMask_->setObjectName("NumbMask");
  numbMask_->setRange(1, 99999999);
  auto* examGroup = new QGroupBox("Пример имени спектра", left);
  examGroup->setObjectName("ExamGroup");
  exam_ = label("Exam", "", examGroup);
  exam_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  (new QVBoxLayout(examGroup))->addWidget(exam_);

  auto* stepRow = new QHBoxLayout;
  stepRow->addWidget(label("Label1", "Сохранять каждый", left));
  stepRow->addWidget(saveStep_);
  stepRow->addWidget(label("Label2", "спектр", left));
  stepRow->addStretch(1);
  // The mask and the number, each under its label, joined by "+".
  auto* nameGrid = new QGridLayout;
  nameGrid->addWidget(label("Label3", "Шаблон для имени файла сохраняемых спектров", left), 0, 0);
  nameGrid->addWidget(label("Label4", "Стартовый номер", left), 0, 2);
  nameGrid->addWidget(nameMask_, 1, 0);
  nameGrid->addWidget(label("Label5", "+", left), 1, 1);
  nameGrid->addWidget(numbMask_, 1, 2);
  nameGrid->setColumnStretch(0, 1);
  auto* leftColumn = new QVBoxLayout(left);
  leftColumn->addWidget(onBox_);
  leftColumn->addLayout(stepRow);
  leftColumn->addLayout(nameGrid);
  leftColumn->addWidget(examGroup);
  leftColumn->addStretch(1);

  // Right panel: the folder.
  auto* right = new QFrame(this);
  right->setObjectName("RightPanel");
  right->setFrameStyle(QFrame::Panel | QFrame::Raised);
  directory_ = new QLineEdit(right);
  directory_->setObjectName("Directory");
  directory_->setReadOnly(true);
  dirs_ = new QFileSystemModel(this);
  dirs_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
  dirs_->setRootPath("/");
  dirView_ = new QTreeView(right);
  dirView_->setObjectName("DirView");
  dirView_->setModel(dirs_);
  for (int c = 1; c < dirs_->columnCount(); ++c) dirView_->hideColumn(c);
  dirView_->setHeaderHidden(true);
  dirView_->setMinimumSize(Px(300), Px(260));
  info_ = label("Info", "", right);
  info_->setWordWrap(true);
  auto* rightColumn = new QVBoxLayout(right);
  rightColumn->addWidget(label("Label6", "Рабочий каталог для сохрания файлов", right));
  rightColumn->addWidget(directory_);
  rightColumn->addWidget(dirView_, 1);
  rightColumn->addWidget(info_);

  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("OKBtn");
  ok->setDefault(true);
  auto* cancel = new QPushButton("Отмена", this);
  cancel->setObjectName("CancelBtn");
  connect(ok, &QPushButton::clicked, this, &TAutoSaveSetupFrm::OKBtnClick);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* panels = new QHBoxLayout;
  panels->addWidget(left);
  panels->addWidget(right, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* column = new QVBoxLayout(this);
  column->addLayout(panels);
  column->addLayout(buttons);

  // The model reads the folders in the background, and each folder read
  // (then sorted) moves the rows below it: the tree follows the working
  // folder until the operator clicks, scrolls or types in it.
  auto follow = [this] {
    if (following_) dirView_->scrollTo(dirView_->currentIndex(), QAbstractItemView::PositionAtCenter);
  };
  connect(dirs_, &QFileSystemModel::directoryLoaded, this, follow);
  connect(dirs_, &QFileSystemModel::layoutChanged, this, follow);
  dirView_->installEventFilter(this);
  dirView_->viewport()->installEventFilter(this);
  for (QScrollBar* bar : {dirView_->verticalScrollBar(), dirView_->horizontalScrollBar()})
    connect(bar, &QAbstractSlider::actionTriggered, this, [this] { following_ = false; });

  FormShow();
  connect(nameMask_, &QLineEdit::textChanged, this, &TAutoSaveSetupFrm::NameMaskChange);
  connect(numbMask_, &QSpinBox::valueChanged, this, &TAutoSaveSetupFrm::NameMaskChange);
  connect(dirView_->selectionModel(), &QItemSelectionModel::currentChanged, this, &TAutoSaveSetupFrm::DirViewChange);
}

void TAutoSaveSetupFrm::FormShow() {
  const QString dir = QString::fromStdString(s_.WorkDir);
  directory_->setText(dir);
  RefreshInfo();
  onBox_->setChecked(s_.AutoSave);
  nameMask_->setText(QString::fromStdString(s_.NameMask));
  numbMask_->setValue(s_.NumbMask);
  saveStep_->setValue(s_.SaveStep);
  NameMaskChange();
  if (QFileInfo(dir).isDir()) {
    const QModelIndex at = dirs_->index(dir);
    dirView_->setCurrentIndex(at);
    dirView_->scrollTo(at, QAbstractItemView::PositionAtCenter);
    following_ = true;
  }
}

bool TAutoSaveSetupFrm::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type t = event->type();
  if (t == QEvent::MouseButtonPress || t == QEvent::Wheel || t == QEvent::KeyPress) following_ = false;
  return QDialog::eventFilter(watched, event);
}

void TAutoSaveSetupFrm::RefreshInfo() {
  info_->setText(QString::fromStdString(FreeSpaceText(directory_->text().toStdString())));
}

void TAutoSaveSetupFrm::NameMaskChange() {
  exam_->setText(QString::fromStdString(AutoSaveName(nameMask_->text().toStdString(), numbMask_->value())) +
                 ".qel");
}

void TAutoSaveSetupFrm::DirViewChange(const QModelIndex& current) {
  const QString path = dirs_->filePath(current);
  if (path.isEmpty() || !QFileInfo(path).isDir()) return;
  directory_->setText(path);
  RefreshInfo();
}

void TAutoSaveSetupFrm::OKBtnClick() {
  if (onBox_->isChecked()) {
    // The folder becomes the working folder: it must take files now, not
    // first fail at the next pass.
    const std::string reason = FolderWriteProblem(directory_->text().toStdString());
    if (!reason.empty()) {
      QMessageBox box(QMessageBox::Warning, "КЕЛ",
                      QString("В каталог %1 нельзя сохранять спектры: %2")
                          .arg(directory_->text(), QString::fromStdString(reason)),
                      QMessageBox::Ok, this);
      box.setObjectName("AutoSaveErrorBox");
      box.exec();
      return;
    }
    s_.WorkDir = directory_->text().toStdString();
  }
  s_.AutoSave = onBox_->isChecked();
  s_.NameMask = nameMask_->text().toStdString();
  s_.NumbMask = numbMask_->TypedValue();
  s_.SaveStep = saveStep_->TypedValue();
  accept();
}

}  // namespace qel
