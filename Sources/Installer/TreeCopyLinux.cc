#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <list>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "Platform/System/FileDescriptor.h"
#include "TreeCopy.h"

namespace corvane {
namespace {

// Large enough that a big program copies in a few dozen system calls, small
// enough that the engine stays light.
constexpr size_t kCopyBufferBytes = 256 * 1024;
// The flags that make an object unchangeable ("locked").
constexpr int kLockFlags = FS_IMMUTABLE_FL | FS_APPEND_FL;

using Fd = FileDescriptor;

struct DirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
};

int LastError() { return errno != 0 ? -errno : -EIO; }

std::string StripTrailingSlashes(std::string path) {
  // "dir/" would make lstat follow a link named dir; the link itself is meant.
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string LastComponent(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderPart(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

int GetLockFlags(int fd) {
  int flags = 0;
  if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) return 0;
  return flags & kLockFlags;
}

void ClearLockFlags(int fd) {
  int flags = 0;
  if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0 || (flags & kLockFlags) == 0) return;
  flags &= ~kLockFlags;
  ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
}

void SetLockFlags(int fd, int lock_flags) {
  int flags = 0;
  if (lock_flags == 0 || ::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) return;
  flags |= lock_flags;
  // Best effort: file systems without these flags, or a process without the
  // capability, keep the copy unlocked but otherwise complete.
  ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
}

// Copies every extended attribute. Those outside the "user." namespace may
// be refused by the destination (security labels, ACLs on a file system
// without them); the copy is then still good, so only "user." failures count.
int CopyExtendedAttributes(int from, int to) {
  ssize_t size = ::flistxattr(from, nullptr, 0);
  if (size < 0) return (errno == ENOTSUP || errno == EOPNOTSUPP) ? 0 : LastError();
  if (size == 0) return 0;
  std::vector<char> names(static_cast<size_t>(size));
  size = ::flistxattr(from, names.data(), names.size());
  if (size < 0) return LastError();
  std::vector<char> value;
  for (size_t at = 0; at < static_cast<size_t>(size);) {
    const char* name = names.data() + at;
    at += std::strlen(name) + 1;
    ssize_t length = ::fgetxattr(from, name, nullptr, 0);
    if (length < 0) continue;  // removed meanwhile
    value.resize(static_cast<size_t>(length) + 1);
    length = ::fgetxattr(from, name, value.data(), value.size());
    if (length < 0) continue;
    if (::fsetxattr(to, name, value.data(), static_cast<size_t>(length), 0) != 0 &&
        std::strncmp(name, "user.", 5) == 0) {
      return LastError();
    }
  }
  return 0;
}

int WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return 0;
}

// The whole length is reserved first so that a full disk shows before any
// byte is written rather than halfway through.
int CopyData(int from, int to, off_t length, char* buffer) {
  if (length > 0) {
    int err = ::posix_fallocate(to, 0, length);
    if (err != 0) return -err;
  }
  for (;;) {
    ssize_t n = ::read(from, buffer, kCopyBufferBytes);
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    if (n == 0) break;
    if (int r = WriteAll(to, buffer, static_cast<size_t>(n)); r != 0) return r;
  }
  // A source that shrank while being read must not leave reserved zeros.
  off_t end = ::lseek(to, 0, SEEK_CUR);
  if (end >= 0 && end < length && ::ftruncate(to, end) != 0) return LastError();
  return 0;
}

// Owner and group first: changing them clears set-user-id bits, which the
// mode then restores. Without the right to give the copy away it stays the
// copier's, as with "cp -p". Times last but the lock, which forbids them.
int ApplyMetadata(int fd, const struct stat& st, int lock_flags, bool drop_box) {
  if (::fchown(fd, st.st_uid, st.st_gid) != 0 && errno != EPERM) return LastError();
  if (!drop_box && ::fchmod(fd, st.st_mode & 07777) != 0) return LastError();
  struct timespec times[2] = {st.st_atim, st.st_mtim};
  if (::futimens(fd, times) != 0) return LastError();
  if (!drop_box) SetLockFlags(fd, lock_flags);
  return 0;
}

struct CopyContext {
  char* buffer;
  bool drop_box;
};

int CopyRegularFile(const std::string& source, const struct stat& st, int folder_fd,
                    const std::string& name, const CopyContext& ctx) {
  Fd in(::open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!in.valid()) return LastError();
  // Owner read/write/execute while the data goes in, whatever the final mode.
  Fd out(::openat(folder_fd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                  0700));
  if (!out.valid()) return errno == EEXIST ? kNameExistsError : LastError();
  int r = CopyData(in.get(), out.get(), st.st_size, ctx.buffer);
  if (r == 0) r = CopyExtendedAttributes(in.get(), out.get());
  if (r == 0) r = ApplyMetadata(out.get(), st, GetLockFlags(in.get()), ctx.drop_box);
  if (r != 0) ::unlinkat(folder_fd, name.c_str(), 0);
  return r;
}

int CopyLink(const std::string& source, const struct stat& st, int folder_fd,
             const std::string& name) {
  std::vector<char> target(static_cast<size_t>(st.st_size) + 2);
  ssize_t n = ::readlink(source.c_str(), target.data(), target.size());
  if (n < 0) return LastError();
  if (static_cast<size_t>(n) >= target.size()) return -ENAMETOOLONG;  // changed meanwhile
  target[static_cast<size_t>(n)] = '\0';
  if (::symlinkat(target.data(), folder_fd, name.c_str()) != 0) {
    return errno == EEXIST ? kNameExistsError : LastError();
  }
  if (::fchownat(folder_fd, name.c_str(), st.st_uid, st.st_gid, AT_SYMLINK_NOFOLLOW) != 0 &&
      errno != EPERM) {
    return LastError();
  }
  struct timespec times[2] = {st.st_atim, st.st_mtim};
  if (::utimensat(folder_fd, name.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) return LastError();
  return 0;
}

// Pipes, sockets and device nodes: recreated, not read.
int CopySpecial(const struct stat& st, int folder_fd, const std::string& name) {
  if (::mknodat(folder_fd, name.c_str(), (st.st_mode & S_IFMT) | 0600, st.st_rdev) != 0) {
    return errno == EEXIST ? kNameExistsError : LastError();
  }
  if (::fchownat(folder_fd, name.c_str(), st.st_uid, st.st_gid, AT_SYMLINK_NOFOLLOW) != 0 &&
      errno != EPERM) {
    return LastError();
  }
  if (::fchmodat(folder_fd, name.c_str(), st.st_mode & 07777, 0) != 0) return LastError();
  struct timespec times[2] = {st.st_atim, st.st_mtim};
  if (::utimensat(folder_fd, name.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) return LastError();
  return 0;
}

// A folder whose own metadata is applied once everything inside is in
// place: entries added later would change its times, and a read-only mode
// would refuse them.
struct FinishedFolder {
  std::string path;
  struct stat st;
  int lock_flags;
};

// Creates the copy of one folder with owner access and its attributes.
int MakeFolderCopy(const std::string& source, int folder_fd, const std::string& name,
                   const struct stat& st, std::vector<FinishedFolder>* finished,
                   const std::string& new_path) {
  if (::mkdirat(folder_fd, name.c_str(), 0700) != 0) {
    return errno == EEXIST ? kNameExistsError : LastError();
  }
  Fd in(::open(source.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  Fd out(::openat(folder_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!out.valid()) return LastError();
  int lock_flags = 0;
  if (in.valid()) {
    lock_flags = GetLockFlags(in.get());
    if (int r = CopyExtendedAttributes(in.get(), out.get()); r != 0) return r;
  }
  finished->push_back({new_path, st, lock_flags});
  return 0;
}

int CopyEntry(const std::string& source, const struct stat& st, int folder_fd,
              const std::string& name, const CopyContext& ctx) {
  if (S_ISREG(st.st_mode)) return CopyRegularFile(source, st, folder_fd, name, ctx);
  if (S_ISLNK(st.st_mode)) return CopyLink(source, st, folder_fd, name);
  return CopySpecial(st, folder_fd, name);
}

struct PendingFolder {
  std::string source;
  std::string copy;
};

// Lists one folder and copies its entries; its sub-folders are created at
// once and queued right after it, so the walk goes depth first in listing
// order. Returns a listing error; entries that fail are skipped.
int CopyFolderEntries(std::list<PendingFolder>& work, std::list<PendingFolder>::iterator current,
                      const CopyContext& ctx, std::vector<FinishedFolder>* finished) {
  Fd source_fd(::open(current->source.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!source_fd.valid()) return errno == EACCES ? 0 : LastError();  // unreadable: copied empty
  Fd copy_fd(::open(current->copy.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!copy_fd.valid()) return LastError();
  std::unique_ptr<DIR, DirCloser> dir(::fdopendir(::dup(source_fd.get())));
  if (!dir) return LastError();
  auto insert_at = std::next(current);
  for (;;) {
    errno = 0;
    struct dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) return errno == 0 || errno == EACCES ? 0 : LastError();
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    if (::fstatat(source_fd.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    std::string source = current->source + "/" + name;
    std::string copy = current->copy + "/" + name;
    if (S_ISDIR(st.st_mode)) {
      if (MakeFolderCopy(source, copy_fd.get(), name, st, finished, copy) == 0) {
        work.insert(insert_at, {source, copy});
      }
    } else {
      CopyEntry(source, st, copy_fd.get(), name, ctx);
    }
  }
}

int CopyFolder(const std::string& source, const struct stat& st, int folder_fd,
               const std::string& name, const std::string& new_path, const CopyContext& ctx) {
  std::vector<FinishedFolder> finished;
  int r = MakeFolderCopy(source, folder_fd, name, st, &finished, new_path);
  if (r != 0) return r;
  std::list<PendingFolder> work{{source, new_path}};
  for (auto it = work.begin(); it != work.end(); ++it) {
    int listing = CopyFolderEntries(work, it, ctx, &finished);
    if (listing != 0 && r == 0) r = listing;
  }
  // Deepest first, the top folder last: finishing a folder touches nothing
  // above it.
  for (auto f = finished.rbegin(); f != finished.rend(); ++f) {
    Fd fd(::open(f->path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    int applied = fd.valid() ? ApplyMetadata(fd.get(), f->st, f->lock_flags, ctx.drop_box) : LastError();
    if (f + 1 == finished.rend() && applied != 0 && r == 0) r = applied;
  }
  return r;
}

// Walks up from the destination through its parents: finding the source on
// the way means the copy would land inside itself.
bool LiesInside(const std::string& destination_folder, const struct stat& source) {
  std::string path = destination_folder;
  struct stat st;
  for (int depth = 0; depth < 4096; ++depth) {
    if (::stat(path.c_str(), &st) != 0) return false;
    if (st.st_dev != source.st_dev) return false;  // another volume
    if (st.st_ino == source.st_ino) return true;
    struct stat parent;
    std::string up = path + "/..";
    if (::stat(up.c_str(), &parent) != 0) return false;
    if (parent.st_dev == st.st_dev && parent.st_ino == st.st_ino) return false;  // the root
    path = std::move(up);
  }
  return false;
}

int DeleteAt(int folder_fd, const std::string& name, const struct stat& st);

int DeleteContents(int fd) {
  std::vector<std::string> names;
  {
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(::dup(fd)));
    if (!dir) return LastError();
    while (struct dirent* entry = ::readdir(dir.get())) {
      if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
        names.emplace_back(entry->d_name);
      }
    }
  }
  for (const std::string& name : names) {
    struct stat st;
    if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT) continue;
      return LastError();
    }
    if (int r = DeleteAt(fd, name, st); r != 0) return r;
  }
  return 0;
}

// Everything is reached through the folder's descriptor and opened with
// O_NOFOLLOW: a link inside the tree is removed as a link, and one swapped
// in for a folder meanwhile cannot lead the deletion out of the tree.
int DeleteAt(int folder_fd, const std::string& name, const struct stat& st) {
  if (S_ISDIR(st.st_mode)) {
    Fd fd(::openat(folder_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.valid()) {
      ClearLockFlags(fd.get());
      if ((st.st_mode & 0700) != 0700) ::fchmod(fd.get(), (st.st_mode & 07777) | 0700);
      DeleteContents(fd.get());  // a failure shows as "not empty" below
    }
    if (::unlinkat(folder_fd, name.c_str(), AT_REMOVEDIR) != 0) return LastError();
    return 0;
  }
  if (::unlinkat(folder_fd, name.c_str(), 0) == 0) return 0;
  // A locked file refuses with EPERM; unlock it only then, which spares an
  // open per file in the common case.
  if (errno != EPERM || !S_ISREG(st.st_mode)) return LastError();
  {
    Fd fd(::openat(folder_fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.valid()) ClearLockFlags(fd.get());
  }
  if (::unlinkat(folder_fd, name.c_str(), 0) != 0) return LastError();
  return 0;
}

}  // namespace

int CopyObject(const std::string& source_in, const std::string& destination_folder,
               std::string* new_path) {
  if (source_in.empty() || destination_folder.empty()) return kBadArgumentError;
  std::string source = StripTrailingSlashes(source_in);
  std::string name = LastComponent(source);
  if (name.empty() || name == "." || name == "..") return kBadArgumentError;
  struct stat st;
  if (::lstat(source.c_str(), &st) != 0) return LastError();
  struct stat dest;
  if (::stat(destination_folder.c_str(), &dest) != 0) return LastError();
  if (!S_ISDIR(dest.st_mode)) return kNotAFolderError;
  // Others may write and enter but not list: the copy cannot be read back.
  bool drop_box = (dest.st_mode & 07) == 03;
  if (S_ISDIR(st.st_mode) && LiesInside(destination_folder, st)) return kCopyIntoItselfError;

  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kCopyBufferBytes]);
  if (!buffer) return kOutOfMemoryError;
  CopyContext ctx{buffer.get(), drop_box};
  Fd folder_fd(::open(destination_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder_fd.valid()) return LastError();
  std::string copy = StripTrailingSlashes(destination_folder) + "/" + name;
  int r = S_ISDIR(st.st_mode) ? CopyFolder(source, st, folder_fd.get(), name, copy, ctx)
                              : CopyEntry(source, st, folder_fd.get(), name, ctx);
  if (r == 0 && new_path != nullptr) *new_path = copy;
  return r;
}

int DeleteObject(const std::string& path_in) {
  if (path_in.empty()) return kBadArgumentError;
  std::string path = StripTrailingSlashes(path_in);
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return LastError();
  Fd folder_fd(::open(FolderPart(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder_fd.valid()) return LastError();
  return DeleteAt(folder_fd.get(), LastComponent(path), st);
}

int SyncFolder(const std::string& path) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid() || ::fsync(fd.get()) != 0) return LastError();
  return 0;
}

}  // namespace corvane
