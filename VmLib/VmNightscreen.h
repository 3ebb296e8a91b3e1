// Night colours: dims chart tiles pixel by pixel and, while night mode is on,
// replaces the system's user-interface colours by dimmed copies and switches
// visual styles off, restoring both when night mode goes off or the object is
// destroyed. One object per process, reached through GetNightScreen.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include "SystemColors.h"
#include "VmGraphics.h"

class TNightScreen;

// Mode steps passed to Changed and OnChange.
constexpr uint8_t nmRefresh = 0;
constexpr uint8_t nmSwitchOff = 1;
constexpr uint8_t nmSwitchOn = 2;

using TNightModeEvent = std::function<void(TNightScreen *Sender, uint8_t Mode)>;

class TNightScreen {
public:
  // The system colours that switching on dims (0..29) and that are saved (0..30).
  static constexpr int DimmedColorCount = 30;
  static constexpr int SavedColorCount = SystemColorCount;
  static constexpr int32_t FullFactor = 256;

  TNightScreen();
  TNightScreen(const TNightScreen &) = delete;
  TNightScreen &operator=(const TNightScreen &) = delete;
  // Switches night mode off, restoring the colours and visual styles.
  ~TNightScreen();

  bool Active() const { return FActive; }
  void SetActive(bool Value);

  // Dimming factor in 256ths (0..256); 128 halves every channel.
  int32_t Factor() const { return FFactor; }
  void SetFactor(int32_t Value);
  float Brightness() const { return FBrightness; }
  void SetBrightness(float Value) { FBrightness = Value; }

  // Replaces every pixel by NightColor32 of it, whether or not night mode is
  // on: the caller decides. Serialised with switching.
  void ApplyToBitmap(TBitmap32 &Bitmap);
  // Red, green and blue times the factor in 256ths; alpha kept.
  TColor32 NightColor32(TColor32 Color) const;
  // A framework colour dimmed. A system-colour reference stays as it is while
  // night mode is on (the system colours are dimmed already); otherwise it is
  // resolved to the system's current colour first.
  TColor NightColor(TColor Color) const;

  // One mode step (nmRefresh, nmSwitchOff, nmSwitchOn), then OnChange, which
  // runs without the lock held.
  void Changed(uint8_t Mode);
  // Sets the dimmed colours while night mode is on; nothing otherwise.
  void ApplySystemColors();

  TNightModeEvent OnChange;

private:
  std::atomic<bool> FActive{false};
  bool FThemingWasEnabled = false;
  float FBrightness = 0.5f;
  std::atomic<int32_t> FFactor{128};
  // Recursive: an OnChange handler may dim a bitmap or step again.
  std::recursive_mutex FLock;
  // Whether FSavedColors holds colours saved by switching on and not yet
  // restored: the guard against restoring (or re-saving) the wrong colours.
  bool FColorsSaved = false;
  std::array<uint32_t, SavedColorCount> FSavedColors{};

  // With FLock held.
  void Step(uint8_t Mode);
  void SaveAndSwitchOn();
  void RestoreAndSwitchOff();
  void NotifyChange(uint8_t Mode);
};

// The process's night screen, created on the first call and freed when the
// program ends.
TNightScreen &GetNightScreen();
