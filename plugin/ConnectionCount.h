// How many controller connections the socket thread has begun to serve: tells one connection
// from the next (the host actions trace a refusal once per connection with it). Kept apart
// from the socket so that the host actions need not know the socket.
// Threading: written by the socket thread, read by any thread.
#pragma once

#include <atomic>

namespace Cuebridge {

extern std::atomic<unsigned> servedConnections;

}  // namespace Cuebridge
