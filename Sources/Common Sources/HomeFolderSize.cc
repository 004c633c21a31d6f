#include "HomeFolderSize.h"

#include "Platform/System/FolderTreeSize.h"
#include "Platform/System/UserAccount.h"

namespace corvane {

uint64_t HomeFolderSize() {
  std::string home = HomeFolder();
  return home.empty() ? 0 : FolderTreeSize(home);
}

}  // namespace corvane
