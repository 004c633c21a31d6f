// c5engine: prints, for another program to read, the calling user's disk use
// against the quota and the credit left for the application in front. Every
// argument is echoed as it stands; "-diskStats" and "-timeStats" are each
// followed at once by their report, which starts with the keyword "DATA".
// The exit status is 1 whatever happened, so it tells nothing.
#include <cstdio>
#include <cstring>
#include <string>

#include "AppSettings.h"
#include "FrontApplication.h"
#include "HomeFolderSize.h"
#include "Platform/System/UserAccount.h"
#include "SettingsRequests.h"

namespace corvane {
namespace {

// The full name goes through a 512-byte text buffer.
constexpr size_t kFullNameBuffer = 512;

// At most `limit` bytes, never ending inside a character.
std::string CutAtCharacter(std::string text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

void PrintDataHeader() {
  std::string name = CutAtCharacter(FullUserName(), kFullNameBuffer - 1);
  std::printf("DATA\n%s\n", name.c_str());
}

void DiskReport() {
  PrintDataHeader();
  AppSettings settings;
  FetchAppSettings(ShortUserName(), kGlobalSettingsAppKey, &settings);
  std::fputs(settings.dq_enabled ? "DQ ENABLED\n" : "DQ DISABLED\n", stdout);
  // Both are 32-bit values as the reading program expects them.
  std::printf("%i\n", static_cast<int32_t>(static_cast<uint32_t>(settings.dq_value) * 1024u));
  std::printf("%i\n", static_cast<int32_t>(HomeFolderSize() / 1024));
}

void TimeReport() {
  std::optional<FrontApplication> front = FindFrontApplication();
  std::string key = front && !front->bundle_id.empty() ? front->bundle_id
                                                       : std::string(kComputerAppKey);
  std::string user = ShortUserName();
  AppSettings settings;
  FetchAppSettings(user, key, &settings);
  bool computer = false;
  if (!settings.enabled) {
    FetchAppSettings(user, kComputerAppKey, &settings);
    computer = true;
  }
  PrintDataHeader();
  std::fputs(settings.enabled ? "ENABLED\n" : "DISABLED\n", stdout);
  if (computer) {
    std::fputs("--COMPUTER--\n", stdout);
  } else if (front) {
    // The application's name is for a person watching, not for the reader
    // of standard output.
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", front->name.c_str());
  }
  std::printf("%i\n", settings.credit);
}

}  // namespace
}  // namespace corvane

int main(int argc, char** argv) {
  for (int i = 0; i < argc; ++i) {
    std::fputs(argv[i], stdout);
    if (std::strcmp(argv[i], "-diskStats") == 0) corvane::DiskReport();
    if (std::strcmp(argv[i], "-timeStats") == 0) corvane::TimeReport();
  }
  std::fflush(stdout);
  std::fflush(stderr);
  return 1;
}
