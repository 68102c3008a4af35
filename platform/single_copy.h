#pragma once
// One running copy of the panel per program file and user: the copy that shows holds a
// lock for its life, which the system drops however the copy ends; a later copy finds it
// held, asks the holder to show its window and ends. One backend per system
// (platform/linux/single_copy.h: a lock file and a datagram socket in a private folder;
// platform/windows/single_copy.h: a named mutex, while the request itself is a window
// message the Win32 window sends); Platform::singleCopy makes one.
//
// Failure: Failed or false, with what failed and why in error().

#include <string>
#include <vector>

namespace tovanik {

class SingleCopy {
 public:
  virtual ~SingleCopy() = default;

  enum class Result { Acquired, HeldByAnotherCopy, Failed };
  // Takes the lock without waiting. Failed means no lock could be had; the caller then
  // runs as the only copy rather than refuse to start.
  virtual Result acquire() = 0;

  // The name the copies of one program file share ("<prefix>-<hash of its path>"): the
  // lock's, and on Windows the window class by which a later copy finds the first.
  virtual std::string name() const = 0;

  // For the holder: opens the way later copies ask to be shown. Where the requests are
  // window messages (Windows) there is nothing to open.
  virtual bool listenForShowRequests() = 0;
  // What an event loop watches for requests: a descriptor, -1 where there is none.
  virtual int showRequestHandle() const = 0;
  // The activation token of each request waiting (empty for a request without one), from
  // this user only; anything else is dropped.
  virtual std::vector<std::string> takeShowRequests() = 0;
  // For a later copy: asks the holder to show its window, passing on the token this start
  // was given (XDG_ACTIVATION_TOKEN on Wayland).
  virtual bool askToShow(const std::string& activationToken) = 0;

  // What failed and why, in one line.
  virtual std::string error() const = 0;
};

}  // namespace tovanik
