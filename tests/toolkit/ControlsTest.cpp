#include "Controls.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "Forms.h"

namespace {

TApplication App;

class WindowEnumeration : public ::testing::Test {
protected:
  void SetUp() override {
    App.Initialize();
    for (int i = 0; i < 3; ++i) {
      Forms.push_back(std::make_unique<TForm>(
          TForm::TArgs{"TEnumTestForm", "Enumerated", TBorderStyle::bsSingle, false, 100, 100, "MS Sans Serif", -11}));
      Forms.back()->Show();
    }
  }

  std::vector<std::unique_ptr<TForm>> Forms;
};

TEST_F(WindowEnumeration, VisitsTheThreadsWindowsUntilTold) {
  int visited = 0;
  EnumerateWindows(GetCurrentThreadId(), [&](HWND) { return ++visited < 2; });
  EXPECT_EQ(visited, 2) << "false ends the enumeration";
  visited = 0;
  EnumerateWindows(GetCurrentThreadId(), [&](HWND) { return ++visited > 0; });
  EXPECT_GE(visited, 3);
}

TEST_F(WindowEnumeration, AnExceptionEndsTheEnumerationAndReachesTheCaller) {
  for (DWORD thread : {GetCurrentThreadId(), DWORD{0}}) {
    int visited = 0;
    try {
      EnumerateWindows(thread, [&](HWND) -> bool {
        ++visited;
        throw EListError("visit failed");
      });
      ADD_FAILURE() << "nothing raised, thread " << thread;
    } catch (const EListError &e) {
      EXPECT_EQ(e.Message(), "visit failed");
    }
    EXPECT_EQ(visited, 1) << "thread " << thread;
  }
  // The thread's windows still work: a modal window disables the others by
  // the same enumeration.
  int visited = 0;
  EnumerateWindows(GetCurrentThreadId(), [&](HWND) { return ++visited > 0; });
  EXPECT_GE(visited, 3);
}

} // namespace
