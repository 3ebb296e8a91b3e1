// What a call raises, as one comparable text.
#pragma once

#include <string>

#include "SysUtils.h"

// Class name and message of the library exception F raises ("EClass: message"),
// or "none" when it returns normally.
template <class F> std::string Raised(F &&f) {
  try {
    f();
  } catch (const Exception &e) {
    return std::string(e.ClassName()) + ": " + e.Message();
  }
  return "none";
}
