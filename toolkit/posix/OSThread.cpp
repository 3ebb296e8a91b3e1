#include "../OSThread.h"

#include <atomic>
#include <thread>

namespace {

const std::thread::id MainThread = std::this_thread::get_id();
std::atomic<uint32_t> LastThreadNumber{0};

} // namespace

struct TOSThread::TImpl {
  std::thread Thread;
  uint32_t Id = 0;
};

TOSThread::TOSThread(std::function<void()> Body) : FImpl(std::make_unique<TImpl>()) {
  FImpl->Id = ++LastThreadNumber;
  FImpl->Thread = std::thread(std::move(Body));
}

TOSThread::~TOSThread() { WaitFor(); }

void TOSThread::WaitFor() {
  if (FImpl->Thread.joinable())
    FImpl->Thread.join();
  FImpl->Id = 0;
}

uint32_t TOSThread::ThreadId() const { return FImpl->Id; }

bool IsMainThread() { return std::this_thread::get_id() == MainThread; }
