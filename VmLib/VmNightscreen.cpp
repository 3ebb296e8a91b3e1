#include "VmNightscreen.h"

#include <memory>

namespace {

const char *const UnitName = "VmLib\\VmNightscreen";

// Scales the three 8-bit channels at bits 0, 8 and 16 by Factor / 256.
// Factor stays within 0..256, so no channel can carry into the next.
uint32_t DimChannels(uint32_t Color, int32_t Factor) {
  const auto f = static_cast<uint32_t>(Factor);
  return ((Color & 0xFF) * f >> 8) | (((Color >> 8 & 0xFF) * f >> 8) << 8) | (((Color >> 16 & 0xFF) * f >> 8) << 16);
}

std::array<int, TNightScreen::DimmedColorCount> DimmedIndices() {
  std::array<int, TNightScreen::DimmedColorCount> indices{};
  for (int i = 0; i < TNightScreen::DimmedColorCount; ++i)
    indices[i] = i;
  return indices;
}

// Freed when the program ends, after everything that ran on it.
std::mutex InstanceLock;
std::unique_ptr<TNightScreen> Instance;

} // namespace

TNightScreen::TNightScreen() = default;

TNightScreen::~TNightScreen() { SetActive(false); }

// The switch and its mode step are one locked change, so that two switches
// cannot interleave; OnChange runs after the lock is released, as a handler
// may wait for the tile loader, which dims tiles under the same lock.
void TNightScreen::SetActive(bool Value) {
  uint8_t mode;
  {
    std::lock_guard<std::recursive_mutex> lock(FLock);
    if (Value == FActive)
      return;
    FActive = Value;
    mode = Value ? nmSwitchOn : nmSwitchOff;
    Step(mode);
  }
  NotifyChange(mode);
}

void TNightScreen::SetFactor(int32_t Value) {
  Assert(Value >= 0 && Value <= FullFactor, "TNightScreen.SetFactor: Factor out of range", UnitName, __LINE__);
  FFactor = Value;
}

void TNightScreen::ApplyToBitmap(TBitmap32 &Bitmap) {
  std::lock_guard<std::recursive_mutex> lock(FLock);
  const int32_t factor = FFactor;
  TColor32 *p = Bitmap.Bits();
  for (size_t i = 0, n = Bitmap.PixelCount(); i < n; ++i)
    p[i] = (p[i] & 0xFF000000) | DimChannels(p[i], factor);
}

TColor32 TNightScreen::NightColor32(TColor32 Color) const {
  return (Color & 0xFF000000) | DimChannels(Color, FFactor);
}

TColor TNightScreen::NightColor(TColor Color) const {
  uint32_t rgb = static_cast<uint32_t>(Color);
  if (Color < 0) {
    if (FActive)
      return Color;
    rgb = ReadSystemColor(static_cast<int>(rgb & 0xFF));
  }
  return static_cast<TColor>(DimChannels(rgb, FFactor));
}

void TNightScreen::Changed(uint8_t Mode) {
  {
    std::lock_guard<std::recursive_mutex> lock(FLock);
    Step(Mode);
  }
  NotifyChange(Mode);
}

void TNightScreen::Step(uint8_t Mode) {
  switch (Mode) {
  case nmRefresh: ApplySystemColors(); break;
  case nmSwitchOff: RestoreAndSwitchOff(); break;
  case nmSwitchOn: SaveAndSwitchOn(); break;
  default: break;
  }
}

void TNightScreen::NotifyChange(uint8_t Mode) {
  if (OnChange)
    OnChange(this, Mode);
}

void TNightScreen::ApplySystemColors() {
  std::lock_guard<std::recursive_mutex> lock(FLock);
  if (!FActive)
    return;
  std::array<uint32_t, DimmedColorCount> dimmed{};
  for (int i = 0; i < DimmedColorCount; ++i)
    dimmed[i] = static_cast<uint32_t>(NightColor(static_cast<TColor>(FSavedColors[i])));
  WriteSystemColors(DimmedColorCount, DimmedIndices().data(), dimmed.data());
}

// Saving only once keeps a second switch-on from taking the dimmed colours
// for the originals.
void TNightScreen::SaveAndSwitchOn() {
  if (!FColorsSaved) {
    FThemingWasEnabled = VisualStylesEnabled();
    if (FThemingWasEnabled)
      SetVisualStylesEnabled(false);
    for (int i = 0; i < SavedColorCount; ++i)
      FSavedColors[i] = ReadSystemColor(i);
    FColorsSaved = true;
  }
  ApplySystemColors();
}

// Restoring only what was saved keeps a switch-off without a switch-on from
// writing the never-filled (black) colours into the system.
void TNightScreen::RestoreAndSwitchOff() {
  if (!FColorsSaved)
    return;
  WriteSystemColors(DimmedColorCount, DimmedIndices().data(), FSavedColors.data());
  if (FThemingWasEnabled)
    SetVisualStylesEnabled(true);
  FThemingWasEnabled = false;
  FColorsSaved = false;
}

TNightScreen &GetNightScreen() {
  std::lock_guard<std::mutex> lock(InstanceLock);
  if (!Instance)
    Instance = std::make_unique<TNightScreen>();
  return *Instance;
}
