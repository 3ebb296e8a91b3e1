#include "../OSThread.h"

#include "../SysUtils.h"

#include <windows.h>
#include <process.h>

namespace {

const DWORD MainThreadId = GetCurrentThreadId();

unsigned __stdcall ThreadStart(void *Parameter) {
  (*static_cast<std::function<void()> *>(Parameter))();
  return 0;
}

} // namespace

struct TOSThread::TImpl {
  std::function<void()> Body;
  HANDLE Handle = nullptr;
  unsigned Id = 0;
};

TOSThread::TOSThread(std::function<void()> Body) : FImpl(std::make_unique<TImpl>()) {
  FImpl->Body = std::move(Body);
  // _beginthreadex rather than CreateThread so the C run-time sets up its
  // per-thread data for the body.
  const uintptr_t handle = _beginthreadex(nullptr, 0, ThreadStart, &FImpl->Body, 0, &FImpl->Id);
  if (handle == 0)
    throw EOSError("TOSThread.Create: Cannot create a thread");
  FImpl->Handle = reinterpret_cast<HANDLE>(handle);
}

TOSThread::~TOSThread() { WaitFor(); }

void TOSThread::WaitFor() {
  if (FImpl->Handle == nullptr)
    return;
  // Wait for the thread or for a message sent to this thread; peeking without
  // removing dispatches the sent messages, then wait again.
  for (;;) {
    const DWORD result = MsgWaitForMultipleObjects(1, &FImpl->Handle, FALSE, INFINITE, QS_SENDMESSAGE);
    if (result == WAIT_OBJECT_0)
      break;
    if (result != WAIT_OBJECT_0 + 1) {
      // The message-aware wait failed; the thread must still be waited for.
      WaitForSingleObject(FImpl->Handle, INFINITE);
      break;
    }
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
  }
  CloseHandle(FImpl->Handle);
  FImpl->Handle = nullptr;
  FImpl->Id = 0;
}

uint32_t TOSThread::ThreadId() const { return FImpl->Id; }

bool IsMainThread() { return GetCurrentThreadId() == MainThreadId; }
