#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "core/Result.h"

namespace velk {

// Why a whole-file save failed. Each caller words its own message from it.
struct SaveError {
  enum class Status {
    Folder,             // the target is a folder: nothing opened
    ReadOnly,           // the target has no write permission for this user: nothing opened
    NotRegular,         // a device, FIFO or socket: nothing opened
    FolderNotWritable,  // a new file in a folder this user may not write
    FolderMissing,      // a new file in a folder that does not exist
    Failed,             // anything else; `error` says why and the old file is whole
  };
  Status status = Status::Failed;
  int error = 0;  // errno for FolderNotWritable, FolderMissing and Failed
};

// Replaces the file with `content` so that no failure leaves it broken:
// - links are followed to the file they name (a dangling link names the file to create),
//   without letting a link planted in a sticky folder redirect the write;
// - a file this user owns with one link, or a new file: written to a temporary
//   "<target>.XXXXXX" created exclusively beside it (group and mode copied; a new file gets
//   0666 & ~umask), synced and renamed over the target;
// - another owner, several links, or a folder this user cannot write: rewritten in place, its
//   space reserved first so a full disk leaves the old content whole.
Result<void, SaveError> SaveFileSafely(const std::filesystem::path& file, std::string_view content);

// Why a whole-file save failed, as the last line of a window's message box.
std::string SaveFailureReason(const SaveError& failure);

}  // namespace velk
