#include "../WindowPost.h"

#include <mutex>

namespace {

std::mutex SinkLock;
TPostedMessageSink Sink;

} // namespace

bool PostWindowMessage(TWindowHandle Window, uint32_t Msg, uintptr_t WParam, intptr_t LParam) {
  std::lock_guard<std::mutex> lock(SinkLock);
  if (Window == 0 || !Sink)
    return false;
  Sink(Window, Msg, WParam, LParam);
  return true;
}

void SetPostedMessageSink(TPostedMessageSink NewSink) {
  std::lock_guard<std::mutex> lock(SinkLock);
  Sink = std::move(NewSink);
}
