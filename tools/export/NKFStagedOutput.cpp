#include "NKFStagedOutput.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>

#include <fcntl.h>
#include <unistd.h>

#include "NKFGeoreference.h"

namespace {

namespace fs = std::filesystem;

// The temporary files in progress, for the signal handler: a fixed table it
// can read without locks or allocation. A slot's name is written before the
// slot is armed and the slot disarmed before its name is freed.
constexpr int Slots = 8;
constexpr size_t NameBytes = 4096;

struct TSlot {
  std::atomic<bool> Taken{false};
  std::atomic<bool> Armed{false};
  char Name[NameBytes] = {};
};

std::array<TSlot, Slots> &Table() {
  static std::array<TSlot, Slots> table;
  return table;
}

constexpr std::array<int, 3> StopSignals = {SIGINT, SIGTERM, SIGHUP};

extern "C" void RemoveTempFilesAndStop(int Signal) {
  for (TSlot &slot : Table())
    if (slot.Armed.load())
      unlink(slot.Name);
  // The signal's own action, so that the program ends as it would have.
  signal(Signal, SIG_DFL);
  raise(Signal);
}

// Once per program; a signal the program was started to ignore (nohup's
// SIGHUP) stays ignored.
void InstallHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (const int s : StopSignals) {
      struct sigaction previous {};
      if (sigaction(s, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
        continue;
      struct sigaction action {};
      action.sa_handler = RemoveTempFilesAndStop;
      sigemptyset(&action.sa_mask);
      sigaction(s, &action, nullptr);
    }
  });
}

int Arm(const std::string &Name) {
  if (Name.size() >= NameBytes)
    return -1;
  for (int i = 0; i < Slots; ++i) {
    TSlot &slot = Table()[static_cast<size_t>(i)];
    bool free = false;
    if (slot.Taken.compare_exchange_strong(free, true)) {
      std::memcpy(slot.Name, Name.c_str(), Name.size() + 1);
      slot.Armed.store(true);
      return i;
    }
  }
  return -1;
}

void Disarm(int Slot) {
  if (Slot < 0)
    return;
  TSlot &slot = Table()[static_cast<size_t>(Slot)];
  slot.Armed.store(false);
  slot.Taken.store(false);
}

std::string RandomSuffix() {
  static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  static std::mt19937 random{std::random_device{}()};
  std::string suffix;
  for (int i = 0; i < 6; ++i)
    suffix += letters[random() % (sizeof letters - 1)];
  return suffix;
}

} // namespace

TNKFStagedOutput::TNKFStagedOutput(const std::string &OutFile, const std::string &Operation)
    : FOutFile(OutFile), FOperation(Operation) {
  InstallHandlers();
  const fs::path out(OutFile);
  const std::string stem = out.stem().string(), extension = out.extension().string();
  for (int attempt = 0;; ++attempt) {
    const std::string name = (out.parent_path() / ("." + stem + ".partial-" + RandomSuffix() + extension)).string();
    // Armed before it exists, so that no signal leaves it behind.
    FSlot = Arm(name);
    const int file = open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    if (file >= 0) {
      close(file);
      FTempFile = name;
      return;
    }
    const int error = errno;
    Disarm(FSlot);
    FSlot = -1;
    if (error != EEXIST || attempt == 100)
      throw ENKFExportError(Operation + ": Cannot create " + OutFile + " (" + std::strerror(error) + ")");
  }
}

TNKFStagedOutput::~TNKFStagedOutput() {
  if (!FCommitted)
    unlink(FTempFile.c_str());
  Disarm(FSlot);
}

void TNKFStagedOutput::Commit() {
  if (rename(FTempFile.c_str(), FOutFile.c_str()) != 0)
    throw ENKFExportError(FOperation + ": Cannot write " + FOutFile + " (" + std::strerror(errno) + ")");
  FCommitted = true;
  Disarm(FSlot);
}

bool NKFSameFile(const std::string &A, const std::string &B) {
  std::error_code error;
  if (fs::equivalent(A, B, error))
    return true;
  const fs::path a = fs::weakly_canonical(fs::absolute(A), error);
  if (error)
    return false;
  const fs::path b = fs::weakly_canonical(fs::absolute(B), error);
  return !error && a == b;
}
