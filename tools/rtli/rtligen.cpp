// rtligen: makes the line-information table of a linked Windows program from
// what the toolchain's binutils print about it (the rtli-link script runs
// them): objdump's section headers, decoded line table, address ranges and
// compilation units, and nm's symbol table with c++filt's names beside it.
// Built for the host, as a build step.
//
//   rtligen HEADERS LINES ARANGES UNITS SYMBOLS NAMES OUT.bin
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "RTLITableWriter.h"
#include "VmRTLIFormat.h"

namespace {

// Code between two ranges of one unit, or before another unit, that is at
// most this long is the linker's alignment padding.
constexpr uint64_t PaddingLimit = 16;
constexpr double SecondsPerDay = 86400.0;
constexpr double UnixEpochDateTime = 25569.0; // 1 January 1970 in days since 30 December 1899

[[noreturn]] void Fail(const std::string &Message) {
  std::cerr << "rtligen: " << Message << "\n";
  std::exit(1);
}

std::vector<std::string> ReadLines(const char *Path) {
  std::ifstream in(Path);
  if (!in)
    Fail(std::string("cannot read ") + Path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

std::vector<std::string> Tokens(const std::string &Line) {
  std::istringstream in(Line);
  std::vector<std::string> tokens;
  for (std::string token; in >> token;)
    tokens.push_back(token);
  return tokens;
}

bool ParseHex(const std::string &Text, uint64_t &Value) {
  if (Text.empty())
    return false;
  char *end = nullptr;
  Value = std::strtoull(Text.c_str(), &end, 16);
  return *end == '\0';
}

std::string BaseName(const std::string &Path) {
  const size_t slash = Path.find_last_of("/\\");
  return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

std::string WithoutExtension(const std::string &Name) {
  const size_t dot = Name.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? Name : Name.substr(0, dot);
}

std::string Limited(const std::string &Name) { return Name.substr(0, RTLIFormat::MaxNameLength); }

struct TCode {
  uint64_t Origin = 0; // image base + 0x1000
  uint64_t End = 0;    // end of the code section
  bool Contains(uint64_t Address) const { return Address >= Origin && Address < End; }
};

// ImageBase and the .text section from `objdump -h -p`. The table's addresses
// count from image base + 0x1000; a code section elsewhere would make every
// address wrong, so that stops the build.
TCode ReadCode(const char *Path) {
  uint64_t imageBase = 0, textStart = 0, textSize = 0;
  bool haveBase = false, haveText = false;
  for (const std::string &line : ReadLines(Path)) {
    const std::vector<std::string> t = Tokens(line);
    if (t.size() >= 2 && t[0] == "ImageBase")
      haveBase = ParseHex(t[1], imageBase);
    else if (t.size() >= 4 && t[1] == ".text")
      haveText = ParseHex(t[2], textSize) && ParseHex(t[3], textStart);
  }
  if (!haveBase || !haveText)
    Fail("no image base or no .text section in the headers");
  if (textStart != imageBase + RTLIFormat::LogicalOrigin)
    Fail("the code section does not start at image base + 0x1000");
  return {textStart, textStart + textSize};
}

// Compilation-unit offsets in .debug_info and their source names.
std::map<uint64_t, std::string> ReadUnitNames(const char *Path) {
  std::map<uint64_t, std::string> names;
  uint64_t offset = 0;
  bool wantName = false;
  const std::string unitMark = "Compilation Unit @ offset ";
  for (const std::string &line : ReadLines(Path)) {
    const size_t mark = line.find(unitMark);
    if (mark != std::string::npos) {
      std::string hex = line.substr(mark + unitMark.size());
      hex = hex.substr(0, hex.find(':'));
      wantName = ParseHex(hex.substr(hex.find("0x") == 0 ? 2 : 0), offset);
      continue;
    }
    if (wantName && line.find("DW_AT_name") != std::string::npos) {
      const size_t colon = line.rfind(": ");
      std::string name = line.substr(colon + 2);
      while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back())))
        name.pop_back();
      names[offset] = WithoutExtension(BaseName(name));
      wantName = false;
    }
  }
  return names;
}

struct TRange {
  uint64_t Start, End;
  std::string Name;
};

std::vector<TRange> ReadUnitRanges(const char *Path, const std::map<uint64_t, std::string> &Names,
                                   const TCode &Code) {
  std::vector<TRange> ranges;
  std::string name;
  for (const std::string &line : ReadLines(Path)) {
    const size_t mark = line.find("Offset into .debug_info:");
    if (mark != std::string::npos) {
      const std::vector<std::string> t = Tokens(line.substr(mark + 24));
      uint64_t offset = 0;
      const auto found = !t.empty() && ParseHex(t[0].substr(t[0].find("0x") == 0 ? 2 : 0), offset)
                             ? Names.find(offset)
                             : Names.end();
      name = found != Names.end() ? found->second : std::string();
      continue;
    }
    const std::vector<std::string> t = Tokens(line);
    uint64_t start, length;
    if (t.size() == 2 && ParseHex(t[0], start) && ParseHex(t[1], length) && length > 0 && Code.Contains(start))
      ranges.push_back({start, std::min(start + length, Code.End), name});
  }
  std::sort(ranges.begin(), ranges.end(), [](const TRange &a, const TRange &b) { return a.Start < b.Start; });
  return ranges;
}

// Units cover the whole code section: each compilation unit's contiguous
// code, and nameless units for code no unit claims (libraries built without
// line information).
// A nameless unit starts at the first routine after the padding that ends the
// unit before it, so that no routine straddles the two.
void BuildUnits(const std::vector<TRange> &Ranges, const std::map<uint64_t, std::string> &Routines,
                const TCode &Code, TRTLITableData &Table) {
  std::vector<TRange> units;
  for (TRange range : Ranges) {
    if (!units.empty()) {
      TRange &last = units.back();
      range.Start = std::max(range.Start, last.End);
      if (range.End <= range.Start)
        continue;
      if (range.Start - last.End < PaddingLimit) {
        if (range.Name == last.Name) {
          last.End = range.End;
          continue;
        }
        last.End = range.Start;
      } else {
        const auto routine = Routines.lower_bound(last.End);
        if (routine != Routines.end() && routine->first < range.Start)
          last.End = routine->first;
        units.push_back({last.End, range.Start, ""});
      }
    } else if (range.Start > Code.Origin) {
      units.push_back({Code.Origin, range.Start, ""});
    }
    units.push_back(range);
  }
  if (units.empty() || units.back().End < Code.End)
    units.push_back({units.empty() ? Code.Origin : units.back().End, Code.End, ""});
  Table.FirstUnitStart = 0;
  for (const TRange &unit : units)
    Table.Units.push_back({Limited(unit.Name), static_cast<uint32_t>(unit.End - Code.Origin)});
}

// A symbol's standing as a routine name: a global function symbol before a
// local one, and either before a function's section symbol (".text$name").
int RoutineRank(const std::string &RawName, char Type) {
  if (RawName.rfind(".text$", 0) == 0)
    return 1;
  if (RawName.empty() || RawName[0] == '.')
    return 0; // section and other non-function symbols
  return std::isupper(static_cast<unsigned char>(Type)) ? 3 : 2;
}

// Routines: the code symbols of the symbol table, each up to the next one;
// of several names at one address the best ranked is taken.
std::map<uint64_t, std::string> ReadRoutines(const char *SymbolsPath, const char *NamesPath, const TCode &Code) {
  const std::vector<std::string> symbols = ReadLines(SymbolsPath), names = ReadLines(NamesPath);
  if (symbols.size() != names.size())
    Fail("the symbol list and the demangled names differ in length");
  std::map<uint64_t, std::pair<int, std::string>> best;
  for (size_t i = 0; i < symbols.size(); ++i) {
    const std::vector<std::string> t = Tokens(symbols[i]);
    uint64_t address;
    if (t.size() < 3 || t[1].size() != 1 || !ParseHex(t[0], address) || !Code.Contains(address) ||
        std::string("tTwW").find(t[1][0]) == std::string::npos || names[i].empty())
      continue;
    const int rank = RoutineRank(t[2], t[1][0]);
    auto found = best.find(address);
    if (rank > 0 && (found == best.end() || rank > found->second.first))
      best[address] = {rank, Limited(names[i])};
  }
  std::map<uint64_t, std::string> routines;
  for (const auto &[address, entry] : best)
    routines[address] = entry.second;
  return routines;
}

void BuildRoutines(const std::map<uint64_t, std::string> &Routines, const TCode &Code, TRTLITableData &Table) {
  if (Routines.empty())
    return;
  Table.FirstRoutineStart = static_cast<uint32_t>(Routines.begin()->first - Code.Origin);
  for (auto it = Routines.begin(); it != Routines.end(); ++it) {
    const auto next = std::next(it);
    const uint64_t end = next == Routines.end() ? Code.End : next->first;
    Table.Routines.push_back({it->second, static_cast<uint32_t>(end - it->first)});
  }
}

struct TRow {
  uint64_t Address;
  std::string File;
  int32_t Line;
};

struct TSpan {
  uint64_t Start, End;
  std::string File;
  int32_t Line;
};

// The decoded line table (`objdump --dwarf=decodedline --wide`): rows of file,
// line (or "-" at the end of a sequence) and address. Each row covers the
// code up to the next row of its sequence. Sorted by address; where
// sequences overlap the first one stands.
std::vector<TSpan> ReadSpans(const char *Path, const TCode &Code) {
  std::vector<TSpan> spans;
  bool open = false;
  TRow previous{};
  for (const std::string &line : ReadLines(Path)) {
    const std::vector<std::string> t = Tokens(line);
    uint64_t address;
    if (t.size() < 3 || t[2].rfind("0x", 0) != 0 || !ParseHex(t[2].substr(2), address))
      continue;
    const bool end = t[1] == "-";
    if (!end && !std::all_of(t[1].begin(), t[1].end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
      continue;
    if (open && address > previous.Address && Code.Contains(previous.Address) && address <= Code.End)
      spans.push_back({previous.Address, address, previous.File, previous.Line});
    open = !end;
    if (open)
      previous = {address, BaseName(t[0]), static_cast<int32_t>(std::atol(t[1].c_str()))};
  }
  std::sort(spans.begin(), spans.end(), [](const TSpan &a, const TSpan &b) { return a.Start < b.Start; });
  std::vector<TSpan> kept;
  for (TSpan &span : spans)
    if (kept.empty() || span.Start >= kept.back().End)
      kept.push_back(std::move(span));
  return kept;
}

// Appends a span to a record, joining it to the last one when the line is
// the same.
void Append(TRTLIFileEntry &Record, uint32_t Length, int32_t Line) {
  if (!Record.Spans.empty() && Record.Spans.back().Line == Line)
    Record.Spans.back().Length += Length;
  else
    Record.Spans.push_back({Length, Line});
}

// Lines are stored as records of contiguous spans of one file, and a lookup
// takes the first record that holds the address. Inlined header code breaks
// a source file's code into many runs, each of which would need a record with
// the file's name. So in each stretch of contiguous code the files are listed
// by their number of runs, fewest first, and a file's record reaches over the
// runs between two of its own when those all belong to files listed before
// it: they still answer for their own addresses.
void BuildLines(const char *Path, const TCode &Code, TRTLITableData &Table) {
  const std::vector<TSpan> spans = ReadSpans(Path, Code);
  for (size_t first = 0; first < spans.size();) {
    size_t last = first + 1;
    while (last < spans.size() && spans[last].Start == spans[last - 1].End)
      ++last;
    std::map<std::string, int> runs;
    for (size_t i = first; i < last; ++i)
      if (i == first || spans[i].File != spans[i - 1].File)
        ++runs[spans[i].File];
    std::vector<std::pair<int, std::string>> order;
    for (const auto &[file, count] : runs)
      order.push_back({count, file});
    std::sort(order.begin(), order.end());
    std::map<std::string, size_t> rank;
    for (size_t r = 0; r < order.size(); ++r)
      rank[order[r].second] = r;

    for (const auto &[count, file] : order) {
      const size_t own = rank[file];
      TRTLIFileEntry *record = nullptr;
      size_t previous = 0;
      uint32_t recordEnd = 0;
      for (size_t i = first; i < last; ++i) {
        if (spans[i].File != file)
          continue;
        const uint32_t start = static_cast<uint32_t>(spans[i].Start - Code.Origin);
        const uint32_t length = static_cast<uint32_t>(spans[i].End - spans[i].Start);
        bool reach = record != nullptr;
        for (size_t k = previous + 1; reach && k < i; ++k)
          reach = rank[spans[k].File] < own;
        if (reach) {
          record->Spans.back().Length += start - recordEnd;
        } else {
          Table.Files.push_back({file, start, {}});
          record = &Table.Files.back();
        }
        Append(*record, length, spans[i].Line);
        recordEnd = start + length;
        previous = i;
      }
    }
    first = last;
  }
  for (TRTLIFileEntry &file : Table.Files)
    file.Name = Limited(file.Name);
}

double Now() {
  // SOURCE_DATE_EPOCH makes a reproducible build reproducible here too.
  if (const char *epoch = std::getenv("SOURCE_DATE_EPOCH"))
    return UnixEpochDateTime + std::atof(epoch) / SecondsPerDay;
  const auto seconds =
      std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  return UnixEpochDateTime + seconds / SecondsPerDay;
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 8) {
    std::cerr << "usage: rtligen HEADERS LINES ARANGES UNITS SYMBOLS NAMES OUT.bin\n";
    return 2;
  }
  const TCode code = ReadCode(argv[1]);
  TRTLITableData table;
  table.Timestamp = Now();
  const std::map<uint64_t, std::string> routines = ReadRoutines(argv[5], argv[6], code);
  BuildUnits(ReadUnitRanges(argv[3], ReadUnitNames(argv[4]), code), routines, code, table);
  BuildRoutines(routines, code, table);
  BuildLines(argv[2], code, table);
  std::string bytes;
  try {
    bytes = WriteRTLITable(table);
  } catch (const ERTLIWriteError &e) {
    Fail(e.what());
  }
  std::ofstream out(argv[7], std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out)
    Fail(std::string("cannot write ") + argv[7]);
  std::printf("rtligen: %zu units, %zu routines, %zu line records, %zu bytes\n", table.Units.size(),
              table.Routines.size(), table.Files.size(), bytes.size());
  return 0;
}
