#include "core/SafeSave.h"

#include <system_error>

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "core/WriteAll.h"

namespace velk {

namespace {

namespace fs = std::filesystem;
using Status = SaveError::Status;
using Saved = Result<void, SaveError>;

Unexpected<SaveError> Refused(Status status, int error = 0) {
  return Unexpected(SaveError{status, error});
}

// The kernel's rule for links in a sticky, world-writable folder (such as /tmp): follow one
// only when this user or the folder's owner owns it, so nobody can plant a link there that
// turns our save into a write to their choice of file.
bool MayFollow(const fs::path& link, const struct stat& linkStat) {
  const fs::path folder = link.has_parent_path() ? link.parent_path() : fs::path(".");
  struct stat dir {};
  if (::stat(folder.c_str(), &dir) != 0) return false;
  if ((dir.st_mode & (S_ISVTX | S_IWOTH)) != (S_ISVTX | S_IWOTH)) return true;
  return linkStat.st_uid == ::geteuid() || linkStat.st_uid == dir.st_uid;
}

// Follows the chain of links to the file they name, so the links stay and that file is
// written; a dangling link names the file to create. `target` is left on the first name that
// is not a link; `named` holds its lstat when `exists`.
int ResolveLinks(const fs::path& file, fs::path& target, struct stat& named, bool& exists) {
  target = file;
  for (int hop = 0; hop <= 40; ++hop) {
    // Whatever hides the name (a missing or unreadable folder) is reported by the creation.
    if (::lstat(target.c_str(), &named) != 0) {
      exists = false;
      return 0;
    }
    exists = true;
    if (!S_ISLNK(named.st_mode)) return 0;
    if (!MayFollow(target, named)) return EACCES;
    std::string next(4096, '\0');
    const ssize_t n = ::readlink(target.c_str(), next.data(), next.size());
    if (n < 0) return errno;
    if (static_cast<size_t>(n) >= next.size()) return ENAMETOOLONG;
    next.resize(static_cast<size_t>(n));
    target = fs::path(next).is_absolute() ? fs::path(next) : target.parent_path() / next;
  }
  return ELOOP;
}

// Leaves errno set on failure, as the other calls here do.
bool WroteAll(int fd, std::string_view bytes) {
  const int error = WriteAll(fd, bytes);
  if (error != 0) errno = error;
  return error == 0;
}

// Creates "<target>.XXXXXX" exclusively, never through a link; a name taken is tried again.
// The mode goes through the umask (and a folder's default ACL) as any new file's does.
int CreateBeside(const fs::path& target, mode_t mode, std::string& name) {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned char random[6] = {};
    if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return -1;
    name = target.string() + '.';
    for (const unsigned char byte : random) name += kLetters[byte % (sizeof kLetters - 1)];
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

bool FolderRefuses(int error) {
  return error == EACCES || error == EPERM || error == EROFS;
}

enum class Replaced { Done, Failed, NotHere };

// Writes the content to a new file beside the target and renames it over the target. For a
// new file, or one this user owns with no other link, so the rename keeps what the file was.
// NotHere (the target untouched) when no file can be made beside it or it cannot be given
// the old file's group and mode.
Replaced ReplaceByRename(const fs::path& target, const struct stat* old, std::string_view content,
                         int& error) {
  std::string temporary;
  const int fd = CreateBeside(target, old != nullptr ? 0600 : 0666, temporary);
  if (fd < 0) {
    error = errno;
    return Replaced::NotHere;
  }
  const auto drop = [&](Replaced how) {
    error = errno;
    ::close(fd);
    ::unlink(temporary.c_str());
    return how;
  };
  if (old != nullptr && (::fchown(fd, static_cast<uid_t>(-1), old->st_gid) != 0 ||
                         ::fchmod(fd, old->st_mode & 07777) != 0))
    return drop(Replaced::NotHere);
  if (!WroteAll(fd, content) || ::fsync(fd) != 0) return drop(Replaced::Failed);
  if (::close(fd) != 0 || std::rename(temporary.c_str(), target.c_str()) != 0) {
    error = errno;
    ::unlink(temporary.c_str());
    return Replaced::Failed;
  }
  return Replaced::Done;
}

// Writes the content over the file's own bytes, so its owner, mode and other links stay. The
// space is reserved first: a full disk then fails before any old byte is overwritten.
Saved RewriteInPlace(const fs::path& target, const struct stat* old, std::string_view content) {
  const int flags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  const int fd = old != nullptr ? ::open(target.c_str(), flags)
                                : ::open(target.c_str(), flags | O_CREAT | O_EXCL, 0666);
  if (fd < 0) {
    const int error = errno;
    if (old == nullptr && FolderRefuses(error)) return Refused(Status::FolderNotWritable, error);
    return Refused(Status::Failed, error);
  }
  const auto finish = [&](Saved outcome) {
    if (::close(fd) != 0 && outcome) return Saved(Refused(Status::Failed, errno));
    return outcome;
  };
  struct stat opened {};
  if (::fstat(fd, &opened) != 0) return finish(Refused(Status::Failed, errno));
  if (!S_ISREG(opened.st_mode) ||
      (old != nullptr && (opened.st_dev != old->st_dev || opened.st_ino != old->st_ino)))
    return finish(Refused(Status::NotRegular));

  if (!content.empty()) {
    const int reserved = ::fallocate(fd, 0, 0, static_cast<off_t>(content.size()));
    if (reserved != 0 && errno != EOPNOTSUPP && errno != ENOSYS) {
      const int reason = errno;
      // A reservation that failed half way may have grown the file; the old bytes are whole.
      [[maybe_unused]] const int cut = ::ftruncate(fd, opened.st_size);
      return finish(Refused(Status::Failed, reason));
    }
  }
  if (!WroteAll(fd, content) || ::ftruncate(fd, static_cast<off_t>(content.size())) != 0 ||
      ::fsync(fd) != 0)
    return finish(Refused(Status::Failed, errno));
  return finish(Saved());
}

}  // namespace

Saved SaveFileSafely(const fs::path& file, std::string_view content) {
  if (file.empty()) return Refused(Status::Failed, ENOENT);
  fs::path target;
  struct stat old {};
  bool exists = false;
  if (const int error = ResolveLinks(file, target, old, exists); error != 0)
    return Refused(Status::Failed, error);

  if (!exists) {
    int error = 0;
    switch (ReplaceByRename(target, nullptr, content, error)) {
      case Replaced::Done:
        return {};
      case Replaced::Failed:
        return Refused(Status::Failed, error);
      case Replaced::NotHere:
        break;
    }
    if (FolderRefuses(error)) return Refused(Status::FolderNotWritable, error);
    if (error == ENOENT || error == ENOTDIR) return Refused(Status::FolderMissing, error);
    if (error != ENAMETOOLONG) return Refused(Status::Failed, error);
    // The name leaves no room for a temporary one beside it: the file is made in place.
    return RewriteInPlace(target, nullptr, content);
  }

  if (S_ISDIR(old.st_mode)) return Refused(Status::Folder);
  if (!S_ISREG(old.st_mode)) return Refused(Status::NotRegular);
  // A file without any write permission stays as it is, even for the administrator.
  if ((old.st_mode & 0222) == 0 || ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
    return Refused(Status::ReadOnly);

  if (old.st_uid == ::geteuid() && old.st_nlink == 1) {
    int error = 0;
    switch (ReplaceByRename(target, &old, content, error)) {
      case Replaced::Done:
        return {};
      case Replaced::Failed:
        return Refused(Status::Failed, error);
      case Replaced::NotHere:
        break;  // a folder this user may not write, or a group this user is not in
    }
  }
  return RewriteInPlace(target, &old, content);
}

std::string SaveFailureReason(const SaveError& failure) {
  const std::string error = std::generic_category().message(failure.error);
  switch (failure.status) {
    case Status::Folder:
      return "A folder has that name.";
    case Status::ReadOnly:
      return "The file is read-only.";
    case Status::NotRegular:
      return "It is not a regular file.";
    case Status::FolderNotWritable:
      return "The folder cannot be written (" + error + ").";
    case Status::FolderMissing:
      return "The folder does not exist.";
    case Status::Failed:
      break;
  }
  return error;
}

}  // namespace velk
