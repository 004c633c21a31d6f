// The set-up the hand-run icon tools share (Sources/Agent/Program/tools,
// Sources/AdminWindow/tools): a transparent square image, antialiased and
// scaled so the picture is drawn in the units of its design size, saved as
// PNG. Header only, so each tool still builds with one compiler command.
#pragma once

#include <QImage>
#include <QPainter>
#include <QString>

#include <functional>

// Draws a `size`-pixel icon whose picture `draw` paints on a canvas of
// `design` units a side, into `path`; false when it cannot be written.
inline bool DrawIconFile(int size, double design, const QString& path,
                         const std::function<void(QPainter&)>& draw) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / design, size / design);
  draw(p);
  p.end();
  return image.save(path, "PNG");
}
