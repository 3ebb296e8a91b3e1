#include "RTLITableWriter.h"

#include <cstring>

#include "VmRTLIFormat.h"

namespace {

void PutLittleEndian(std::string &Out, uint64_t Value, unsigned Bytes) {
  for (unsigned i = 0; i < Bytes; ++i)
    Out.push_back(static_cast<char>((Value >> (8 * i)) & 0xFF));
}

bool FitsPacked(uint32_t A, int32_t B, unsigned Length) {
  const unsigned aBits = RTLIFormat::PackedPairABits(Length);
  const int64_t bBias = int64_t(1) << (RTLIFormat::PackedPairBBits(Length) - 1);
  return A >= 1 && uint64_t(A - 1) < (uint64_t(1) << aBits) && B >= -bBias && B < bBias;
}

} // namespace

void WriteRTLIVarint(std::string &Out, uint32_t Value) {
  if (Value < (1u << 6))
    PutLittleEndian(Out, Value << 2, 1);
  else if (Value < (1u << 14))
    PutLittleEndian(Out, (Value << 2) | 1, 2);
  else if (Value < (1u << 22))
    PutLittleEndian(Out, (Value << 2) | 2, 3);
  else {
    Out.push_back(3);
    PutLittleEndian(Out, Value, 4);
  }
}

void WriteRTLIPair(std::string &Out, uint32_t A, int32_t B) {
  using namespace RTLIFormat;
  if (A >= 1 && A <= PairShortLimit && B >= 1 && B <= int32_t(PairShortMaxStep)) {
    PutLittleEndian(Out, (A - 1) | (uint32_t(B - 1) << 6), 1);
    return;
  }
  for (unsigned length = 2; length <= 8; ++length) {
    if (!FitsPacked(A, B, length))
      continue;
    const unsigned aBits = PackedPairABits(length);
    const int64_t bBias = int64_t(1) << (PackedPairBBits(length) - 1);
    const uint64_t value =
        uint64_t(65 - length) | (uint64_t(A - 1) << 6) | (uint64_t(int64_t(B) + bBias) << (6 + aBits));
    PutLittleEndian(Out, value, length);
    return;
  }
  Out.push_back(static_cast<char>(PairWideSelector));
  PutLittleEndian(Out, A, 4);
  PutLittleEndian(Out, static_cast<uint32_t>(B), 4);
}

void WriteRTLIName(std::string &Out, const std::string &Name) {
  if (Name.size() > RTLIFormat::MaxNameLength)
    throw ERTLIWriteError("RTLI name longer than 255 bytes: " + Name.substr(0, 40) + "...");
  Out.push_back(static_cast<char>(Name.size()));
  for (size_t i = 0; i < Name.size(); ++i)
    Out.push_back(static_cast<char>(static_cast<uint8_t>(Name[i]) ^ RTLIFormat::NameMask(unsigned(i + 1))));
}

std::string WriteRTLITable(const TRTLITableData &Table) {
  std::string out(reinterpret_cast<const char *>(RTLIFormat::Signature), RTLIFormat::SignatureSize);
  char stamp[sizeof(double)];
  std::memcpy(stamp, &Table.Timestamp, sizeof stamp);
  out.append(stamp, sizeof stamp);

  WriteRTLIVarint(out, static_cast<uint32_t>(Table.Units.size()));
  WriteRTLIVarint(out, Table.FirstUnitStart);
  for (const TRTLIUnitEntry &unit : Table.Units) {
    WriteRTLIName(out, unit.Name);
    WriteRTLIVarint(out, unit.End);
  }

  WriteRTLIVarint(out, static_cast<uint32_t>(Table.Routines.size()));
  WriteRTLIVarint(out, Table.FirstRoutineStart);
  for (const TRTLIRoutineEntry &routine : Table.Routines) {
    WriteRTLIName(out, routine.Name);
    WriteRTLIVarint(out, routine.Size);
  }

  WriteRTLIVarint(out, static_cast<uint32_t>(Table.Files.size()));
  for (const TRTLIFileEntry &file : Table.Files) {
    WriteRTLIName(out, file.Name);
    WriteRTLIVarint(out, static_cast<uint32_t>(file.Spans.size()));
    WriteRTLIPair(out, file.Start, file.Spans.empty() ? 0 : file.Spans.front().Line);
    for (size_t i = 0; i < file.Spans.size(); ++i) {
      const int32_t next = i + 1 < file.Spans.size() ? file.Spans[i + 1].Line : file.Spans[i].Line;
      WriteRTLIPair(out, file.Spans[i].Length, next - file.Spans[i].Line);
    }
  }
  return out;
}
