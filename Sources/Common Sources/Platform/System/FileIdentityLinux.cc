#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "Platform/System/FileIdentity.h"

namespace corvane {
namespace {

FileIdentity FromStat(const struct stat& st) {
  FileIdentity id;
  id.device = st.st_dev;
  id.inode = st.st_ino;
  id.size = static_cast<uint64_t>(st.st_size);
  id.mtime_ns = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  id.ctime_ns = int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
  id.owner = st.st_uid;
  return id;
}

}  // namespace

bool IdentifyFile(const std::string& path, FileIdentity* out) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  *out = FromStat(st);
  return true;
}

bool ReadFileContent(const std::string& path, uint64_t max_bytes, FileIdentity* identity,
                     const std::function<void(const void*, size_t)>& sink) {
  // Non-blocking: a FIFO put where a program should be never stalls the agent.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
            static_cast<uint64_t>(st.st_size) <= max_bytes;
  if (ok) {
    *identity = FromStat(st);
    char buffer[64 * 1024];
    uint64_t total = 0;
    for (;;) {
      ssize_t n = read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ok = n == 0;
        break;
      }
      total += static_cast<uint64_t>(n);
      // A file that grows while it is read is not the file that was examined.
      if (total > identity->size) {
        ok = false;
        break;
      }
      sink(buffer, static_cast<size_t>(n));
    }
  }
  close(fd);
  return ok;
}

}  // namespace corvane
