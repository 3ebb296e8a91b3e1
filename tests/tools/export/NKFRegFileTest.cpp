// The installed set found in a registry export, as `wine reg export` writes
// it in either of regedit's formats, and its folder found in a Wine prefix.
#include "NKFRegFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ChartSetNames.h"
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

TEST(NKFRegFile, Version5CharactersBeyondLatin1BecomeWindows1252) {
  // "€" is 0x80 in Windows-1252; a character it lacks becomes '?'.
  const std::string text = AsVersion5("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"V\"=\"a b\"\r\n");
  std::string bytes = text;
  const size_t a = bytes.find(std::string("a\0", 2));
  bytes.replace(a, 4, std::string("\xAC\x20\x3A\x04", 4)); // U+20AC, U+043A
  const TNKFRegFile records = TNKFRegFile::Parse(bytes, "x.reg");
  ASSERT_NE(records.Value("hkey_local_machine\\k", "v"), nullptr);
  EXPECT_EQ(*records.Value("hkey_local_machine\\k", "v"), "\x80?b");
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

TEST(NKFWinePath, ThroughThePrefixsDriveLinks) {
  TTempDir dir;
  namespace fs = std::filesystem;
  const std::string prefix = dir.File("prefix");
  fs::create_directories(prefix + "/dosdevices");
  fs::create_directory(dir.File("drive"));
  fs::create_directory_symlink(dir.File("drive"), prefix + "/dosdevices/d:");

  EXPECT_EQ(NKFWinePath("D:\\ORVA Welmeland 2003\\", prefix), prefix + "/dosdevices/d:/ORVA Welmeland 2003");
  // Wine keeps names in UTF-8.
  EXPECT_EQ(NKFWinePath("d:\\Welml\xE2n\\Kaarten\\", prefix), prefix + "/dosdevices/d:/Welml\xC3\xA2n/Kaarten");
  EXPECT_EQ(NKFWinePath("D:\\", prefix), prefix + "/dosdevices/d:/");

  const std::vector<std::pair<std::string, std::string>> refused = {
      {"E:\\Charts\\", "NKFWinePath: the Wine prefix " + prefix + " has no drive E: (" + prefix + "/dosdevices/e:)"},
      {"\\\\server\\share\\", "NKFWinePath: \\\\server\\share\\ is not a path on a drive"},
      {"Charts\\", "NKFWinePath: Charts\\ is not a path on a drive"},
  };
  for (size_t i = 0; i < refused.size(); ++i)
    EXPECT_EQ(ErrorOf([&] { NKFWinePath(refused[i].first, prefix); }), refused[i].second) << "case " << i;
}

} // namespace
