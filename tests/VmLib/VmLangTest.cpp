#include "VmLang.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "SysUtils.h"

namespace {

// Sets Language for one test and puts the previous value back.
class TLanguageScope {
public:
  explicit TLanguageScope(int language) : FSaved(Language) { Language = language; }
  ~TLanguageScope() { Language = FSaved; }

private:
  int FSaved;
};

bool IsKeyName(const std::string &name) { return name.rfind("SKey", 0) == 0; }

// The entries the table leaves untranslated on purpose: the browser titles in
// Spanish and Swedish, and every key name in those two languages.
bool UntranslatedOnPurpose(const std::string &name, int language) {
  const bool spanishOrSwedish = language == langSpanish || language == langSwedish;
  if (name == "SBrowseSelectSource" || name == "SBrowseSelectDestination")
    return spanishOrSwedish;
  return IsKeyName(name) && spanishOrSwedish;
}

} // namespace

// Declared first, so no other test of this program has touched Language yet.
TEST(VmLang, EnglishIsSelectedAtStartUp) {
  EXPECT_EQ(GetLanguage(), langEnglish);
  EXPECT_EQ(LangText(SMsgDlgConfirm), "Confirm");
}

TEST(VmLang, EveryTextHasEveryEntryExceptTheUntranslatedOnes) {
  std::set<std::string> names;
  for (const TLangTextEntry &entry : LangTextTable()) {
    const std::string name = entry.Name;
    EXPECT_TRUE(names.insert(name).second) << "duplicate " << name;
    for (int language = 1; language <= LanguageCount; ++language) {
      const char *text = (*entry.Texts)[language - 1];
      ASSERT_NE(text, nullptr) << name << " language " << language;
      const bool empty = *text == '\0';
      EXPECT_EQ(empty, UntranslatedOnPurpose(name, language)) << name << " language " << language;
    }
  }
}

TEST(VmLang, TableHoldsEveryGroupOfTexts) {
  std::set<std::string> names;
  for (const TLangTextEntry &entry : LangTextTable())
    names.insert(entry.Name);
  const char *const compass[] = {"N", "NNE", "NE", "ENE", "E", "ESE", "SE", "SSE",
                                 "S", "SSW", "SW", "WSW", "W", "WNW", "NW", "NNW"};
  for (const char *point : compass)
    EXPECT_TRUE(names.count(std::string("SCompass") + point)) << point;
  const char *const keys[] = {"ABNT_C1", "Apostrophe", "BkSp", "F1", "F15", "Numpad0", "Numpad9",
                              "NumpadStar", "OEM_102", "SysRQ", "Unlabeled", "WebStop", "Yen"};
  for (const char *key : keys)
    EXPECT_TRUE(names.count(std::string("SKey") + key)) << key;
  int keyCount = 0, colourCount = 0;
  for (const std::string &name : names) {
    keyCount += IsKeyName(name);
    colourCount += name.rfind("SColor", 0) == 0 && name != "SColorDepthTooLow";
  }
  // 87 named keys, F1 to F15 and Numpad0 to Numpad9.
  EXPECT_EQ(keyCount, 112);
  EXPECT_EQ(colourCount, 16);
}

TEST(VmLang, WithEnglishEveryTextIsItsEnglishEntry) {
  TLanguageScope scope(langEnglish);
  for (const TLangTextEntry &entry : LangTextTable())
    EXPECT_EQ(LangText(*entry.Texts), (*entry.Texts)[0]) << entry.Name;
}

TEST(VmLang, ExactTextsAndEnglishFallback) {
  struct TCase {
    const TLangTexts *Texts;
    int Language;
    const char *Expected;
  };
  const TCase cases[] = {
      {&SMsgDlgConfirm, langGerman, "Best\xE4tigung"},
      {&SMsgDlgRetry, langFrench, "&R\xE9" "essayer"},
      {&SMsgDlgNoToAll, langItalian, "N&o a Tutto"},
      {&SMsgDlgYes, langSpanish, "&S\xED"},
      {&SMsgDlgHelp, langDanish, "&Hj\xE6lp"},
      {&SBrowseSelectSource, langSpanish, "Select Source Folder"},
      {&SBrowseSelectDestination, langSwedish, "Select Destination Folder"},
      {&SBrowseCreateFolder, langSwedish, "Denna mapp finns inte. \xD6nskar Ni skapa den?"},
      {&SInvalidPath, langDutch, "Ongeldige bestandsaanduiding."},
      {&SInvalidFileName, langDutch, "Ongeldige bestandsaanduiding."},
      {&SInvalidPath, langSwedish, "Ogiltig s\xF6kv\xE4g"},
      {&SLanguageCode, langSpanish, "SP"},
      {&SLanguageName, langItalian, "Italiano"},
      {&SLanguageOwnName, langFrench, "Fran\xE7" "ais"},
      {&SCompassSSW, langDutch, "ZZW"},
      {&SCompassENE, langGerman, "ONO"},
      {&SCompassWNW, langSwedish, "VNV"},
      {&SCompassESE, langDanish, "\xD8S\xD8"},
      {&SKeyDel, langSpanish, "Del"},
      {&SKeyDel, langGerman, "Entf"},
      {&SErrorIn, langFrench, "Erreur dans %s"},
      {&SDXDiagNotFound, langEnglish, "DXDiag could no be found. Please install DirectX 8 or a higher version."},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    TLanguageScope scope(cases[i].Language);
    EXPECT_EQ(LangText(*cases[i].Texts), cases[i].Expected) << "case " << i;
  }
}

TEST(VmLang, LanguageOutsideTheTableIsAContractBreach) {
  for (int language : {0, LanguageCount + 1, -1}) {
    TLanguageScope scope(language);
    EXPECT_THROW(LangText(SMsgDlgOK), EAssertionFailed) << language;
  }
}
