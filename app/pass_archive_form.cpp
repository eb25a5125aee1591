#include "pass_archive_form.h"

#include <QVBoxLayout>

#include "dialog_buttons.h"

namespace qel {

TPassArchiveForm::TPassArchiveForm(Settings& s, const std::string& seriesFile, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), s_(s) {
  setObjectName("PassArchiveForm");
  setWindowTitle("Архив проходов");
  archiveBox_ = new QCheckBox("Хранить каждый проход серии накопления в архиве проходов (.qelpass)", this);
  archiveBox_->setObjectName("PassArchiveBox");
  archiveBox_->setChecked(s_.PassArchive);
  auto* note = new QLabel(
      "Архив пишется в папку автосохранения под именем маски с датой и временем начала серии.\n"
      "Включение и выключение действует с начала следующей серии накопления.\n"
      "По архиву команда qel average пересчитывает среднее без выбранных проходов.",
      this);
  note->setObjectName("PassArchiveNote");
  auto* file = new QLabel(seriesFile.empty() ? QString("Текущая серия не записывается в архив.")
                                             : "Текущая серия записывается в файл:\n" +
                                                   QString::fromStdString(seriesFile),
                          this);
  file->setObjectName("SeriesFileLbl");
  file->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(archiveBox_);
  layout->addWidget(note);
  layout->addWidget(file);
  layout->addWidget(OkCancelButtons(this, "Отмена", [this] { s_.PassArchive = archiveBox_->isChecked(); }));
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace qel
