#include "ui/dialogs/SaveFailure.h"

#include <system_error>

namespace velk {

std::string SaveFailureReason(const SaveOutcome& outcome) {
  using Status = SaveOutcome::Status;
  const std::string error = std::generic_category().message(outcome.error);
  switch (outcome.status) {
    case Status::Saved:
      return {};
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
