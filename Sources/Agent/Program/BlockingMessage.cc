#include "BlockingMessage.h"

#include "FullScreenCover.h"
#include "Localization.h"
#include "TickTimer.h"

namespace corvane {
namespace {

constexpr double kTickRestartSeconds = 1.0;

}  // namespace

bool IsBlockingMessageShown(const std::string& text) {
  QString message = QString::fromStdString(LocalizedString(text.c_str()));
  for (FullScreenCover* cover : FullScreenCover::OpenCovers()) {
    if (cover->Text() == message) return true;
  }
  return false;
}

void ShowBlockingMessage(const std::string& text, const BlockingMessageOptions& options,
                         TickTimer* tick) {
  // An empty key would look up the catalogue's header.
  QString message = text.empty() ? QString() : QString::fromStdString(LocalizedString(text.c_str()));
  if (tick != nullptr) tick->Pause();
  {
    FullScreenCover cover(kBlockingMessageLook, [message] { return message; }, options.setup,
                          options.with_timers && options.auto_hide_alerts,
                          options.with_timers && options.play_alerts_sound);
    cover.Run();
  }
  if (tick != nullptr) tick->Resume(kTickRestartSeconds);
}

void EndAllBlockingMessages() {
  for (FullScreenCover* cover : FullScreenCover::OpenCovers()) cover->End();
}

void LockComputer(TickTimer* tick, const AlertSetup& setup) {
  BlockingMessageOptions options;
  options.setup = setup;
  ShowBlockingMessage("This computer is locked", options, tick);
}

}  // namespace corvane
