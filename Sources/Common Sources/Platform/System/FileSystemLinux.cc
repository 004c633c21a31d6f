#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "Platform/System/FileDescriptor.h"
#include "Platform/System/FileSystem.h"

namespace corvane {
namespace {

Status PosixError(const std::string& step, const std::string& path, int err) {
  if (err == ENOENT) return Status::NotFound(step + " " + path + ": " + std::strerror(err), err);
  return Status::IOError(step + " " + path + ": " + std::strerror(err), err);
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

Status ReadWholeFile(const std::string& path, size_t max_bytes, std::string* out) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return PosixError("open", path, errno);
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return PosixError("stat", path, errno);
  if (!S_ISREG(st.st_mode)) return Status::InvalidArgument(path + " is not a regular file");
  if (static_cast<uint64_t>(st.st_size) > max_bytes) {
    return Status::InvalidArgument(path + " is larger than " + std::to_string(max_bytes) + " bytes");
  }
  out->clear();
  out->reserve(static_cast<size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      return PosixError("read", path, errno);
    }
    if (n == 0) break;
    if (out->size() + static_cast<size_t>(n) > max_bytes) {
      return Status::InvalidArgument(path + " grew past " + std::to_string(max_bytes) + " bytes");
    }
    out->append(buf, static_cast<size_t>(n));
  }
  return Status::OK();
}

Status WriteFileAtomically(const std::string& path, std::string_view data) {
  return WriteFileAtomically(path, std::span<const std::string_view>(&data, 1));
}

Status WriteFileAtomically(const std::string& path, std::span<const std::string_view> pieces) {
  std::string temp = path + ".tmp.XXXXXX";
  FileDescriptor fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (fd.get() < 0) return PosixError("create temporary for", path, errno);

  auto fail = [&](const char* step) {
    int err = errno;
    ::unlink(temp.c_str());
    return PosixError(step, temp, err);
  };

  struct stat old;
  if (::stat(path.c_str(), &old) == 0) {
    if (::fchmod(fd.get(), old.st_mode & 07777) != 0) return fail("chmod");
    // Only root can give a file away; for anyone else the owner is already
    // the writer, which is what the old file had if they could replace it.
    if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
        ::fchown(fd.get(), old.st_uid, old.st_gid) != 0 && ::geteuid() == 0) {
      return fail("chown");
    }
  } else if (::fchmod(fd.get(), 0644) != 0) {
    return fail("chmod");
  }

  for (std::string_view data : pieces) {
    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
      ssize_t n = ::write(fd.get(), p, left);
      if (n < 0) {
        if (errno == EINTR) continue;
        return fail("write");
      }
      p += n;
      left -= static_cast<size_t>(n);
    }
  }
  if (::fsync(fd.get()) != 0) return fail("fsync");
  if (fd.Close() != 0) return fail("close");
  if (::rename(temp.c_str(), path.c_str()) != 0) return fail("rename");

  FileDescriptor dir(::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0 || ::fsync(dir.get()) != 0) {
    return PosixError("fsync folder of", path, errno);
  }
  return Status::OK();
}

}  // namespace corvane

namespace corvane {

Status CreateFolders(const std::string& path) {
  for (size_t at = 1; at <= path.size(); ++at) {
    if (at != path.size() && path[at] != '/') continue;
    std::string prefix = path.substr(0, at);
    if (::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) {
      return PosixError("mkdir", prefix, errno);
    }
  }
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    return Status::IOError(path + " is not a folder", ENOTDIR);
  }
  return Status::OK();
}

bool ExistsButNotWritable(const std::string& path) {
  if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0) return false;
  return errno != ENOENT && errno != ENOTDIR;
}

}  // namespace corvane
