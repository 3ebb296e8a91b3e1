// The library's multilingual texts: every text of the dialogs, the folder
// browser and the file list, in eight languages. Portable.
//
// A text is eight Windows-1252 strings in the fixed language order below; an
// empty entry is not translated and LangText falls back to English. The table
// is constant data; the current language is one process-wide number that
// starts as English and that nothing in this program changes.
#pragma once

#include <array>
#include <string>
#include <vector>

constexpr int LanguageCount = 8;

// Language indices (1-based, as Language holds them).
constexpr int langEnglish = 1;
constexpr int langDutch = 2;
constexpr int langGerman = 3;
constexpr int langFrench = 4;
constexpr int langSpanish = 5;
constexpr int langItalian = 6;
constexpr int langDanish = 7;
constexpr int langSwedish = 8;

// One text: entry i - 1 is the text in language i. English is never empty.
using TLangTexts = std::array<const char *, LanguageCount>;

// The current user-interface language, 1 to 8; English when the library
// starts. Dialogs ask for their texts each time they are built, so a change
// takes effect with the next dialog.
extern int Language;

int GetLanguage();

// The entry of the current language, or the English entry when that one is
// empty. A Language outside 1..8 is a contract breach (EAssertionFailed).
std::string LangText(const TLangTexts &Texts);

// Every text of the table with its constant's name, in declaration order
// (for tools that list or check the table).
struct TLangTextEntry {
  const char *Name;
  const TLangTexts *Texts;
};
const std::vector<TLangTextEntry> &LangTextTable();

// Message dialog captions and buttons
extern const TLangTexts SMsgDlgWarning;
extern const TLangTexts SMsgDlgError;
extern const TLangTexts SMsgDlgInformation;
extern const TLangTexts SMsgDlgConfirm;
extern const TLangTexts SMsgDlgYes;
extern const TLangTexts SMsgDlgNo;
extern const TLangTexts SMsgDlgOK;
extern const TLangTexts SMsgDlgCancel;
extern const TLangTexts SMsgDlgAbort;
extern const TLangTexts SMsgDlgRetry;
extern const TLangTexts SMsgDlgIgnore;
extern const TLangTexts SMsgDlgAll;
extern const TLangTexts SMsgDlgNoToAll;
extern const TLangTexts SMsgDlgYesToAll;
extern const TLangTexts SMsgDlgHelp;

// Folder browser
extern const TLangTexts SBrowseFolderName;
extern const TLangTexts SBrowseSelectSource;
extern const TLangTexts SBrowseSelectDestination;
extern const TLangTexts SBrowseInvalidFolderName;
extern const TLangTexts SBrowsePathNotFound;
extern const TLangTexts SBrowseFolderNotFound;
extern const TLangTexts SBrowseCreateFolder;
extern const TLangTexts SBrowseReadOnlyFolder;

// File list columns
extern const TLangTexts SListColumnName;
extern const TLangTexts SListColumnInFolder;
extern const TLangTexts SListColumnSize;
extern const TLangTexts SListColumnType;
extern const TLangTexts SListColumnModified;

// Path edits
extern const TLangTexts SInvalidPath;
extern const TLangTexts SInvalidFileName;

// Lists indexed by language: LangText yields the code or name of the current language
extern const TLangTexts SLanguageCode;
extern const TLangTexts SLanguageName;
extern const TLangTexts SLanguageOwnName;

// Button and window words
extern const TLangTexts SButtonClose;
extern const TLangTexts SButtonDetails;
extern const TLangTexts SButtonExit;
extern const TLangTexts SButtonOpen;
extern const TLangTexts SButtonSave;
extern const TLangTexts SNone;

// Colour names
extern const TLangTexts SColorBlack;
extern const TLangTexts SColorBlue;
extern const TLangTexts SColorBrightGreen;
extern const TLangTexts SColorDarkBlue;
extern const TLangTexts SColorDarkRed;
extern const TLangTexts SColorDarkYellow;
extern const TLangTexts SColorGray25;
extern const TLangTexts SColorGray50;
extern const TLangTexts SColorGreen;
extern const TLangTexts SColorPink;
extern const TLangTexts SColorRed;
extern const TLangTexts SColorTeal;
extern const TLangTexts SColorTurquoise;
extern const TLangTexts SColorViolet;
extern const TLangTexts SColorWhite;
extern const TLangTexts SColorYellow;

// Error log
extern const TLangTexts SErrorLogSaved;
extern const TLangTexts SErrorLogView;
extern const TLangTexts SErrorIn;

// Display requirements
extern const TLangTexts SDirectXCheckAdapter;
extern const TLangTexts SDXDiagNotFound;
extern const TLangTexts SDirectXExamineError;
extern const TLangTexts SNoDirectXAdapter;
extern const TLangTexts SColorDepthTooLow;
extern const TLangTexts SDirectXRequired;

// Compass points, clockwise from north
extern const TLangTexts SCompassN;
extern const TLangTexts SCompassNNE;
extern const TLangTexts SCompassNE;
extern const TLangTexts SCompassENE;
extern const TLangTexts SCompassE;
extern const TLangTexts SCompassESE;
extern const TLangTexts SCompassSE;
extern const TLangTexts SCompassSSE;
extern const TLangTexts SCompassS;
extern const TLangTexts SCompassSSW;
extern const TLangTexts SCompassSW;
extern const TLangTexts SCompassWSW;
extern const TLangTexts SCompassW;
extern const TLangTexts SCompassWNW;
extern const TLangTexts SCompassNW;
extern const TLangTexts SCompassNNW;

// Key names, for showing keyboard shortcuts (no Spanish and no Swedish names)
extern const TLangTexts SKeyABNT_C1;
extern const TLangTexts SKeyABNT_C2;
extern const TLangTexts SKeyAlt;
extern const TLangTexts SKeyApostrophe;
extern const TLangTexts SKeyAppMenu;
extern const TLangTexts SKeyAx;
extern const TLangTexts SKeyBackslash;
extern const TLangTexts SKeyBkSp;
extern const TLangTexts SKeyCalculator;
extern const TLangTexts SKeyCapsLock;
extern const TLangTexts SKeyColon;
extern const TLangTexts SKeyComma;
extern const TLangTexts SKeyConvert;
extern const TLangTexts SKeyCtrl;
extern const TLangTexts SKeyDel;
extern const TLangTexts SKeyDown;
extern const TLangTexts SKeyEnd;
extern const TLangTexts SKeyEnter;
extern const TLangTexts SKeyEquals;
extern const TLangTexts SKeyEsc;
extern const TLangTexts SKeyF1;
extern const TLangTexts SKeyF2;
extern const TLangTexts SKeyF3;
extern const TLangTexts SKeyF4;
extern const TLangTexts SKeyF5;
extern const TLangTexts SKeyF6;
extern const TLangTexts SKeyF7;
extern const TLangTexts SKeyF8;
extern const TLangTexts SKeyF9;
extern const TLangTexts SKeyF10;
extern const TLangTexts SKeyF11;
extern const TLangTexts SKeyF12;
extern const TLangTexts SKeyF13;
extern const TLangTexts SKeyF14;
extern const TLangTexts SKeyF15;
extern const TLangTexts SKeyGrave;
extern const TLangTexts SKeyHome;
extern const TLangTexts SKeyIns;
extern const TLangTexts SKeyJoy;
extern const TLangTexts SKeyKana;
extern const TLangTexts SKeyKanji;
extern const TLangTexts SKeyLAlt;
extern const TLangTexts SKeyLBracket;
extern const TLangTexts SKeyLCtrl;
extern const TLangTexts SKeyLeft;
extern const TLangTexts SKeyLShift;
extern const TLangTexts SKeyLWin;
extern const TLangTexts SKeyMail;
extern const TLangTexts SKeyMediaSelect;
extern const TLangTexts SKeyMediaStop;
extern const TLangTexts SKeyMinus;
extern const TLangTexts SKeyMouse;
extern const TLangTexts SKeyMute;
extern const TLangTexts SKeyMyComputer;
extern const TLangTexts SKeyNextTrack;
extern const TLangTexts SKeyNoConvert;
extern const TLangTexts SKeyNumLock;
extern const TLangTexts SKeyNumpad0;
extern const TLangTexts SKeyNumpad1;
extern const TLangTexts SKeyNumpad2;
extern const TLangTexts SKeyNumpad3;
extern const TLangTexts SKeyNumpad4;
extern const TLangTexts SKeyNumpad5;
extern const TLangTexts SKeyNumpad6;
extern const TLangTexts SKeyNumpad7;
extern const TLangTexts SKeyNumpad8;
extern const TLangTexts SKeyNumpad9;
extern const TLangTexts SKeyNumpadComma;
extern const TLangTexts SKeyNumpadEnter;
extern const TLangTexts SKeyNumpadEquals;
extern const TLangTexts SKeyNumpadMinus;
extern const TLangTexts SKeyNumpadPeriod;
extern const TLangTexts SKeyNumpadPlus;
extern const TLangTexts SKeyNumpadSlash;
extern const TLangTexts SKeyNumpadStar;
extern const TLangTexts SKeyOEM_102;
extern const TLangTexts SKeyPause;
extern const TLangTexts SKeyPeriod;
extern const TLangTexts SKeyPgDn;
extern const TLangTexts SKeyPgUp;
extern const TLangTexts SKeyPlayPause;
extern const TLangTexts SKeyPower;
extern const TLangTexts SKeyPrevTrack;
extern const TLangTexts SKeyRAlt;
extern const TLangTexts SKeyRBracket;
extern const TLangTexts SKeyRCtrl;
extern const TLangTexts SKeyRight;
extern const TLangTexts SKeyRShift;
extern const TLangTexts SKeyRWin;
extern const TLangTexts SKeyScrollLock;
extern const TLangTexts SKeySemicolon;
extern const TLangTexts SKeyShift;
extern const TLangTexts SKeySlash;
extern const TLangTexts SKeySleep;
extern const TLangTexts SKeySpace;
extern const TLangTexts SKeyStop;
extern const TLangTexts SKeySysRQ;
extern const TLangTexts SKeyTab;
extern const TLangTexts SKeyUnderline;
extern const TLangTexts SKeyUnlabeled;
extern const TLangTexts SKeyUp;
extern const TLangTexts SKeyVolumeDown;
extern const TLangTexts SKeyVolumeUp;
extern const TLangTexts SKeyWake;
extern const TLangTexts SKeyWebBack;
extern const TLangTexts SKeyWebFavorites;
extern const TLangTexts SKeyWebForward;
extern const TLangTexts SKeyWebHome;
extern const TLangTexts SKeyWebRefresh;
extern const TLangTexts SKeyWebSearch;
extern const TLangTexts SKeyWebStop;
extern const TLangTexts SKeyYen;
