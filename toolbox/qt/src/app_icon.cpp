// app_icon.cpp - the application icon, rendered from the scalable picture compiled into the program.
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#include "app_icon_svg.hpp"
#include "vantorelle/toolbox/qt_desktop.hpp"

namespace vantorelle::toolbox {

QIcon ApplicationIcon() {
  QSvgRenderer renderer{QByteArray(kApplicationIconSvg)};
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64, 96, 128, 256}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace vantorelle::toolbox
