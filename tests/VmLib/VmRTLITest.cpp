#include "VmRTLI.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "RTLITableWriter.h"
#include "Raised.h"

namespace {

constexpr uintptr_t Base = 0x400000;
constexpr uintptr_t Origin = Base + 0x1000;

std::string Bytes(std::initializer_list<int> Values) {
  std::string bytes;
  for (int value : Values)
    bytes.push_back(static_cast<char>(value));
  return bytes;
}

// This program is built without a line table, on every platform.
TEST(VmRTLI, WithoutLineInformationTheTraceSaysSo) {
  try {
    throw EHookError("recorded all the same");
  } catch (const EHookError &) {
  }
  ASSERT_FALSE(IsRTLIAvailable());
  EXPECT_EQ(GetStackTraceText(), "(NO RTLI AVAILABLE!)\r\n");
  EXPECT_EQ(GetRTLITimestamp(), 0.0);
  TLineInfo info;
  info.UnitName = "stale";
  EXPECT_FALSE(LookupAddress(reinterpret_cast<uintptr_t>(&LookupAddress), info));
  EXPECT_EQ(info.UnitName, "");
  const TRTLITable none;
  EXPECT_EQ(none.StackTraceText(nullptr, 0), "(NO RTLI AVAILABLE!)\r\n");
}

TEST(VmRTLI, VarintsTakeTheirDocumentedForms) {
  const struct {
    uint32_t Value;
    std::string Bytes;
  } cases[] = {
      {0, Bytes({0x00})},
      {63, Bytes({0xFC})},
      {64, Bytes({0x01, 0x01})},
      {16383, Bytes({0xFD, 0xFF})},
      {16384, Bytes({0x02, 0x00, 0x01})},
      {4194303, Bytes({0xFE, 0xFF, 0xFF})},
      {4194304, Bytes({0x03, 0x00, 0x00, 0x40, 0x00})},
      {0xFFFFFFFF, Bytes({0x03, 0xFF, 0xFF, 0xFF, 0xFF})},
  };
  for (const auto &c : cases) {
    std::string out;
    WriteRTLIVarint(out, c.Value);
    EXPECT_EQ(out, c.Bytes) << c.Value;
  }
}

TEST(VmRTLI, PairsTakeTheirDocumentedForms) {
  const struct {
    uint32_t A;
    int32_t B;
    std::string Bytes;
  } cases[] = {
      {1, 1, Bytes({0x00})},
      {56, 4, Bytes({0xF7})},
      {57, 0, Bytes({0x3F, 0x8E})},
      {1024, -128, Bytes({0xFE, 0xFF, 0x00})},
      {1073741824, 0x7FFFFFF, Bytes({0xF9, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})},
      {0, 5, Bytes({0x38, 0, 0, 0, 0, 5, 0, 0, 0})},
      {7, -1, Bytes({0xBF, 0x71})},
  };
  for (const auto &c : cases) {
    std::string out;
    WriteRTLIPair(out, c.A, c.B);
    EXPECT_EQ(out, c.Bytes) << c.A << ", " << c.B;
  }
}

// A span of the line table and the size of its pair in the table.
struct TSpanCase {
  uint32_t Length;
  int32_t Step;
  size_t PairBytes;
};

// Both ends of a and of b for every pair form.
const TSpanCase SpanCases[] = {
    {1, 1, 1},
    {56, 4, 1},
    {57, 1, 2},
    {64, -8, 2},
    {1, 7, 2},
    {1, 0, 2},
    {65, 0, 3},
    {1024, -128, 3},
    {2, 127, 3},
    {1025, 0, 4},
    {16384, 2047, 4},
    {3, -2048, 4},
    {16385, 0, 5},
    {262144, -32768, 5},
    {4, 32767, 5},
    {262145, 0, 6},
    {4194304, 0x7FFFF, 6},
    {5, -0x80000, 6},
    {4194305, 0, 7},
    {67108864, -0x800000, 7},
    {6, 0x7FFFFF, 7},
    {67108865, 0, 8},
    {1073741824, 0x7FFFFFF, 8},
    {7, -0x8000000, 8},
    {1073741825, 0, 9},
    {8, 0x8000000, 9},
    {9, INT32_MIN + 1000, 9},
};

TRTLITableData OneUnitTable() {
  TRTLITableData data;
  data.Timestamp = 45000.5;
  data.Units = {{"Everything", 0xFFFFFFFF}};
  return data;
}

TEST(VmRTLI, EveryPairFormReadsBackAtBothEndsOfItsSpan) {
  TRTLITableData data = OneUnitTable();
  TRTLIFileEntry file{"spans.cpp", 0x10, {}};
  int32_t line = 1000;
  for (const TSpanCase &c : SpanCases) {
    file.Spans.push_back({c.Length, line});
    line += c.Step;
  }
  data.Files.push_back(file);
  const std::string bytes = WriteRTLITable(data);
  const TRTLITable table(bytes.data(), bytes.size(), Base);

  uint32_t start = file.Start;
  for (size_t i = 0; i < std::size(SpanCases); ++i) {
    SCOPED_TRACE(i);
    std::string pair;
    WriteRTLIPair(pair, SpanCases[i].Length, SpanCases[i].Step);
    EXPECT_EQ(pair.size(), SpanCases[i].PairBytes);
    for (uint32_t offset : {0u, SpanCases[i].Length - 1}) {
      TLineInfo info;
      ASSERT_TRUE(table.Lookup(Origin + start + offset, info));
      EXPECT_EQ(info.LineNumber, file.Spans[i].Line);
      EXPECT_EQ(info.LineAddress, Origin + start);
      EXPECT_EQ(info.FileName, "spans.cpp");
    }
    start += SpanCases[i].Length;
  }
  TLineInfo after;
  ASSERT_TRUE(table.Lookup(Origin + start, after));
  EXPECT_EQ(after.FileName, "");
  EXPECT_EQ(after.LineNumber, 0);
  EXPECT_EQ(after.LineAddress, 0u);
}

// Two units; the routines straddle the first unit's ends; two files.
TRTLITableData SmallProgram() {
  TRTLITableData data;
  data.Timestamp = 45000.5; // 2023/03/15 12:00:00
  data.FirstUnitStart = 0x100;
  data.Units = {{"VmAlpha", 0x200}, {"System", 0x300}};
  data.FirstRoutineStart = 0xF0;
  data.Routines = {{"Startup", 0x20}, {"TAlpha::Run", 0x60}, {"TAlpha::Stop", 0xA0}, {"@HandleAnyException", 0x40},
                   {"Tail", 0xA0}};
  data.Files = {{"VmAlpha.cpp", 0x100, {{0x10, 12}, {0x30, 14}, {0x20, 9}}},
                {"x.h", 0x160, {{0x10, 100000}}}};
  return data;
}

struct TLookupCase {
  uint32_t Logical;
  TLineInfo Expected;
  bool Result;
};

TEST(VmRTLI, LookupFindsUnitRoutineAndLine) {
  const std::string bytes = WriteRTLITable(SmallProgram());
  const TRTLITable table(bytes.data(), bytes.size(), Base);
  const auto at = [](uint32_t logical) { return Origin + logical; };
  const TLookupCase cases[] = {
      // The first routine starts before its unit.
      {0x100, {"VmAlpha", at(0x100), at(0x200), at(0x100), 12, "VmAlpha.cpp", at(0x100), at(0x110),
               "<start of unit>", "TAlpha::Run"}, true},
      {0x10F, {"VmAlpha", at(0x100), at(0x200), at(0x100), 12, "VmAlpha.cpp", at(0x100), at(0x110),
               "<start of unit>", "TAlpha::Run"}, true},
      {0x110, {"VmAlpha", at(0x100), at(0x200), at(0x110), 14, "VmAlpha.cpp", at(0x110), at(0x170),
               "TAlpha::Run", "TAlpha::Stop"}, true},
      {0x14F, {"VmAlpha", at(0x100), at(0x200), at(0x140), 9, "VmAlpha.cpp", at(0x110), at(0x170),
               "TAlpha::Run", "TAlpha::Stop"}, true},
      {0x165, {"VmAlpha", at(0x100), at(0x200), at(0x160), 100000, "x.h", at(0x110), at(0x170),
               "TAlpha::Run", "TAlpha::Stop"}, true},
      // The routine runs past its unit's end.
      {0x1FF, {"VmAlpha", at(0x100), at(0x200), 0, 0, "", at(0x170), at(0x200), "TAlpha::Stop",
               "<end of unit>"}, true},
      // The catch-all dispatcher is left out of traces.
      {0x210, {"System", at(0x200), at(0x300), 0, 0, "", at(0x210), at(0x250), "@HandleAnyException", "Tail"},
       false},
      // The last routine has no next one.
      {0x2E0, {"System", at(0x200), at(0x300), 0, 0, "", at(0x250), at(0x2F0), "Tail", ""}, true},
      // Past the last routine only the unit is known.
      {0x2F0, {"System", at(0x200), at(0x300), 0, 0, "", 0, 0, "", ""}, true},
      // Outside every unit nothing else is read.
      {0xFF, {}, true},
      {0x300, {}, true},
  };
  for (const TLookupCase &c : cases) {
    SCOPED_TRACE(Format("logical %X", c.Logical));
    TLineInfo info;
    info.UnitName = info.FileName = "stale";
    EXPECT_EQ(table.Lookup(at(c.Logical), info), c.Result);
    const TLineInfo &e = c.Expected;
    EXPECT_EQ(info.UnitName, e.UnitName);
    EXPECT_EQ(info.UnitStart, e.UnitStart);
    EXPECT_EQ(info.UnitEnd, e.UnitEnd);
    EXPECT_EQ(info.LineAddress, e.LineAddress);
    EXPECT_EQ(info.LineNumber, e.LineNumber);
    EXPECT_EQ(info.FileName, e.FileName);
    EXPECT_EQ(info.RoutineStart, e.RoutineStart);
    EXPECT_EQ(info.RoutineEnd, e.RoutineEnd);
    EXPECT_EQ(info.RoutineName, e.RoutineName);
    EXPECT_EQ(info.NextRoutineName, e.NextRoutineName);
  }
  TLineInfo below;
  EXPECT_TRUE(table.Lookup(Base, below));
  EXPECT_EQ(below.UnitName, "");
}

TEST(VmRTLI, TheTraceTextHasItsExactColumns) {
  const std::string bytes = WriteRTLITable(SmallProgram());
  const TRTLITable table(bytes.data(), bytes.size(), Base);
  const uintptr_t stack[] = {Origin + 0x165, Origin + 0x214, Origin + 0x10F, Origin + 0x1FF, Origin + 0x500};
  EXPECT_EQ(table.StackTraceText(stack, std::size(stack)),
            "RTLI generation timestamp: 2023/03/15 12:00:00\r\n\r\n"
            "Stack trace:\r\n"
            " Logical        File LineNr Routine\r\n"
            "00000165         x.h 100000 VmAlpha.TAlpha::Run\r\n"
            "0000010F VmAlpha.cpp     12 VmAlpha.<start of unit>\r\n"
            "000001FF                    VmAlpha.TAlpha::Stop\r\n"
            "00000500                    .\r\n"
            "\r\n\r\n");
}

TEST(VmRTLI, WithoutFileNamesTheFileColumnHasNoWidth) {
  const std::string bytes = WriteRTLITable(SmallProgram());
  const TRTLITable table(bytes.data(), bytes.size(), Base);
  const uintptr_t stack[] = {Origin + 0x2E0};
  EXPECT_EQ(table.StackTraceText(stack, 1), "RTLI generation timestamp: 2023/03/15 12:00:00\r\n\r\n"
                                            "Stack trace:\r\n"
                                            " Logical File LineNr Routine\r\n"
                                            "000002E0         System.Tail\r\n"
                                            "\r\n\r\n");
}

TEST(VmRTLI, AWrongSignatureMakesEveryLookupFailQuietly) {
  std::string bytes = WriteRTLITable(SmallProgram());
  bytes[15] = 0x00;
  const TRTLITable table(bytes.data(), bytes.size(), Base);
  EXPECT_TRUE(table.Available());
  EXPECT_EQ(table.Timestamp(), 0.0);
  for (uint32_t logical : {0x100u, 0x165u, 0x2F0u}) {
    TLineInfo info;
    EXPECT_FALSE(table.Lookup(Origin + logical, info));
    EXPECT_EQ(info.UnitName, "");
  }
  const uintptr_t stack[] = {Origin + 0x165};
  EXPECT_EQ(table.StackTraceText(stack, 1), "RTLI generation timestamp: 1899/12/30 00:00:00\r\n\r\n"
                                            "Stack trace:\r\n"
                                            " Logical File LineNr Routine\r\n"
                                            "\r\n\r\n");
}

TEST(VmRTLI, NamesUseAllTheirBytes) {
  std::string longest;
  for (int i = 0; i < 255; ++i)
    longest.push_back(static_cast<char>(i + 1));
  TRTLITableData data = OneUnitTable();
  data.Units[0].Name = longest;
  data.Routines = {{std::string(longest.rbegin(), longest.rend()), 0x100}};
  data.Files = {{longest, 0, {{0x100, 7}}}};
  const std::string bytes = WriteRTLITable(data);
  const TRTLITable table(bytes.data(), bytes.size(), Base);
  TLineInfo info;
  ASSERT_TRUE(table.Lookup(Origin + 0x80, info));
  EXPECT_EQ(info.UnitName, longest);
  EXPECT_EQ(info.RoutineName, data.Routines[0].Name);
  EXPECT_EQ(info.FileName, longest);
  // Stored scrambled: the name's bytes do not appear as they are.
  EXPECT_EQ(bytes.find(longest.substr(0, 8)), std::string::npos);

  data.Units[0].Name.push_back('x');
  EXPECT_THROW(WriteRTLITable(data), ERTLIWriteError);
}

TEST(VmRTLI, ATruncatedTableEndsTheScanWithoutReadingPastIt) {
  const std::string whole = WriteRTLITable(SmallProgram());
  for (size_t size = 0; size < whole.size(); ++size) {
    // A copy of exactly this size, so that the sanitizer sees any read past it.
    std::vector<uint8_t> cut(whole.begin(), whole.begin() + size);
    const TRTLITable table(cut.data(), cut.size(), Base);
    for (uint32_t logical : {0x100u, 0x165u, 0x2F0u}) {
      TLineInfo info;
      table.Lookup(Origin + logical, info);
    }
  }
}

// Steps are stored as 32-bit numbers, so a damaged table can step a line
// past the 32-bit range: from there on the file's spans give no line, while
// the spans before it keep theirs.
TEST(VmRTLI, ALinePastThe32BitRangeEndsTheLineInformation) {
  struct {
    int32_t FirstLine, Step;
  } cases[] = {{1, INT32_MAX}, {INT32_MAX, 1}, {-2, INT32_MIN}, {INT32_MIN, -1}};
  for (const auto &c : cases) {
    SCOPED_TRACE(Format("line %d, step %d", c.FirstLine, c.Step));
    TRTLITableData data = SmallProgram();
    data.Files.clear();
    std::string bytes = WriteRTLITable(data);
    bytes.pop_back(); // the file count, 0, one byte: written again below
    WriteRTLIVarint(bytes, 1);
    WriteRTLIName(bytes, "wide.cpp");
    WriteRTLIVarint(bytes, 3);
    WriteRTLIPair(bytes, 0x100, c.FirstLine);
    for (int k = 0; k < 3; ++k)
      WriteRTLIPair(bytes, 0x10, c.Step);
    const TRTLITable table(bytes.data(), bytes.size(), Base);
    TLineInfo first, past;
    ASSERT_TRUE(table.Lookup(Origin + 0x105, first));
    EXPECT_EQ(first.FileName, "wide.cpp");
    EXPECT_EQ(first.LineNumber, c.FirstLine);
    ASSERT_TRUE(table.Lookup(Origin + 0x115, past));
    EXPECT_EQ(past.FileName, "");
    EXPECT_EQ(past.LineNumber, 0);
    EXPECT_EQ(past.RoutineName, "TAlpha::Run"); // the rest of the lookup stands
  }
}

TEST(VmRTLI, TimestampsFormatAsDateAndTime) {
  const struct {
    double Value;
    const char *Text;
  } cases[] = {
      {0, "1899/12/30 00:00:00"},
      {2, "1900/01/01 00:00:00"},
      {36525.999988, "1999/12/31 23:59:58"},
      {45000.5, "2023/03/15 12:00:00"},
      {46001.0 + 1.0 / 86400, "2025/12/10 00:00:01"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(FormatRTLITimestamp(c.Value), c.Text) << c.Value;
}

// A mapped image with a code section and one import table: PE32 or PE32+.
std::vector<uint8_t> Image(bool Plus, const char *Dll, std::vector<uint64_t> Slots) {
  std::vector<uint8_t> image(0x800);
  const auto put = [&](size_t at, uint64_t value, unsigned bytes) {
    for (unsigned i = 0; i < bytes; ++i)
      image[at + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  image[0] = 'M';
  image[1] = 'Z';
  put(0x3C, 0x80, 4);
  std::memcpy(&image[0x80], "PE\0\0", 4);
  const size_t optional = 0x80 + 24;
  put(optional, Plus ? 0x20B : 0x10B, 2);
  put(optional + 4, 0x300, 4);  // size of code
  put(optional + 20, 0x200, 4); // base of code
  put(optional + (Plus ? 120 : 104), 0x500, 4);
  // Two descriptors: another DLL first, then ours, then the zero one.
  put(0x500 + 12, 0x600, 4);
  put(0x500 + 16, 0x700, 4);
  put(0x514 + 12, 0x620, 4);
  put(0x514 + 16, 0x740, 4);
  std::strcpy(reinterpret_cast<char *>(&image[0x600]), "USER32.dll");
  std::strcpy(reinterpret_cast<char *>(&image[0x620]), Dll);
  put(0x700, 0x1234, Plus ? 8 : 4);
  const unsigned slot = Plus ? 8 : 4;
  for (size_t i = 0; i < Slots.size(); ++i)
    put(0x740 + i * slot, Slots[i], slot);
  return image;
}

TEST(VmRTLI, ImageHeadersOfBothKindsGiveCodeSectionAndImportSlots) {
  for (bool plus : {false, true}) {
    SCOPED_TRACE(plus ? "PE32+" : "PE32");
    // The high half of a PE32+ slot alone keeps the table going.
    std::vector<uint8_t> image = Image(plus, "KERNEL32.dll", {0x11, plus ? 0x100000000ull : 0x22, 0x33});
    const TCodeSection code = ReadCodeSection(image.data());
    EXPECT_EQ(code.Start, reinterpret_cast<uintptr_t>(image.data()) + 0x200);
    EXPECT_EQ(code.End, reinterpret_cast<uintptr_t>(image.data()) + 0x500);
    const uint32_t slot = plus ? 8 : 4;
    EXPECT_EQ(ImportAddressSlots(image.data(), "Kernel32.dll"),
              (std::vector<uint32_t>{0x740, 0x740 + slot, 0x740 + 2 * slot}));
    EXPECT_EQ(ImportAddressSlots(image.data(), "user32.DLL"), (std::vector<uint32_t>{0x700}));
    EXPECT_EQ(ImportAddressSlots(image.data(), "Kernel32"), (std::vector<uint32_t>{}));
  }
}

TEST(VmRTLI, ImagesWithoutTheirSignaturesAreRefused) {
  std::vector<uint8_t> noMZ = Image(false, "KERNEL32.dll", {});
  noMZ[1] = 'X';
  EXPECT_EQ(Raised([&] { ReadCodeSection(noMZ.data()); }), "EHookError: Not a valid MZ-file!");
  std::vector<uint8_t> noPE = Image(true, "KERNEL32.dll", {});
  noPE[0x82] = 1;
  EXPECT_EQ(Raised([&] { ReadCodeSection(noPE.data()); }), "EHookError: Not a valid PE-file!");
  EXPECT_EQ(Raised([&] { ImportAddressSlots(noPE.data(), "KERNEL32.dll"); }), "EHookError: Not a valid PE-file!");
}

} // namespace
