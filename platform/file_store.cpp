// What every backend of the settings store shares: one update's read-edit-compare-replace.
#include "platform/file_store.h"

namespace tovanik {

std::string lockHeldTooLong(std::chrono::milliseconds patience) {
  const auto ms = patience.count();
  return "another program has been writing it for longer than " +
         (ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms");
}

bool updateFileAtomically(FileStore& store, const std::string& path, const FileEdit& edit,
                          std::string* whyNot, std::chrono::milliseconds lockPatience) {
  const std::unique_ptr<FileTurn> turn = store.takeTurn(path, lockPatience, whyNot);
  if (!turn) return false;
  const auto current = turn->read(whyNot);
  if (!current) return false;
  const auto next = edit(*current, whyNot);
  if (!next) return false;
  if (*next == *current) return true;  // no rewrite, no wear, no flush for the same bytes
  return turn->replace(*next, whyNot);
}

}  // namespace tovanik
