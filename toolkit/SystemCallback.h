// Callbacks that the system calls from inside its own code (a list view's
// sort, a window enumeration) must not let an exception unwind through the
// system's frames: those frames have no unwind information for it, and locks
// or state the system holds would be left behind. The callback keeps the
// exception instead, ends or finishes the system's work harmlessly, and the
// caller raises it again once the system call has returned.
#pragma once

#include <exception>
#include <utility>

class TCallbackError {
public:
  // Runs Body and returns its result; when it raises, keeps the exception
  // and returns Fallback. After a first exception Body is not run again.
  template <class TBody, class TResult> TResult Guard(TBody &&Body, TResult Fallback) noexcept {
    if (FError)
      return Fallback;
    try {
      return std::forward<TBody>(Body)();
    } catch (...) {
      FError = std::current_exception();
      return Fallback;
    }
  }

  // Raises the kept exception, if any, on the caller's side of the system call.
  void Rethrow() {
    if (FError)
      std::rethrow_exception(std::exchange(FError, nullptr));
  }

private:
  std::exception_ptr FError;
};
