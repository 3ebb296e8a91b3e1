// The chart-set search over a large tree: the library's walk (FindFileSet,
// recursive, as the installer searches a drive) side by side with a bare walk
// written here that lists each folder once and does nothing else (the floor
// any walk has to pay), and with the former walk that looked every name up on
// its own. The tree has 20,000 folders in 6 levels, a few files in each, and
// the set in the folder the walk reaches last, so every walk visits them all.
//
// Warm: the tree's folders are in the system's caches (a first walk read
// them). Cold: before each timed walk the kernel's page, dentry and inode
// caches are dropped (Linux /proc/sys/vm/drop_caches, root only); the
// machine's own disk cache below the kernel, if any, stays warm.
//
// Natively a Google Benchmark program. Google Benchmark is not packaged for
// MinGW, so the Windows build (run under Wine) times itself and prints the
// same rows: bench_search [tree folder].
#include "VmFileIO.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "FileFind.h"
#include "FileSetSearchByLookups.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <benchmark/benchmark.h>
#include "ConsoleColour.h"
#include <dirent.h>
#include <strings.h>
#include <unistd.h>
#endif

namespace {

// Nine names as long as the chart set's.
const std::vector<std::string> SetNames = [] {
  std::vector<std::string> names;
  for (int i = 1; i <= 9; ++i)
    names.push_back("kvt Welmeland chart " + std::to_string(i) + " of the set.nkf2");
  return names;
}();

constexpr int Levels = 6;
constexpr int Branching = 5;
constexpr int FolderCount = 20000;
constexpr int FilesPerFolder = 4;
const char *const CompleteMarker = "tree-complete";
const char *const SetMarker = "set-folder"; // which folder holds the set now, relative

namespace fs = std::filesystem;

std::string TreeRoot = (fs::temp_directory_path() / "vm-bench-search-tree").string();

// ---------------------------------------------------------------------------
// The tree

// Folders of the last level spread over those of the level above, so that
// the whole tree holds FolderCount folders below its root.
int ChildCount(int Level, int Index) {
  if (Level < Levels - 1)
    return Branching;
  int above = 0; // folders of levels 1 .. Levels - 1
  int parents = 1;
  for (int level = 1; level < Levels; ++level)
    above += parents *= Branching;
  const int leaves = FolderCount - above;
  return leaves / parents + (Index < leaves % parents ? 1 : 0);
}

void MakeTree() {
  if (fs::exists(fs::path(TreeRoot) / CompleteMarker))
    return;
  std::fprintf(stderr, "making the tree in %s ...\n", TreeRoot.c_str());
  fs::remove_all(TreeRoot);
  fs::create_directories(TreeRoot);
  std::vector<int> indices(Levels + 1, 0); // per level, the folders made so far
  const std::function<void(const fs::path &, int)> make = [&](const fs::path &folder, int level) {
    for (int f = 0; f < FilesPerFolder; ++f)
      std::ofstream(folder / ("file" + std::to_string(f) + ".dat")) << "x";
    if (level == Levels)
      return;
    const int children = ChildCount(level, indices[level]++);
    for (int c = 0; c < children; ++c) {
      const fs::path child = folder / ("folder " + std::to_string(level + 1) + "-" + std::to_string(c));
      fs::create_directory(child);
      make(child, level + 1);
    }
  };
  make(TreeRoot, 0);
  std::ofstream(fs::path(TreeRoot) / CompleteMarker) << "";
}

// ---------------------------------------------------------------------------
// The bare walk: one listing per folder, the names compared, subfolders
// entered in listing order, links passed over.

bool IsSetName(const char *Name) {
  return std::any_of(SetNames.begin(), SetNames.end(),
#if defined(_WIN32)
                     [Name](const std::string &n) { return _stricmp(n.c_str(), Name) == 0; });
#else
                     [Name](const std::string &n) { return strcasecmp(n.c_str(), Name) == 0; });
#endif
}

bool IsDots(const char *Name) { return Name[0] == '.' && (Name[1] == 0 || (Name[1] == '.' && Name[2] == 0)); }

bool BareWalk(const std::string &Folder, std::string &Found, std::vector<std::string> *Order = nullptr) {
  if (Order)
    Order->push_back(Folder);
  size_t hits = 0;
  std::vector<std::string> subfolders;
#if defined(_WIN32)
  WIN32_FIND_DATAA data;
  const HANDLE h = FindFirstFileExA((Folder + "\\*.*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                    FIND_FIRST_EX_LARGE_FETCH);
  if (h == INVALID_HANDLE_VALUE)
    return false;
  do {
    hits += IsSetName(data.cFileName);
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
        !IsDots(data.cFileName))
      subfolders.emplace_back(data.cFileName);
  } while (FindNextFileA(h, &data));
  FindClose(h);
#else
  DIR *dir = opendir(Folder.c_str());
  if (!dir)
    return false;
  while (const dirent *entry = readdir(dir)) {
    hits += IsSetName(entry->d_name);
    if (entry->d_type == DT_DIR && !IsDots(entry->d_name))
      subfolders.emplace_back(entry->d_name);
  }
  closedir(dir);
#endif
  if (hits == SetNames.size()) {
    Found = Folder;
    return true;
  }
  for (const std::string &name : subfolders)
    if (BareWalk(Folder + PathDelim + name, Found, Order))
      return true;
  return false;
}

// Puts the set into the folder this system's walk reaches last (the listing
// order is the file system's, so it is found anew on each system).
std::string PlaceSetLast() {
  MakeTree();
  const fs::path root(TreeRoot);
  std::string previous;
  if (std::ifstream marker(root / SetMarker); marker)
    std::getline(marker, previous);
  if (!previous.empty())
    for (const std::string &name : SetNames)
      fs::remove(root / previous / name);
  std::vector<std::string> order;
  std::string found;
  BareWalk(TreeRoot, found, &order);
  const std::string last = order.back();
  for (const std::string &name : SetNames)
    std::ofstream(fs::path(last) / name) << "x";
  std::ofstream(root / SetMarker) << fs::relative(last, root).string();
  return last + PathDelim;
}

// ---------------------------------------------------------------------------
// The walks timed

std::string LibraryWalk() {
  std::string found;
  FindFileSet(TreeRoot, SetNames, {}, true, found);
  return found;
}

std::string FloorWalk() {
  std::string found;
  return BareWalk(TreeRoot, found) ? found + PathDelim : std::string();
}

std::string FormerWalk() {
  std::string found;
  FindFileSetByLookups(TreeRoot, SetNames, {}, found);
  return found;
}

struct TWalk {
  const char *Name;
  std::string (*Run)();
};
const TWalk Walks[] = {{"library", LibraryWalk}, {"bare", FloorWalk}, {"lookups", FormerWalk}};

// False where the caches cannot be dropped (not root, or no such file).
bool DropCaches() {
#if defined(_WIN32)
  // Under Wine: a Linux shell drops them (a Windows program may not open the
  // write-only /proc file) and leaves a mark when done, as start /wait does
  // not wait for a Unix program.
  const char *const mark = "Z:\\tmp\\vm-bench-caches-dropped";
  DeleteFileA(mark);
  char command[] = "start.exe /wait /unix /bin/sh -c \"sync && echo 3 > /proc/sys/vm/drop_caches && "
                   "touch /tmp/vm-bench-caches-dropped\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                      &process))
    return false;
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  for (int i = 0; i < 3000; ++i) {
    if (GetFileAttributesA(mark) != INVALID_FILE_ATTRIBUTES)
      return true;
    Sleep(10);
  }
  return false;
#else
  sync();
  std::ofstream out("/proc/sys/vm/drop_caches");
  out << "3";
  out.flush();
  return static_cast<bool>(out);
#endif
}

} // namespace

#if defined(_WIN32)

double Median(std::vector<double> Times) {
  std::sort(Times.begin(), Times.end());
  return Times[Times.size() / 2];
}

// The walks take turns, each round in the next of their orders, so that a
// change in the machine's load during the run, and whatever one walk leaves
// behind for the next (the former walk's many failed lookups slow the walk
// after it under Wine), falls on all of them alike.
void TimeRounds(bool Cold, int Rounds, const std::string &Expected) {
  std::vector<std::vector<double>> times(std::size(Walks));
  std::vector<size_t> order(std::size(Walks));
  for (size_t w = 0; w < order.size(); ++w)
    order[w] = w;
  for (int round = 0; round < Rounds; ++round, std::next_permutation(order.begin(), order.end()))
    for (const size_t w : order) {
      if (Cold && !DropCaches()) {
        std::fprintf(stderr, "cannot drop the caches\n");
        std::exit(1);
      }
      const auto start = std::chrono::steady_clock::now();
      const std::string found = Walks[w].Run();
      times[w].push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
      if (found != Expected) {
        std::fprintf(stderr, "%s walk found '%s', not '%s'\n", Walks[w].Name, found.c_str(), Expected.c_str());
        std::exit(1);
      }
    }
  // The fastest run is the one the machine's other work disturbed least; the
  // median is printed beside it.
  double fastest[std::size(Walks)];
  for (size_t w = 0; w < std::size(Walks); ++w) {
    fastest[w] = *std::min_element(times[w].begin(), times[w].end());
    std::printf("%-8s %-5s %10.1f ms fastest, %10.1f ms median of %d\n", Walks[w].Name, Cold ? "cold" : "warm",
                fastest[w], Median(times[w]), Rounds);
  }
  std::printf("%s, fastest runs: library / bare %.3f, lookups / bare %.3f\n", Cold ? "cold" : "warm",
              fastest[0] / fastest[1], fastest[2] / fastest[1]);
  std::fflush(stdout);
}

int main(int argc, char **argv) {
  if (argc > 1)
    TreeRoot = argv[1];
  const std::string expected = PlaceSetLast();
  std::printf("tree %s, set in %s\n", TreeRoot.c_str(), expected.c_str());
  LibraryWalk(); // brings the tree into the caches
  TimeRounds(false, 6, expected);
  TimeRounds(true, 3, expected);
  return 0;
}

#else

namespace {

std::string Expected;

// Each repetition is one timed walk; Google Benchmark runs the repetitions of
// all walks in a random order (see main), so that cold walks take turns on
// the disk as the Windows build's rounds do.
void Walk(benchmark::State &State, const TWalk &Walk, bool Cold) {
  if (Expected.empty())
    Expected = PlaceSetLast();
  if (!Cold)
    Walk.Run(); // brings the tree into the caches
  for (auto _ : State) {
    if (Cold) {
      State.PauseTiming();
      if (!DropCaches()) {
        State.SkipWithError("cannot drop the caches (root only)");
        break;
      }
      State.ResumeTiming();
    }
    if (Walk.Run() != Expected)
      State.SkipWithError("the walk did not find the set");
  }
}

// The console rows, then per mode the ratios of the walks' medians to the
// bare walk's, as the Windows build prints them.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
  TRatioReporter() : ConsoleReporter(ConsoleOptions()) {}

  void ReportRuns(const std::vector<Run> &Runs) override {
    ConsoleReporter::ReportRuns(Runs);
    for (const Run &R : Runs)
      if (R.run_type == Run::RT_Aggregate && R.aggregate_name == "median")
        FMedians[R.run_name.function_name] = R.GetAdjustedRealTime();
  }

  void PrintRatios() const {
    for (const char *mode : {"warm", "cold"}) {
      auto median = [&](const char *Walk) {
        auto it = FMedians.find(std::string(Walk) + "/" + mode);
        return it == FMedians.end() ? 0.0 : it->second;
      };
      if (median("bare") > 0)
        std::printf("%s, medians: library / bare %.3f, lookups / bare %.3f\n", mode, median("library") / median("bare"),
                    median("lookups") / median("bare"));
    }
  }

private:
  std::map<std::string, double> FMedians;
};

} // namespace

int main(int argc, char **argv) {
  if (const char *tree = std::getenv("VM_SEARCH_TREE"))
    TreeRoot = tree;
  for (const bool cold : {false, true})
    for (const TWalk &walk : Walks)
      benchmark::RegisterBenchmark((std::string(walk.Name) + (cold ? "/cold" : "/warm")).c_str(), Walk, walk, cold)
          ->Unit(benchmark::kMillisecond)
          ->Iterations(1)
          ->Repetitions(cold ? 5 : 9)
          ->ReportAggregatesOnly()
          ->UseRealTime();
  // The command line may still say otherwise.
  setenv("BENCHMARK_ENABLE_RANDOM_INTERLEAVING", "true", 0);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}

#endif
