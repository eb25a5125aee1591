// qel-rasterise: the program's images as PNG, for a build whose Qt has no
// SVG support (Windows). Each SVG is drawn with Qt's own SVG renderer, as the
// Linux program draws it, at its size and at twice its size (NAME@2x.png,
// which QIcon takes for screens of twice the density).
//   qel-rasterise OUT-DIR IMAGE.svg...
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: qel-rasterise OUT-DIR IMAGE.svg...\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  for (int i = 2; i < argc; ++i) {
    const QString in = QString::fromLocal8Bit(argv[i]);
    QSvgRenderer svg(in);
    if (!svg.isValid()) {
      std::fprintf(stderr, "qel-rasterise: %s is no SVG image\n", argv[i]);
      return 1;
    }
    const QString base = out + "/" + QFileInfo(in).completeBaseName();
    for (const int scale : {1, 2}) {
      QImage image(svg.defaultSize() * scale, QImage::Format_ARGB32_Premultiplied);
      image.fill(Qt::transparent);
      QPainter p(&image);
      svg.render(&p);
      p.end();
      const QString file = base + (scale == 1 ? ".png" : "@2x.png");
      if (!image.save(file, "PNG")) {
        std::fprintf(stderr, "qel-rasterise: cannot write %s\n", qPrintable(file));
        return 1;
      }
    }
  }
  return 0;
}
