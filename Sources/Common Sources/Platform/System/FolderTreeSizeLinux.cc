// Walks the tree with one open folder descriptor per level and fstatat
// relative to it: no path is ever built, so depth is not limited by the path
// length, and each file costs one system call. Folders are recognised from
// the entry type without a stat of their own. A folder is read whole as soon
// as it is opened, so each level keeps only its descriptor and the names of
// its subfolders, not a directory stream's buffer: a tree nested very deep
// costs little memory.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "Platform/System/FolderTreeSize.h"

namespace corvane {
namespace {

struct Level {
  int fd;
  std::vector<std::string> subfolders;
  size_t next = 0;
};

struct Walk {
  FolderTreeOptions options;
  dev_t device = 0;  // the top folder's, with one_file_system
  // (device, inode) of every file met with more than one name; only those
  // are kept, so the set grows with the hard links, not with the files.
  std::set<std::pair<dev_t, ino_t>> linked;

  bool Counts(const struct stat& st) {
    if (options.one_file_system && st.st_dev != device) return false;
    if (options.hard_links_once && S_ISREG(st.st_mode) && st.st_nlink > 1) {
      return linked.emplace(st.st_dev, st.st_ino).second;
    }
    return true;
  }
};

// Reads a whole folder: adds up its files and links, lists its subfolders.
uint64_t ReadLevel(Walk& walk, Level* level) {
  // The stream gets a descriptor of its own, closed with it.
  int stream_fd = dup(level->fd);
  DIR* dir = stream_fd >= 0 ? fdopendir(stream_fd) : nullptr;
  if (dir == nullptr) {
    if (stream_fd >= 0) close(stream_fd);
    return 0;
  }
  uint64_t total = 0;
  while (dirent* e = readdir(dir)) {
    const char* name = e->d_name;
    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
    unsigned char type = e->d_type;
    if (type == DT_DIR) {
      level->subfolders.emplace_back(name);
      continue;
    }
    if (type != DT_REG && type != DT_LNK && type != DT_UNKNOWN) continue;
    struct stat st;
    if (fstatat(level->fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      level->subfolders.emplace_back(name);
    } else if ((S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) && walk.Counts(st)) {
      total += static_cast<uint64_t>(st.st_size);
    }
  }
  closedir(dir);
  return total;
}

int OpenFolderAt(int parent_fd, const char* name, bool follow) {
  int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW);
  return openat(parent_fd, name, flags);
}

// A mount point is seen only once it is open: the entry's type says nothing
// of it.
bool OnOtherFileSystem(const Walk& walk, int fd) {
  struct stat st;
  return walk.options.one_file_system && (fstat(fd, &st) != 0 || st.st_dev != walk.device);
}

}  // namespace

uint64_t FolderTreeSize(const std::string& folder, FolderTreeOptions options) {
  // The folder itself may be reached through a link (a home folder often
  // is); nothing below it is.
  int root = OpenFolderAt(AT_FDCWD, folder.c_str(), true);
  if (root < 0) return 0;
  Walk walk;
  walk.options = options;
  struct stat root_stat;
  if (fstat(root, &root_stat) != 0) {
    close(root);
    return 0;
  }
  walk.device = root_stat.st_dev;
  uint64_t total = 0;
  std::vector<Level> stack;
  stack.push_back(Level{root, {}});
  total += ReadLevel(walk, &stack.back());
  while (!stack.empty()) {
    Level& top = stack.back();
    if (top.next == top.subfolders.size()) {
      close(top.fd);
      stack.pop_back();
      continue;
    }
    const std::string& name = top.subfolders[top.next++];
    // An unreadable folder (or one replaced by a link meanwhile) adds 0.
    int child = OpenFolderAt(top.fd, name.c_str(), false);
    if (child < 0) continue;
    if (OnOtherFileSystem(walk, child)) {
      close(child);
      continue;
    }
    stack.push_back(Level{child, {}});
    total += ReadLevel(walk, &stack.back());
  }
  return total;
}

}  // namespace corvane
