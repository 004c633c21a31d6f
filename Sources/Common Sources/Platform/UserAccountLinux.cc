#include <pwd.h>
#include <unistd.h>

#include <vector>

#include "Platform/UserAccount.h"

namespace corvane {
namespace {

struct AccountEntry {
  std::string name;
  std::string gecos;
  std::string home;
};

bool LookUpAccount(AccountEntry* entry) {
  std::vector<char> buffer(16384);
  passwd pw{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &pw, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
    return false;
  }
  entry->name = pw.pw_name != nullptr ? pw.pw_name : "";
  entry->gecos = pw.pw_gecos != nullptr ? pw.pw_gecos : "";
  entry->home = pw.pw_dir != nullptr ? pw.pw_dir : "";
  return true;
}

}  // namespace

std::string ShortUserName() {
  AccountEntry e;
  return LookUpAccount(&e) ? e.name : std::string();
}

std::string FullUserName() {
  AccountEntry e;
  if (!LookUpAccount(&e)) return std::string();
  std::string full = e.gecos.substr(0, e.gecos.find(','));
  return full.empty() ? e.name : full;
}

std::string HomeFolder() {
  AccountEntry e;
  return LookUpAccount(&e) ? e.home : std::string();
}

}  // namespace corvane
