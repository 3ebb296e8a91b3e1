// SSE2 code paths of the library's inner loops. The 64-bit builds always have
// SSE2; the 32-bit build targets processors that may lack it (and keeps x87
// arithmetic everywhere), so there such code is compiled for SSE2 function by
// function ([[gnu::target("sse2")]]) and taken only after the processor was
// asked. Every SSE2 path gives exactly the bytes of the plain one.
#pragma once

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>
#define VM_SSE2_CODE 1
#else
#define VM_SSE2_CODE 0
#endif

#if VM_SSE2_CODE
// Whether this processor runs SSE2 code; asked once.
inline bool HasSSE2() {
#if defined(__SSE2__)
  return true;
#else
  static const bool has = __builtin_cpu_supports("sse2");
  return has;
#endif
}
#endif
