#pragma once
// The reason a file operation failed, kept for the one-line messages users see:
// "cannot write PATH: REASON". Callers that do not care pass nullptr.

#include <cstring>
#include <string>

namespace tovanik {

// Stores `reason` (when asked for) and returns false, so a failing step reads
// `return failed(whyNot, "...")`.
inline bool failed(std::string* whyNot, const std::string& reason) {
  if (whyNot) *whyNot = reason;
  return false;
}

// The same with the system's text for an errno value ("No space left on device").
inline bool failedWithErrno(std::string* whyNot, int error) {
  return failed(whyNot, std::strerror(error));
}

}  // namespace tovanik
