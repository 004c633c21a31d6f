// Draws the icon of Corvane 5 Admin, the same picture as corvane5-admin.svg
// (a clock face with a parent's key), as corvane5-admin-64.png and
// corvane5-admin-128.png into the folder given as the argument, for desktops
// and Qt builds without an SVG renderer. Run by hand when the icon changes:
//   g++ -std=c++20 -fPIC DrawAdminIcon.cc $(pkg-config --cflags --libs Qt6Gui) -o /tmp/draw-admin
//   /tmp/draw-admin Sources/AdminWindow
#include <QGuiApplication>
#include <QPainterPath>
#include <cmath>

#include "../../Common Sources/tools/IconCanvas.h"

static void DrawIcon(QPainter& p) {
  const QColor blue(47, 111, 184), ink(29, 74, 125), amber(242, 169, 59);

  p.setPen(Qt::NoPen);
  p.setBrush(blue);
  p.drawRoundedRect(QRectF(4, 4, 56, 56), 12, 12);

  // The clock: white face, the used part of the hour in amber, ticks, hands.
  const QPointF c(28, 30);
  p.setBrush(Qt::white);
  p.drawEllipse(c, 17, 17);
  p.setBrush(QColor(amber.red(), amber.green(), amber.blue(), 217));
  p.drawPie(QRectF(c.x() - 17, c.y() - 17, 34, 34), 90 * 16, -127 * 16);
  p.setPen(QPen(ink, 2.5));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(c, 17, 17);
  p.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap));
  for (int i = 0; i < 4; ++i) {
    double a = i * M_PI / 2;
    p.drawLine(QPointF(c.x() + 14.5 * std::sin(a), c.y() - 14.5 * std::cos(a)),
               QPointF(c.x() + 11.5 * std::sin(a), c.y() - 11.5 * std::cos(a)));
  }
  p.setPen(QPen(ink, 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(c, QPointF(28, 20));
  p.drawLine(c, QPointF(35, 34));
  p.setPen(Qt::NoPen);
  p.setBrush(ink);
  p.drawEllipse(c, 2.5, 2.5);

  // The key: a ring, a shaft and its teeth, pointing to the lower left.
  p.setPen(QPen(QColor(138, 100, 0), 1.5));
  p.setBrush(QColor(255, 211, 77));
  p.save();
  p.translate(46, 46);
  p.rotate(45);
  p.drawRoundedRect(QRectF(-2, 4, 4, 10), 1, 1);
  p.drawRect(QRectF(2, 9, 3, 2));  // the teeth
  p.drawRect(QRectF(2, 12, 3, 2));
  p.restore();
  p.drawEllipse(QPointF(46, 46), 7, 7);
  p.setPen(Qt::NoPen);
  p.setBrush(blue);
  p.drawEllipse(QPointF(46, 46), 2.2, 2.2);
}

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  QString folder = argc > 1 ? argv[1] : ".";
  return DrawIconFile(64, 64, folder + "/corvane5-admin-64.png", DrawIcon) &&
                 DrawIconFile(128, 64, folder + "/corvane5-admin-128.png", DrawIcon)
             ? 0
             : 1;
}
