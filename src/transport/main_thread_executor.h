// How the receive thread reaches the owner's thread.
#pragma once

#include <functional>

namespace vorkel {

// Runs a job on the owner's (main) thread. It may post the job and return at once: the
// receive thread waits for the job to finish on its own. A job that never runs (the owner's
// loop has ended) does no harm; the port's Close cancels the wait.
using MainThreadExecutor = std::function<void(std::function<void()> job)>;

} // namespace vorkel
