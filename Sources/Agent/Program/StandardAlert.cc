#include "StandardAlert.h"

#include <QAbstractButton>
#include <QMessageBox>

#include "AlertTimers.h"
#include "WarningText.h"

namespace corvane {

void RunStandardAlert(const std::string& message, bool play_alerts_sound, const AlertSetup& setup) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Corvane 5"),
                  QString::fromStdString(message), QMessageBox::Ok);
  box.setInformativeText(QString::fromStdString(ClickToContinueText()));
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  box.setObjectName(QStringLiteral("CorvaneStandardAlert"));
  AlertTimers timers(setup, true, play_alerts_sound, [&box] {
    if (QAbstractButton* button = box.button(QMessageBox::Ok)) button->click();
  });
  box.exec();
}

}  // namespace corvane
