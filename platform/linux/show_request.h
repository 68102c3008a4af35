#pragma once
// The message a second copy of the panel sends to the copy that runs: "show your window".
// It travels as one datagram over a UNIX socket in the single-copy lock's private folder,
// and the receiver also checks the sender's user id, which the kernel attaches
// (SCM_CREDENTIALS): only the same user can bring the window back.

#include <string>
#include <vector>

namespace tovanik {

// Binds a datagram socket at `path` (replacing a socket file left by a copy that was
// killed) that receives the senders' credentials; the caller must hold the single-copy
// lock. Returns the non-blocking descriptor, or -1 with the reason in `why` (the
// system's, without the path).
int bindShowRequestSocket(const std::string& path, std::string* why);

// Sends the request to the socket at `path`, with the activation token this start was
// given (may be empty). Returns false with the reason in `why`, as above.
bool sendShowRequest(const std::string& path, const std::string& activationToken, std::string* why);

// Reads every datagram waiting on `fd`; returns the activation token of each request that
// came from this user (an empty token for a request without one). Anything else is dropped.
std::vector<std::string> takeShowRequests(int fd);

}  // namespace tovanik
