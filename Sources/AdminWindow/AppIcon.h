// The icon of an application, an account or a child: the desktop theme's
// when it has one, else one the style always draws.
#pragma once

#include <QApplication>
#include <QIcon>
#include <QStyle>
#include <string>

namespace corvane::admin {

inline QIcon AppIcon(const std::string& name) {
  QStyle* style = QApplication::style();
  QStyle::StandardPixmap fallback = name == "computer"         ? QStyle::SP_ComputerIcon
                                    : name == "drive-harddisk" ? QStyle::SP_DriveHDIcon
                                    : name == "user-identity"  ? QStyle::SP_DirHomeIcon
                                                               : QStyle::SP_FileIcon;
  QString n = QString::fromStdString(name);
  if (n.startsWith('/')) return QIcon(n);
  return QIcon::fromTheme(n, style->standardIcon(fallback));
}

}  // namespace corvane::admin
