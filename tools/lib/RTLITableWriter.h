// Writes the line-information table that VmRTLI reads: the exact inverse of
// its reader. Used by the build step that makes the table of a linked program
// and by the tests, which build small tables by hand. Standard headers only,
// as the build step is compiled for the host.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// Addresses are logical: offsets from module base + 0x1000.
struct TRTLIUnitEntry {
  std::string Name;
  uint32_t End = 0;
};

struct TRTLIRoutineEntry {
  std::string Name;
  uint32_t Size = 0;
};

// One run of contiguous spans of one source file.
struct TRTLISpan {
  uint32_t Length = 0;
  int32_t Line = 0;
};

struct TRTLIFileEntry {
  std::string Name;
  uint32_t Start = 0;
  std::vector<TRTLISpan> Spans;
};

struct TRTLITableData {
  double Timestamp = 0; // days since 30 December 1899
  uint32_t FirstUnitStart = 0;
  std::vector<TRTLIUnitEntry> Units;
  uint32_t FirstRoutineStart = 0;
  std::vector<TRTLIRoutineEntry> Routines;
  std::vector<TRTLIFileEntry> Files;
};

class ERTLIWriteError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

void WriteRTLIVarint(std::string &Out, uint32_t Value);
// a must be at least 1 for the packed forms; a = 0 takes the nine-byte form.
void WriteRTLIPair(std::string &Out, uint32_t A, int32_t B);
// Raises ERTLIWriteError for names longer than 255 bytes.
void WriteRTLIName(std::string &Out, const std::string &Name);
std::string WriteRTLITable(const TRTLITableData &Table);
