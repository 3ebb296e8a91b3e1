#include "VmLang.h"

int Language = 1;
int GetLanguage() { return Language; }
std::string LangText(const TLangTexts &Texts) {
  const char *text = Texts[static_cast<size_t>(Language - 1)];
  return (text && *text) ? text : Texts[0];
}

const TLangTexts SMsgDlgWarning{"Warning", "Waarschuwing", "Warnung", "Attention", "Peligro", "Attenzione", "Advarsel", "Varning"};
const TLangTexts SMsgDlgError{"Error", "Fout", "Fehler", "Erreur", "Error", "Errore", "Fejl", "Fel"};
const TLangTexts SMsgDlgInformation{"Information", "Informatie", "Information", "Information", "Informaci\xF3n", "Informazione", "Information", "Information"};
const TLangTexts SMsgDlgConfirm{"Confirm", "Bevestiging", "Best\xE4tigung", "Confirmation", "Confirmaci\xF3n", "Conferma", "Bekr\xE6" "ftelse", "Konfirmation"};
const TLangTexts SMsgDlgYes{"&Yes", "&Ja", "&Ja", "&Oui", "&S\xED", "&Si", "&Ja", "&Ja"};
const TLangTexts SMsgDlgNo{"&No", "&Nee", "&Nein", "&Non", "&No", "&No", "&Nej", "&Nej"};
const TLangTexts SMsgDlgOK{"OK", "OK", "OK", "OK", "OK", "OK", "OK", "OK"};
const TLangTexts SMsgDlgCancel{"Cancel", "Annuleren", "Abbrechen", "Annuler", "Cancelar", "Annulla", "Fortryd", "Avbryt"};
const TLangTexts SMsgDlgAbort{"&Abort", "&Afbreken", "&Abbrechen", "&Abandonner", "&Abortar", "&Interrompi", "&Afbryd", "&Ta bort"};
const TLangTexts SMsgDlgRetry{"&Retry", "&Opnieuw", "&Wiederholen", "&R\xE9" "essayer", "&Reintentar", "&Riprova", "&Pr\xF8v igen", "&F\xF6rs\xF6k igen"};
const TLangTexts SMsgDlgIgnore{"&Ignore", "&Negeren", "&Ignorieren", "&Ignorer", "&Ignorar", "&Ignora", "&Ignor\xE9r", "&Ignorera"};
const TLangTexts SMsgDlgAll{"&All", "&Alle", "&Alles", "&Tout", "&Todo", "&Tutto", "&Alle", "&Allt"};
const TLangTexts SMsgDlgNoToAll{"N&o to All", "N&ee op alles", "N&ein zu Allem", "N&on \xE0 tout", "N&o a Todo", "N&o a Tutto", "N&ej til alle", "N&ej till Allt"};
const TLangTexts SMsgDlgYesToAll{"Yes to &All", "Ja op &alles", "Ja zu &Allem", "Oui \xE0 &tout", "S\xED a &Todo", "Si a &Tutto", "Ja til &Alle", "Ja till &Allt"};
const TLangTexts SMsgDlgHelp{"&Help", "&Help", "&Hilfe", "&Aide", "&Ayuda", "&Aiuto", "&Hj\xE6lp", "&Hj\xE4lp"};
