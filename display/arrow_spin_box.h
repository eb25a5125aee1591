#pragma once
// A spin box that shows only its two arrow buttons, stacked (up above down)
// or side by side (left steps down, right steps up). Value, range, step,
// wrapping and valueChanged are the spin box's own; the number is not shown
// and cannot be typed.

#include <QSpinBox>

class QToolButton;

namespace qel {

class ArrowSpinBox : public QSpinBox {
  Q_OBJECT
 public:
  explicit ArrowSpinBox(Qt::Orientation orientation, QWidget* parent = nullptr);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent*) override {}  // the buttons cover the whole box

 private:
  Qt::Orientation orientation_;
  int height_ = 0;
  QToolButton* down_;
  QToolButton* up_;
};

}  // namespace qel
