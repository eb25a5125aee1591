// The program's images in the Windows build, whose Qt has no SVG support:
// drawn to PNG at build time, they are all in the resources, at their size
// and at twice it, and not blank.
#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <gtest/gtest.h>

#include "app/action_table.h"

namespace qel {
namespace {

int Drawn(const QImage& image) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) n += qAlpha(image.pixel(x, y)) > 0;
  return n;
}

TEST(WinImages, EveryImageIsThereAtBothSizes) {
  for (int i = 0; i < ImageCount; ++i) {
    const QIcon icon = QelImage(i);
    ASSERT_FALSE(icon.isNull()) << i;
    const QImage small = icon.pixmap(QSize(16, 16), 1.0).toImage();
    EXPECT_EQ(small.size(), QSize(16, 16)) << i;
    EXPECT_GT(Drawn(small), 10) << i;
    // The larger one is its own drawing, not the small one scaled up.
    const QImage large(QString(":/images/%1@2x.png").arg(i, 2, 10, QChar('0')));
    EXPECT_EQ(large.size(), QSize(32, 32)) << i;
    EXPECT_GT(Drawn(large), 2 * Drawn(small)) << i;
  }
  EXPECT_TRUE(QelImage(ImageCount).isNull());
}

}  // namespace
}  // namespace qel

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
