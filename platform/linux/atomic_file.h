#pragma once
// The Linux settings store's writing primitives: the replace by rename and the writers'
// lock (flock on ".<name>.lock" beside the file).

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "platform/file_store.h"

namespace tovanik {

// FileStore::replace on Linux, for the path as given (a link there is replaced, not
// followed).
bool replaceFileOnDisk(const std::string& path, std::string_view bytes, std::string* whyNot);

// FileStore::takeTurn on Linux: the path is resolved first (a link is written through to
// its target, refused to root when another user owns it).
// The lock's waits go by `timing`'s clock.
std::unique_ptr<FileTurn> takeWriterTurn(const std::string& path,
                                         std::chrono::milliseconds patience, std::string* whyNot,
                                         Timing& timing);

}  // namespace tovanik
