// Work shared out between the processors by the renderers: what a helper
// thread cannot take is done on the calling thread.
#pragma once

#include <cstdint>
#include <functional>
#include <thread>

// Starts a thread running Work; a test replaces it to make a start fail.
using TThreadStart = std::function<std::thread(std::function<void()> Work)>;

// Runs Part(0) .. Part(Count - 1): Part(0) on the calling thread, the others
// on helper threads started through Start (std::thread when empty). A helper
// that cannot be started (the system is out of threads or memory) costs only
// speed: its part and those after it run on the calling thread. Every helper
// started is joined before anything else happens, so none is ever left
// running or joinable; then the first exception a part raised is raised again.
void RunShared(int32_t Count, const std::function<void(int32_t)> &Part, const TThreadStart &Start = nullptr);
