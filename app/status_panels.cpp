#include "status_panels.h"

#include <QLabel>

namespace qel {

StatusPanels::StatusPanels(QObject* parent) : QObject(parent), pacer_([this] { Show(); }) {}

void StatusPanels::SetLabels(std::vector<QLabel*> labels) { labels_ = std::move(labels); }

void StatusPanels::Set(int panel, const QString& text) {
  if (panel < 0 || panel >= Count || texts_[static_cast<std::size_t>(panel)] == text) return;
  texts_[static_cast<std::size_t>(panel)] = text;
  pacer_.Changed();
}

QString StatusPanels::Text(int panel) const {
  return panel >= 0 && panel < Count ? texts_[static_cast<std::size_t>(panel)] : QString();
}

void StatusPanels::Show() {
  for (std::size_t i = 0; i < labels_.size() && i < texts_.size(); ++i) {
    if (labels_[i]->text() == texts_[i]) continue;
    labels_[i]->setText(texts_[i]);
    labels_[i]->setToolTip(texts_[i]);  // a longer link text can still be read whole
    ++writes_;
  }
  emit Shown();
}

}  // namespace qel
