// Draws the status item's eye, eye.png (22x22) and eye@2x.png (44x44), into
// the folder given as the argument. Run by hand when the icon changes:
//   g++ -std=c++20 -fPIC DrawEyeIcon.cc $(pkg-config --cflags --libs Qt6Gui) -o /tmp/draw-eye
//   /tmp/draw-eye Sources/Agent/Program
#include <QPainterPath>

#include "../../../Common Sources/tools/IconCanvas.h"

static void DrawEye(QPainter& p) {
  // The almond of the eye: two arcs meeting at the corners.
  QPainterPath almond;
  almond.moveTo(1.5, 11);
  almond.cubicTo(5.5, 3.5, 16.5, 3.5, 20.5, 11);
  almond.cubicTo(16.5, 18.5, 5.5, 18.5, 1.5, 11);
  p.setPen(QPen(QColor(40, 40, 48), 1.6));
  p.setBrush(QColor(250, 250, 250));
  p.drawPath(almond);

  p.setClipPath(almond);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(45, 95, 200));  // iris
  p.drawEllipse(QPointF(11, 11), 4.6, 4.6);
  p.setBrush(QColor(15, 15, 20));  // pupil
  p.drawEllipse(QPointF(11, 11), 2.1, 2.1);
  p.setBrush(QColor(255, 255, 255, 230));  // catch-light
  p.drawEllipse(QPointF(12.4, 9.6), 0.9, 0.9);
}

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const QString folder = QString::fromLocal8Bit(argv[1]);
  return DrawIconFile(22, 22, folder + "/eye.png", DrawEye) &&
                 DrawIconFile(44, 22, folder + "/eye@2x.png", DrawEye)
             ? 0
             : 1;
}
