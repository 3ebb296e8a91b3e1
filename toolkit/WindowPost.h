// Posting a message to a window without waiting for it: PostMessageA on
// Windows. Elsewhere there are no windows; a process may register one sink
// that receives every posted message instead, which is how tests observe what
// a unit posts. Portable: no platform header is included here.
#pragma once

#include <cstdint>
#include <functional>

// A window handle held as an integer wide enough for a pointer; 0 is no window.
using TWindowHandle = uintptr_t;

// Posts the message and returns at once; false when it could not be queued
// (no such window, or no sink registered where there are no windows).
bool PostWindowMessage(TWindowHandle Window, uint32_t Msg, uintptr_t WParam, intptr_t LParam);

#if !defined(_WIN32)
// Receives the messages posted through PostWindowMessage, on the posting
// thread. The sink must not call back into the code that posts: it may be
// called while that code holds its locks.
using TPostedMessageSink = std::function<void(TWindowHandle Window, uint32_t Msg, uintptr_t WParam, intptr_t LParam)>;
// Replaces the sink; an empty function removes it.
void SetPostedMessageSink(TPostedMessageSink Sink);
#endif
