// SPDX-License-Identifier: Apache-2.0
// Renders one SVG drawing to a PNG at its own size or at a given size, times a whole scale for the variants a
// scaled window takes ("name@2x.png"); the build runs it for every picture.
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextStream>

int main(int argc, char* argv[]) {
  QGuiApplication application(argc, argv);
  QStringList arguments = application.arguments();
  QTextStream errors(stderr);
  int scale = 1;
  if (arguments.size() > 3 && arguments.last().startsWith(QLatin1Char('@'))) {
    scale = arguments.takeLast().mid(1).toInt();
  }
  if ((arguments.size() != 3 && arguments.size() != 5) || scale < 1 || scale > 4) {
    errors << "usage: kelvo-svg-render <input.svg> <output.png> [<width> <height>] [@<scale 1 to 4>]\n";
    return 2;
  }
  QSvgRenderer renderer(arguments.at(1));
  if (!renderer.isValid()) {
    errors << "cannot read " << arguments.at(1) << "\n";
    return 1;
  }
  QSize size = renderer.defaultSize();
  if (arguments.size() == 5) size = QSize(arguments.at(3).toInt(), arguments.at(4).toInt());
  if (size.isEmpty()) {
    errors << "no size for " << arguments.at(1) << "\n";
    return 1;
  }
  size *= scale;
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  renderer.render(&painter);
  painter.end();
  QDir().mkpath(QFileInfo(arguments.at(2)).absolutePath());
  if (!image.save(arguments.at(2), "PNG")) {
    errors << "cannot write " << arguments.at(2) << "\n";
    return 1;
  }
  return 0;
}
