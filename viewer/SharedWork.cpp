#include "SharedWork.h"

#include <exception>
#include <vector>

void RunShared(int32_t Count, const std::function<void(int32_t)> &Part, const TThreadStart &Start) {
  if (Count <= 0)
    return;
  std::vector<std::exception_ptr> errors(static_cast<size_t>(Count));
  const auto run = [&](int32_t Index) {
    try {
      Part(Index);
    } catch (...) {
      errors[static_cast<size_t>(Index)] = std::current_exception();
    }
  };
  std::vector<std::thread> helpers;
  helpers.reserve(static_cast<size_t>(Count - 1));
  int32_t next = 1;
  try {
    for (; next < Count; ++next) {
      std::function<void()> work = [&run, next] { run(next); };
      helpers.push_back(Start ? Start(std::move(work)) : std::thread(std::move(work)));
      if (!helpers.back().joinable()) {
        helpers.pop_back();
        break;
      }
    }
  } catch (...) {
  }
  run(0);
  for (; next < Count; ++next)
    run(next);
  for (std::thread &helper : helpers)
    if (helper.joinable())
      helper.join();
  for (const std::exception_ptr &error : errors)
    if (error)
      std::rethrow_exception(error);
}
