// A thread of the operating system and the wait for its end, for units that
// run one long-lived worker (the tile loader). Win32 threads on Windows, the
// standard thread elsewhere. Portable: no platform header is included here.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

class TOSThread {
public:
  // Starts Body on a new thread at once. Body must not let an exception
  // escape: nothing on the thread's side could report it.
  explicit TOSThread(std::function<void()> Body);
  // Waits for the thread unless WaitFor already did.
  ~TOSThread();
  TOSThread(const TOSThread &) = delete;
  TOSThread &operator=(const TOSThread &) = delete;

  // Waits without time-out until the thread has ended, then releases its
  // handle. On Windows the wait keeps dispatching messages that other threads
  // send to the waiting thread's windows, so a thread that is blocked in
  // SendMessage to this thread can still finish. Returns at once when the
  // thread was already waited for.
  void WaitFor();
  // The system's id of the thread (on Windows the Win32 thread id; elsewhere a
  // number unique within the process); 0 once WaitFor has returned.
  uint32_t ThreadId() const;

private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

// Whether the calling thread is the process's main thread (the one that ran
// the program's static initialisation).
bool IsMainThread();
