// The installed set found in a registry export, as `wine reg export` writes
// it in either of regedit's formats, and its folder found in a Wine prefix.
#include "NKFRegFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ChartSetNames.h"
#include "NKFExportTestSupport.h"
#include "NKFGeoreference.h"
#include "TempDir.h"

namespace {

// The records as the installer leaves them, in REGEDIT4's form, with a
// value of another type (spread over two lines) that must be skipped and the
// root key written in another case than the installer's names.
std::string InstalledRecords() {
  const std::string set = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\Charts\\ORVA2003";
  std::string text = "REGEDIT4\r\n\r\n" + set + "]\r\n\"Name\"=\"ORVA (Editie 2003)\"\r\n\r\n" + set +
                     "\\Modules\\B]\r\n\"Name\"=\"B: Welmeland/Welml\xE2n\"\r\n"
                     "\"Size\"=hex:01,02,\\\r\n  03,04\r\n\"Path\"=\"D:\\\\ORVA Welmeland 2003\\\\\"\r\n\r\n";
  for (const char *file : ChartFileNames)
    text += set + "\\Modules\\B\\Charts\\" + file + "]\r\n\r\n";
  return text;
}

// The same text as a version-5 export: UTF-16LE with its byte order mark.
// Only Windows-1252's Latin-1 part is needed, which is its own code points.
std::string AsVersion5(std::string Text) {
  Text.replace(0, std::string("REGEDIT4").size(), "Windows Registry Editor Version 5.00");
  std::string bytes = "\xFF\xFE";
  for (const char c : Text) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

std::string Replaced(std::string Text, const std::string &From, const std::string &To) {
  for (size_t at = Text.find(From); at != std::string::npos; at = Text.find(From, at + To.size()))
    Text.replace(at, From.size(), To);
  return Text;
}

// The message of the export error Call raises.
template <class TCall> std::string ErrorOf(TCall Call) {
  try {
    Call();
  } catch (const ENKFExportError &e) {
    return e.what();
  }
  return "(no error)";
}

struct TRecordsCase {
  const char *What;
  std::string From, To;  // every From in the installed records replaced by To
  std::string Folder;    // the folder found, or empty when not installed
  std::string Missing;   // then a part of the message
};

const std::string Module = "HKEY_LOCAL_MACHINE\\Software\\Velmora\\Charts\\ORVA2003\\Modules\\B";

const std::vector<TRecordsCase> RecordsCases = {
    {"installed", "", "", "D:\\ORVA Welmeland 2003\\", ""},
    {"under Wow6432Node", "SOFTWARE\\Velmora", "SOFTWARE\\Wow6432Node\\Velmora", "D:\\ORVA Welmeland 2003\\", ""},
    {"wrong set name", "2003)", "2004)", "",
     "the Name of HKEY_LOCAL_MACHINE\\Software\\Velmora\\Charts\\ORVA2003 is not \"ORVA (Editie 2003)\""},
    {"module name without its accent", "Welml\xE2n", "Welmlan", "",
     "the Name of " + Module + " is not \"B: Welmeland/Welml\xE2n\""},
    {"no Path", "\"Path\"=", "\"Other\"=", "", Module + " has no Path"},
    {"blank Path", "\"D:\\\\ORVA Welmeland 2003\\\\\"", "\" \t \"", "", Module + " has no Path"},
    {"Path not a string", "\"Path\"=\"D:\\\\ORVA Welmeland 2003\\\\\"", "\"Path\"=dword:00000001", "",
     Module + " has no Path"},
    {"a chart key missing", std::string("\\Charts\\") + ChartFileNames[4] + "]", "\\Other]", "",
     std::string("there is no key for ") + ChartFileNames[4]},
    {"a chart key deleted", std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\Charts\\ORVA2003\\Modules\\B\\Charts\\") +
                                ChartFileNames[8],
     std::string("[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\Charts\\ORVA2003\\Modules\\B\\Charts\\") + ChartFileNames[8],
     "", std::string("there is no key for ") + ChartFileNames[8]},
    {"no module key", "\\Modules\\B]", "\\Modules\\C]", "", "there is no key " + Module},
    {"escapes, blanks and no trailing backslash", "\"D:\\\\ORVA Welmeland 2003\\\\\"",
     "\"  D:\\\\ORVA \\\"Welmeland\\\" 2003 \"", "D:\\ORVA \"Welmeland\" 2003\\", ""},
};

class NKFRegFileRecords : public testing::TestWithParam<bool> {}; // a version-5 export

TEST_P(NKFRegFileRecords, InstalledByTheInstallersRules) {
  for (size_t i = 0; i < RecordsCases.size(); ++i) {
    const TRecordsCase &c = RecordsCases[i];
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.What);
    const std::string text = c.From.empty() ? InstalledRecords() : Replaced(InstalledRecords(), c.From, c.To);
    if (!c.From.empty()) {
      ASSERT_NE(text, InstalledRecords()) << "the case changes nothing";
    }
    const TNKFRegFile records = TNKFRegFile::Parse(GetParam() ? AsVersion5(text) : text, "set.reg");
    if (!c.Folder.empty())
      EXPECT_EQ(NKFInstalledSetFolder(records, "set.reg"), c.Folder);
    else
      EXPECT_EQ(ErrorOf([&] { NKFInstalledSetFolder(records, "set.reg"); }),
                "NKFInstalledSetFolder: ORVA (Editie 2003) is not installed according to set.reg: " + c.Missing);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, NKFRegFileRecords, testing::Bool(),
                         [](const auto &Info) { return Info.param ? "Version5" : "Regedit4"; });

TEST(NKFRegFile, Version5ValuesStayUnicode) {
  // "a " becomes U+20AC and U+043A, beyond Latin-1: kept as the registry
  // holds them.
  const std::string text = AsVersion5("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"V\"=\"a b\"\r\n");
  std::string bytes = text;
  const size_t a = bytes.find(std::string("a\0", 2));
  bytes.replace(a, 4, std::string("\xAC\x20\x3A\x04", 4));
  const TNKFRegFile records = TNKFRegFile::Parse(bytes, "x.reg");
  ASSERT_NE(records.Value("hkey_local_machine\\k", "v"), nullptr);
  EXPECT_EQ(*records.Value("hkey_local_machine\\k", "v"), "\xE2\x82\xAC\xD0\xBA" "b");
}

// What an ANSI program reads back of a Unicode text, and how its bytes are
// stored: through its code page, a character the code page lacks as '?', a
// byte the code page leaves unassigned as the code point of that number (as
// Windows maps them; iconv refuses them).
TEST(NKFRegFile, TextsThroughAnAnsiCodePage) {
  struct TCase {
    unsigned CodePage;
    std::string Unicode, Ansi;
  };
  const std::vector<TCase> cases = {
      {1252, "Welml\xC3\xA2n", "Welml\xE2n"},
      {1251, "Welml\xD0\xB2n", "Welml\xE2n"},       // "в" is 0xE2 in Windows-1251
      {1252, "\xE2\x82\xAC", "\x80"},                // the euro sign
      {1252, "\xC2\x81\xC2\x8D", "\x81\x8D"},         // unassigned in Windows-1252
      {1251, "\xC2\x98", "\x98"},                     // unassigned in Windows-1251
      {65001, "Welml\xD0\xB2n", "Welml\xD0\xB2n"},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(testing::Message() << "code page " << c.CodePage << ": " << c.Ansi);
    EXPECT_EQ(NKFAnsiText(c.Unicode, c.CodePage), c.Ansi);
    EXPECT_EQ(NKFUnicodeText(c.Ansi, c.CodePage), c.Unicode);
  }
  // Lacking in the code page: "в" in Windows-1252, "â" in Windows-1251, a
  // C1 control whose byte is assigned, a character beyond the BMP.
  EXPECT_EQ(NKFAnsiText("Welml\xD0\xB2n", 1252), "Welml?n");
  EXPECT_EQ(NKFAnsiText("Welml\xC3\xA2n", 1251), "Welml?n");
  EXPECT_EQ(NKFAnsiText("\xC2\x80", 1252), "?");
  EXPECT_EQ(NKFAnsiText("a\xF0\x9F\x8C\x8Az", 1251), "a?z");
  EXPECT_EQ(ErrorOf([] { NKFAnsiText("x", 4711); }), "NKFRegFile: The code page 4711 is not known to this system");
}

TEST(NKFRegFile, BadInputNamesFileAndLine) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "NKFRegFile: x.reg is not a registry export"},
      {"Windows Registry Editor Version 5.00\r\n", "NKFRegFile: x.reg is not a registry export"}, // without UTF-16
      {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"V\"=\"open", "NKFRegFile: x.reg line 3 is neither a key nor a value"},
      {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K\r\n", "NKFRegFile: x.reg line 2 is neither a key nor a value"},
      {"REGEDIT4\r\nstray\r\n", "NKFRegFile: x.reg line 2 is neither a key nor a value"},
  };
  for (size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(ErrorOf([&] { TNKFRegFile::Parse(cases[i].first, "x.reg"); }), cases[i].second) << "case " << i;
  EXPECT_THROW(TNKFRegFile::Read("/no such folder/x.reg"), ENKFExportError);
}

// The reader holds a chunk of the file and a line, never the whole text: an
// export larger than the limit is refused by name, from its size or, when
// it is no regular file, once that much has been read; one of exactly the
// limit is read.
TEST(NKFRegFile, RefusesAnExportLargerThanTheLimit) {
  TTempDir dir;
  const std::string message = "NKFRegFile: " + dir.File("big.reg") +
                              " is larger than 8 MiB; export only the key HKLM\\Software\\Velmora\\Charts\\ORVA2003";
  std::string lineEnds = "REGEDIT4" + std::string(TNKFRegFile::MaxBytes - 8, '\n');
  WriteFileBytes(dir.File("big.reg"), lineEnds);
  EXPECT_EQ(ErrorOf([&] { TNKFRegFile::Read(dir.File("big.reg")); }), "(no error)");
  lineEnds += '\n';
  WriteFileBytes(dir.File("big.reg"), lineEnds);
  EXPECT_EQ(ErrorOf([&] { TNKFRegFile::Read(dir.File("big.reg")); }), message);
  EXPECT_EQ(ErrorOf([&] { TNKFRegFile::Parse(lineEnds, dir.File("big.reg")); }), message);
}

// Lines cut by the reader's chunks (64 KiB) read as whole lines: the
// records after padding that puts the chunk's end at each byte of a line
// holding a non-ASCII character, in both formats.
TEST(NKFRegFile, LinesAcrossTheReadersChunks) {
  const std::string head = "REGEDIT4\r\n", rest = InstalledRecords().substr(head.size());
  const size_t nameAt = rest.find("\"Name\"=\"B: ");
  for (const bool version5 : {false, true}) {
    // Characters before the end of the first chunk (after the byte order mark).
    const size_t before = version5 ? ((1 << 16) - 2) / 2 : 1 << 16;
    const size_t header = version5 ? std::string("Windows Registry Editor Version 5.00\r\n").size() : head.size();
    for (size_t shift = 0; shift < 40; ++shift) {
      SCOPED_TRACE(testing::Message() << (version5 ? "version 5" : "REGEDIT4") << ", shift " << shift);
      // A comment line that ends the chunk after the shift's character of
      // the module's Name line (or its line end).
      const std::string text =
          head + ";" + std::string(before - header - 3 - nameAt - shift, 'x') + "\r\n" + rest;
      const TNKFRegFile parsed = TNKFRegFile::Parse(version5 ? AsVersion5(text) : text, "set.reg");
      EXPECT_EQ(NKFInstalledSetFolder(parsed, "set.reg"), "D:\\ORVA Welmeland 2003\\");
    }
  }
}

TEST(NKFWinePath, ThroughThePrefixsDriveLinks) {
  TTempDir dir;
  namespace fs = std::filesystem;
  const std::string prefix = dir.File("prefix");
  fs::create_directories(prefix + "/dosdevices");
  fs::create_directory(dir.File("drive"));
  fs::create_directory_symlink(dir.File("drive"), prefix + "/dosdevices/d:");

  EXPECT_EQ(NKFWinePath("D:\\ORVA Welmeland 2003\\", prefix), prefix + "/dosdevices/d:/ORVA Welmeland 2003");
  // Wine keeps names in UTF-8.
  EXPECT_EQ(NKFWinePath("d:\\Welml\xC3\xA2n\\Kaarten\\", prefix), prefix + "/dosdevices/d:/Welml\xC3\xA2n/Kaarten");
  EXPECT_EQ(NKFWinePath("D:\\", prefix), prefix + "/dosdevices/d:/");

  const std::vector<std::pair<std::string, std::string>> refused = {
      {"E:\\Charts\\", "NKFWinePath: the Wine prefix " + prefix + " has no drive E: (" + prefix + "/dosdevices/e:)"},
      {"\\\\server\\share\\", "NKFWinePath: \\\\server\\share\\ is not a path on a drive"},
      {"Charts\\", "NKFWinePath: Charts\\ is not a path on a drive"},
  };
  for (size_t i = 0; i < refused.size(); ++i)
    EXPECT_EQ(ErrorOf([&] { NKFWinePath(refused[i].first, prefix); }), refused[i].second) << "case " << i;
}

// ---------------------------------------------------------------------------
// Real Wine prefixes: tests/data/wine-prefixes/cp*/ hold what `wine reg export
// ... /reg:32` wrote after an ANSI program wrote the installer's records
// (WriteChartRecords.c, Path "D:\ORVA Welml\xE2n 2003\"), and the code page
// part of the prefix's system.reg, for a prefix made under the default
// locale (ANSI code page 1252) and under ru_RU.UTF-8 (1251); `make` beside
// them makes them again. Under 1251 the installer's "\xE2" is stored as
// "в": the installer reads it back as its own byte, and so must we.

// $WINEPREFIX set for the programs a test runs, and put back after it.
class TWinePrefixVariable {
public:
  explicit TWinePrefixVariable(const std::string &Prefix) {
    const char *before = std::getenv("WINEPREFIX");
    FHad = before != nullptr;
    FBefore = before ? before : "";
    setenv("WINEPREFIX", Prefix.c_str(), 1);
  }
  ~TWinePrefixVariable() {
    if (FHad)
      setenv("WINEPREFIX", FBefore.c_str(), 1);
    else
      unsetenv("WINEPREFIX");
  }
  TWinePrefixVariable(const TWinePrefixVariable &) = delete;
  TWinePrefixVariable &operator=(const TWinePrefixVariable &) = delete;

private:
  bool FHad;
  std::string FBefore;
};

struct TPrefixCase {
  const char *Folder;
  unsigned CodePage;
  std::string Path; // the recorded folder, in UTF-8
};

const std::vector<TPrefixCase> PrefixCases = {
    {"cp1252", 1252, "D:\\ORVA Welml\xC3\xA2n 2003\\"},
    {"cp1251", 1251, "D:\\ORVA Welml\xD0\xB2n 2003\\"},
};

std::string PrefixData(const TPrefixCase &Case) { return std::string(VM_TEST_DATA) + "wine-prefixes/" + Case.Folder; }

TEST(NKFRegFileRealPrefixes, InstalledSetThroughThePrefixsCodePage) {
  for (const TPrefixCase &c : PrefixCases) {
    SCOPED_TRACE(c.Folder);
    const std::string data = PrefixData(c), reg = data + "/set.reg";
    ASSERT_EQ(NKFWineCodePage(data), c.CodePage);
    EXPECT_EQ(NKFInstalledSetFolder(TNKFRegFile::Read(reg, c.CodePage), reg, c.CodePage), c.Path);
  }
  // Through the wrong code page the module's name is not the installer's.
  const std::string reg = PrefixData(PrefixCases[1]) + "/set.reg";
  EXPECT_EQ(ErrorOf([&] { NKFInstalledSetFolder(TNKFRegFile::Read(reg, 1252), reg, 1252); }),
            "NKFInstalledSetFolder: ORVA (Editie 2003) is not installed according to " + reg + ": the Name of " +
                Module + " is not \"B: Welmeland/Welml\xE2n\"");
}

TEST(NKFWineCodePage, RefusesAPrefixWithoutOne) {
  TTempDir dir;
  EXPECT_EQ(ErrorOf([&] { NKFWineCodePage(dir.Path()); }), "NKFWineCodePage: Cannot read " + dir.File("system.reg"));
  // The value under another key is not the code page.
  WriteFileBytes(dir.File("system.reg"), "WINE REGISTRY Version 2\n\n[System\\\\CurrentControlSet\\\\Control\\\\Nls\\\\"
                                         "Language] 1\n\"ACP\"=\"1251\"\n\n[System\\\\CurrentControlSet\\\\Control\\\\Nls\\\\"
                                         "CodePage] 1\n\"OEMCP\"=\"866\"\n");
  EXPECT_EQ(ErrorOf([&] { NKFWineCodePage(dir.Path()); }),
            "NKFWineCodePage: " + dir.File("system.reg") +
                " holds no ANSI code page (the value ACP of System\\CurrentControlSet\\Control\\Nls\\CodePage)");
}

// The program with each real prefix: the recorded folder found in the prefix
// under its UTF-8 name. The folder holds no charts, which the run reports by
// the folder's local name (before it the set was "not installed" under 1251).
TEST(NKF2ExportRegistryProgram, FindsTheFolderInPrefixesOfEachCodePage) {
  namespace fs = std::filesystem;
  for (const TPrefixCase &c : PrefixCases) {
    SCOPED_TRACE(c.Folder);
    TTempDir dir;
    const std::string prefix = dir.File("prefix");
    fs::create_directories(prefix + "/dosdevices");
    fs::copy_file(PrefixData(c) + "/system.reg", prefix + "/system.reg");
    fs::create_directory(dir.File("drive"));
    fs::create_directory_symlink(dir.File("drive"), prefix + "/dosdevices/d:");
    const std::string folder = prefix + "/dosdevices/d:/" + c.Path.substr(3, c.Path.size() - 4);
    fs::create_directories(folder);
    const TWinePrefixVariable variable(prefix);
    const TRun run = RunExport(dir, "--set --registry-export " + Quoted(PrefixData(c) + "/set.reg") + " " +
                                        Quoted(dir.File("out.mbtiles")));
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Errors, "ENKFExportError: NKFSetChartFiles: " + folder + " holds none of the charts of the set\n");
  }
}

} // namespace
