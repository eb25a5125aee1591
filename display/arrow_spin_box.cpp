#include "arrow_spin_box.h"

#include <QLineEdit>
#include <QStyle>
#include <QToolButton>

namespace qel {

ArrowSpinBox::ArrowSpinBox(Qt::Orientation orientation, QWidget* parent)
    : QSpinBox(parent), orientation_(orientation) {
  height_ = QSpinBox::sizeHint().height();  // as high as an ordinary spin box
  setButtonSymbols(QAbstractSpinBox::NoButtons);
  setFrame(false);
  lineEdit()->hide();
  setFocusPolicy(Qt::NoFocus);  // nothing to type into
  const bool horizontal = orientation == Qt::Horizontal;
  auto button = [this](Qt::ArrowType arrow) {
    auto* b = new QToolButton(this);
    b->setArrowType(arrow);
    b->setAutoRepeat(true);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
  };
  down_ = button(horizontal ? Qt::LeftArrow : Qt::DownArrow);
  up_ = button(horizontal ? Qt::RightArrow : Qt::UpArrow);
  connect(down_, &QToolButton::clicked, this, [this] { stepBy(-1); });
  connect(up_, &QToolButton::clicked, this, [this] { stepBy(1); });
}

QSize ArrowSpinBox::sizeHint() const {
  // Buttons as wide as a scroll bar's arrows.
  const int side = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  return orientation_ == Qt::Horizontal ? QSize(2 * side, height_) : QSize(side, height_);
}

void ArrowSpinBox::resizeEvent(QResizeEvent* event) {
  QSpinBox::resizeEvent(event);
  const int w = width(), h = height();
  if (orientation_ == Qt::Horizontal) {
    down_->setGeometry(0, 0, w / 2, h);
    up_->setGeometry(w / 2, 0, w - w / 2, h);
  } else {
    up_->setGeometry(0, 0, w, h / 2);
    down_->setGeometry(0, h / 2, w, h - h / 2);
  }
}

}  // namespace qel
