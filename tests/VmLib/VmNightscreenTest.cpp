#include "VmNightscreen.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <vector>

namespace {

TEST(TNightScreen, DimsPixelChannelsKeepingAlpha) {
  struct {
    int32_t Factor;
    TColor32 In, Out;
  } cases[] = {
      {128, 0xFF808080, 0xFF404040}, {128, 0x00FFFFFF, 0x007F7F7F}, {128, 0x80FF0102, 0x807F0001},
      {256, 0x12345678, 0x12345678}, {0, 0xFFFFFFFF, 0xFF000000},   {192, 0xFF10FF40, 0xFF0CBF30},
  };
  TNightScreen night;
  for (const auto &c : cases) {
    night.SetFactor(c.Factor);
    EXPECT_EQ(night.NightColor32(c.In), c.Out) << std::hex << c.In << " at factor " << std::dec << c.Factor;
    TBitmap32 b;
    b.SetSize(3, 2);
    b.Clear(c.In);
    night.ApplyToBitmap(b);
    for (size_t i = 0; i < b.PixelCount(); ++i)
      ASSERT_EQ(b.Bits()[i], c.Out) << "pixel " << i;
  }
}

TEST(TNightScreen, FactorOutsideItsRangeIsRefused) {
  TNightScreen night;
  EXPECT_THROW(night.SetFactor(257), EAssertionFailed);
  EXPECT_THROW(night.SetFactor(-1), EAssertionFailed);
  EXPECT_EQ(night.Factor(), 128);
}

TEST(TNightScreen, NightColorOfFrameworkColours) {
  TNightScreen night;
  EXPECT_EQ(night.NightColor(0x00FF8040), 0x007F4020);
  // Top-byte flags of plain colours are dropped.
  EXPECT_EQ(night.NightColor(0x1FFFFFFF), 0x007F7F7F);
  const TColor windowRef = clSystemColor | 5;
  const uint32_t window = ReadSystemColor(5);
  EXPECT_EQ(static_cast<uint32_t>(night.NightColor(windowRef)), night.NightColor32(window) & 0xFFFFFF)
      << "off: a reference resolves to the system colour, dimmed";
  night.SetActive(true);
  EXPECT_EQ(night.NightColor(windowRef), windowRef) << "on: a reference stays a reference";
}

TEST(TNightScreen, ModeStepsReachOnChange) {
  std::vector<int> steps;
  {
    TNightScreen night;
    night.OnChange = [&](TNightScreen *sender, uint8_t mode) {
      EXPECT_EQ(sender->Active(), mode == nmSwitchOn);
      steps.push_back(mode);
    };
    night.SetActive(true);
    night.SetActive(true);
    night.SetActive(false);
    night.SetActive(false);
    night.Changed(nmRefresh);
    night.SetActive(true);
  } // destroyed while on: switches off
  EXPECT_EQ(steps, (std::vector<int>{nmSwitchOn, nmSwitchOff, nmRefresh, nmSwitchOn, nmSwitchOff}));
}

// The tile loader dims tiles under the night screen's lock; an OnChange
// handler that waits for the loader must find the lock free.
TEST(TNightScreen, OnChangeRunsWithTheLockReleased) {
  TNightScreen night;
  std::vector<bool> dimmedMeanwhile;
  night.OnChange = [&](TNightScreen *sender, uint8_t) {
    TBitmap32 tile;
    tile.SetSize(2, 2);
    tile.Clear(0xFFFFFFFF);
    auto loader = std::async(std::launch::async, [&] { sender->ApplyToBitmap(tile); });
    // A loader blocked on a held lock finishes only after the handler returns.
    dimmedMeanwhile.push_back(loader.wait_for(std::chrono::seconds(20)) == std::future_status::ready);
  };
  night.SetActive(true);
  night.Changed(nmRefresh);
  night.SetActive(false);
  EXPECT_EQ(dimmedMeanwhile, (std::vector<bool>{true, true, true}));
}

TEST(TNightScreen, SingleProcessWideObject) { EXPECT_EQ(&GetNightScreen(), &GetNightScreen()); }

#ifdef _WIN32

std::vector<uint32_t> SystemColors() {
  std::vector<uint32_t> colors;
  for (int i = 0; i < SystemColorCount; ++i)
    colors.push_back(ReadSystemColor(i));
  return colors;
}

// The real system colours: dimmed while on, back as they were after.
TEST(TNightScreen, DimsAndRestoresTheSystemColours) {
  const std::vector<uint32_t> before = SystemColors();
  const bool styles = VisualStylesEnabled();
  for (bool destroyWhileOn : {false, true}) {
    {
      TNightScreen night;
      night.SetActive(true);
      const std::vector<uint32_t> dimmed = SystemColors();
      for (int i = 0; i < TNightScreen::DimmedColorCount; ++i)
        EXPECT_EQ(dimmed[i], night.NightColor32(before[i]) & 0xFFFFFF) << "colour " << i;
      EXPECT_EQ(dimmed[30], before[30]) << "the menu bar colour is left alone";
      EXPECT_FALSE(VisualStylesEnabled());
      night.SetActive(true); // a second switch-on must not save the dimmed colours
      if (!destroyWhileOn)
        night.SetActive(false);
    }
    EXPECT_EQ(SystemColors(), before) << (destroyWhileOn ? "destroyed while on" : "switched off");
    EXPECT_EQ(VisualStylesEnabled(), styles);
  }
}

#endif

// Switching off without ever switching on must not write the unsaved
// (all black) colour table into the system.
TEST(TNightScreen, SwitchOffStepWithoutSavedColoursChangesNothing) {
  std::vector<uint32_t> before;
  for (int i = 0; i < SystemColorCount; ++i)
    before.push_back(ReadSystemColor(i));
  TNightScreen night;
  night.Changed(nmSwitchOff);
  for (int i = 0; i < SystemColorCount; ++i)
    EXPECT_EQ(ReadSystemColor(i), before[i]) << "colour " << i;
}

} // namespace
