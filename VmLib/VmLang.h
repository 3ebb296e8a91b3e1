// Placeholder until the language tables land: only the rows the message
// dialog needs, English and the other seven languages.
#pragma once

#include <array>
#include <string>

using TLangTexts = std::array<const char *, 8>;

extern int Language;
int GetLanguage();
std::string LangText(const TLangTexts &Texts);

extern const TLangTexts SMsgDlgWarning, SMsgDlgError, SMsgDlgInformation, SMsgDlgConfirm, SMsgDlgYes, SMsgDlgNo,
    SMsgDlgOK, SMsgDlgCancel, SMsgDlgAbort, SMsgDlgRetry, SMsgDlgIgnore, SMsgDlgAll, SMsgDlgNoToAll,
    SMsgDlgYesToAll, SMsgDlgHelp;
