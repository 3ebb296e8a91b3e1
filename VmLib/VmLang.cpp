#include "VmLang.h"

#include "SysUtils.h"

int Language = langEnglish;

int GetLanguage() { return Language; }

std::string LangText(const TLangTexts &Texts) {
  Assert(Language >= 1 && Language <= LanguageCount, "Language out of range", "VmLib\\VmLang", __LINE__);
  const char *text = Texts[Language - 1];
  if (text == nullptr || *text == '\0')
    text = Texts[langEnglish - 1];
  return text;
}

// The texts. Entries in language order: English, Dutch, German, French,
// Spanish, Italian, Danish, Swedish. Non-ASCII characters are Windows-1252
// bytes; a string is split after an escape that a hex digit follows.

// Message dialog captions and buttons
const TLangTexts SMsgDlgWarning = {
    "Warning",
    "Waarschuwing",
    "Warnung",
    "Attention",
    "Peligro",
    "Attenzione",
    "Advarsel",
    "Varning"
};
const TLangTexts SMsgDlgError = {"Error", "Fout", "Fehler", "Erreur", "Error", "Errore", "Fejl", "Fel"};
const TLangTexts SMsgDlgInformation = {
    "Information",
    "Informatie",
    "Information",
    "Information",
    "Informaci\xF3n",
    "Informazione",
    "Information",
    "Information"
};
const TLangTexts SMsgDlgConfirm = {
    "Confirm",
    "Bevestiging",
    "Best\xE4tigung",
    "Confirmation",
    "Confirmaci\xF3n",
    "Conferma",
    "Bekr\xE6" "ftelse",
    "Konfirmation"
};
const TLangTexts SMsgDlgYes = {"&Yes", "&Ja", "&Ja", "&Oui", "&S\xED", "&Si", "&Ja", "&Ja"};
const TLangTexts SMsgDlgNo = {"&No", "&Nee", "&Nein", "&Non", "&No", "&No", "&Nej", "&Nej"};
const TLangTexts SMsgDlgOK = {"OK", "OK", "OK", "OK", "OK", "OK", "OK", "OK"};
const TLangTexts SMsgDlgCancel = {
    "Cancel",
    "Annuleren",
    "Abbrechen",
    "Annuler",
    "Cancelar",
    "Annulla",
    "Fortryd",
    "Avbryt"
};
const TLangTexts SMsgDlgAbort = {
    "&Abort",
    "&Afbreken",
    "&Abbrechen",
    "&Abandonner",
    "&Abortar",
    "&Interrompi",
    "&Afbryd",
    "&Ta bort"
};
const TLangTexts SMsgDlgRetry = {
    "&Retry",
    "&Opnieuw",
    "&Wiederholen",
    "&R\xE9" "essayer",
    "&Reintentar",
    "&Riprova",
    "&Pr\xF8v igen",
    "&F\xF6rs\xF6k igen"
};
const TLangTexts SMsgDlgIgnore = {
    "&Ignore",
    "&Negeren",
    "&Ignorieren",
    "&Ignorer",
    "&Ignorar",
    "&Ignora",
    "&Ignor\xE9r",
    "&Ignorera"
};
const TLangTexts SMsgDlgAll = {"&All", "&Alle", "&Alles", "&Tout", "&Todo", "&Tutto", "&Alle", "&Allt"};
const TLangTexts SMsgDlgNoToAll = {
    "N&o to All",
    "N&ee op alles",
    "N&ein zu Allem",
    "N&on \xE0 tout",
    "N&o a Todo",
    "N&o a Tutto",
    "N&ej til alle",
    "N&ej till Allt"
};
const TLangTexts SMsgDlgYesToAll = {
    "Yes to &All",
    "Ja op &alles",
    "Ja zu &Allem",
    "Oui \xE0 &tout",
    "S\xED a &Todo",
    "Si a &Tutto",
    "Ja til &Alle",
    "Ja till &Allt"
};
const TLangTexts SMsgDlgHelp = {"&Help", "&Help", "&Hilfe", "&Aide", "&Ayuda", "&Aiuto", "&Hj\xE6lp", "&Hj\xE4lp"};

// Folder browser
const TLangTexts SBrowseFolderName = {
    "Folder &Name:",
    "&Naam van map:",
    "&Name der Mappe:",
    "&R\xE9pertoire:",
    "&Nombre de Carpeta:",
    "&Nome cartella:",
    "&Mappe navn:",
    "&Mappnamn:"
};
const TLangTexts SBrowseSelectSource = {
    "Select Source Folder",
    "Selecteer bronmap",
    "W\xE4hlen sie den Quell Ordner",
    "S\xE9lectionnez le dossier source",
    "",
    "Seleziona la cartella sorgente",
    "V\xE6lg kildemappe",
    ""
};
const TLangTexts SBrowseSelectDestination = {
    "Select Destination Folder",
    "Selecteer doelmap",
    "W\xE4hlen sie den bestimmungsordner",
    "S\xE9lectionnez le dossier de destination",
    "",
    "Seleziona la cartella destinazione",
    "V\xE6lg modtager mappe",
    ""
};
const TLangTexts SBrowseInvalidFolderName = {
    "This folder name is not valid.",
    "Deze mapnaam is niet geldig.",
    "Dieser Verzeichnis-Name ist nicht korrekt.",
    "Ce r\xE9pertoire n'est pas valide",
    "El nombre de esta carpeta no es valido",
    "Questo nome di cartella non \xE8 valido.",
    "Dette er ikke et gyldigt mappe navn.",
    "Detta mappnamn g\xE4ller inte."
};
const TLangTexts SBrowsePathNotFound = {
    "The path does not exist. Make sure that the correct path is given.",
    "Het pad bestaat niet. Voer a.u.b. een bestaand pad in.",
    "Der Pfad existiert nicht. Stellen Sie sicher, dass der korrekte Pfad eingegeben ist.",
    "Ce chemin d'acc\xE8s n'existe pas. Assurez-vous d'avoir indiqu\xE9 le bon chemin d'acc\xE8s.",
    "La ruta de acceso no existe. Asegurese de indicar la ruta correcta.",
    "Questo percorso (path) non esite. Assicurarsi che sia stato usato il percorso corretto.",
    "Stien findes ikke. Kontroll\xE9r at den rigtige sti er angivet.",
    "S\xF6kv\xE4gen finns inte. Kontrollera att r\xE4tt s\xF6kv\xE4g \xE4r angiven."
};
const TLangTexts SBrowseFolderNotFound = {
    "This folder cannot be found. Make sure that the correct path and folder name are given.",
    "Deze map bestaat niet. Voer a.u.b. een bestaande map in.",
    "Dieses Verzeichnis ist nicht auffindbar. Stellen Sie sicher, dass der Pfad und der Verzeichnis-Name korrekt ist.",
    "Ce r\xE9pertoire est introuvable. Assurez-vous d'avoir indiqu\xE9 le bon chemin d'acc\xE8s et le bon r\xE9pertoire",
    "Esta carpeta no se encuentra. Asegurese de indicar la ruta y la carpeta correctas.",
    "Questa cartella non \xE9 stata trovata. Assicurarsi che percorso (path) e nome cartella siano esatti.",
    "Mappen kan ikke findes. Kontroll\xE9r at den rigtige sti og mappe er angivet.",
    "Denna mapp kan inte hittas. Kontrollera att r\xE4tt s\xF6kv\xE4g och mappnamn \xE4r r\xE4tt angivna."
};
const TLangTexts SBrowseCreateFolder = {
    "This folder does not exist. Do you want to create it?",
    "Deze map bestaat niet. Wilt u de map maken?",
    "Dieses Verzeichnis existiert nicht. Wollen Sie es erzeugen?",
    "Ce r\xE9pertoire n'existe pas. Souhaitez-vous le cr\xE9" "er?",
    "Esta carpeta no existe. Desea crearla?",
    "Questa cartella non esiste, crearla?",
    "Mappen eksisterer ikke. Vil du oprette den?",
    "Denna mapp finns inte. \xD6nskar Ni skapa den?"
};
const TLangTexts SBrowseReadOnlyFolder = {
    "This folder is read-only. Please use a different name.",
    "Dit is een alleen-lezen map. Gebruik a.u.b. een andere naam.",
    "Dieses Verzeichnis ist schreibgesch\xFCtzt. Bitte benutzen Sie einen anderen Namen",
    "Ce r\xE9pertoire est en lecture seule. Utilisez un autre nom.",
    "Esta carpeta es de solo lectura. Por favor, utilice un nombre diferente.",
    "Questa cartella \xE8 di sola lettura. Usare un nome diverso.",
    "Denne mappe er skrivebeskyttet. Brug venligst et andet navn.",
    "Denna mapp kan bara l\xE4sas. V\xE4nligen anv\xE4nd ett annat namn."
};

// File list columns
const TLangTexts SListColumnName = {"Name", "Naam", "Name", "Nom", "Nombre", "Nome", "Navn", "Namn"};
const TLangTexts SListColumnInFolder = {
    "In folder",
    "In map",
    "In Verzeichnis",
    "Dans classeur",
    "En la carpeta",
    "In cartella",
    "I mappe",
    "I mapp"
};
const TLangTexts SListColumnSize = {
    "Size",
    "Grootte",
    "Gr\xF6" "\xDF" "e",
    "Taille",
    "Tama\xF1o",
    "Dimensione",
    "St\xF8rrelse",
    "Storlek"
};
const TLangTexts SListColumnType = {"Type", "Type", "Typ", "Type", "Tipo", "Tipo", "Type", "Typ"};
const TLangTexts SListColumnModified = {
    "Modified",
    "Gewijzigd",
    "Ver\xE4ndert",
    "Modifi\xE9",
    "Modificado",
    "Modificato",
    "\xC6ndret",
    "\xC4ndrad"
};

// Path edits
const TLangTexts SInvalidPath = {
    "Invalid path.",
    "Ongeldige bestandsaanduiding.",
    "Ung\xFCltiger Pfad.",
    "Chemin invalide.",
    "Ruta de acceso incorrecta.",
    "Percorso (Path) non valido.",
    "Ugyldig sti.",
    "Ogiltig s\xF6kv\xE4g"
};
const TLangTexts SInvalidFileName = {
    "Invalid file name.",
    "Ongeldige bestandsaanduiding.",
    "Ung\xFCltiger Dateiname.",
    "Nom de fichier invalide.",
    "Nombre de archivo incorrecto.",
    "Nome file non valido.",
    "Ugyldigt fil navn",
    "Ogiltigt filnamn"
};

// Lists indexed by language: LangText yields the code or name of the current language
const TLangTexts SLanguageCode = {"EN", "NL", "DE", "FR", "SP", "IT", "DK", "SW"};
const TLangTexts SLanguageName = {"English", "Dutch", "German", "French", "Spanish", "Italiano", "Danish", "Swedish"};
const TLangTexts SLanguageOwnName = {
    "English",
    "Nederlands",
    "Deutsch",
    "Fran\xE7" "ais",
    "Espa\xF1ol",
    "Italiano",
    "Dansk",
    "Svensk"
};

// Button and window words
const TLangTexts SButtonClose = {
    "&Close",
    "&Sluiten",
    "&Schlie\xDF" "en",
    "&Fermer",
    "&Cerrar",
    "&Chiudi",
    "&Luk",
    "&St\xE4ng"
};
const TLangTexts SButtonDetails = {
    "&Details",
    "&Details",
    "&Details",
    "&D\xE9tails",
    "&Detalles",
    "&Dettagli",
    "&Detaljer",
    "&Detaljer"
};
const TLangTexts SButtonExit = {
    "&Exit",
    "&Afsluiten",
    "&Beenden",
    "&Quitter",
    "&Salir",
    "&Esci",
    "&Afslut",
    "&Avsluta"
};
const TLangTexts SButtonOpen = {
    "&Open",
    "&Openen",
    "\xD6&ffnen",
    "&Ouvrir",
    "&Abrir",
    "&Apri",
    "&\xC5" "bn",
    "&\xD6ppna"
};
const TLangTexts SButtonSave = {
    "&Save",
    "&Opslaan",
    "&Speichern",
    "&Enregistrer",
    "&Guardar",
    "&Salva",
    "&Gem",
    "&Spara"
};
const TLangTexts SNone = {"None", "Geen", "Keine", "Aucun", "Ninguno", "Nessuno", "Ingen", "Ingen"};

// Colour names
const TLangTexts SColorBlack = {"Black", "Zwart", "Schwarz", "Noir", "Negro", "Nero", "Sort", "Svart"};
const TLangTexts SColorBlue = {"Blue", "Blauw", "Blau", "Bleu", "Azul", "Blu", "Bl\xE5", "Bl\xE5"};
const TLangTexts SColorBrightGreen = {
    "Bright green",
    "Heldergroen",
    "Hellgr\xFCn",
    "Vert vif",
    "Verde claro",
    "Verde brillante",
    "Lysegr\xF8n",
    "Ljusgr\xF6n"
};
const TLangTexts SColorDarkBlue = {
    "Dark blue",
    "Donkerblauw",
    "Dunkelblau",
    "Bleu fonc\xE9",
    "Azul oscuro",
    "Blu scuro",
    "M\xF8rkebl\xE5",
    "M\xF6rkbl\xE5"
};
const TLangTexts SColorDarkRed = {
    "Dark red",
    "Donkerrood",
    "Dunkelrot",
    "Rouge fonc\xE9",
    "Rojo oscuro",
    "Rosso scuro",
    "M\xF8rker\xF8" "d",
    "M\xF6rkr\xF6" "d"
};
const TLangTexts SColorDarkYellow = {
    "Dark yellow",
    "Donkergeel",
    "Dunkelgelb",
    "Jaune fonc\xE9",
    "Amarillo oscuro",
    "Giallo scuro",
    "M\xF8rkegul",
    "M\xF6rkgul"
};
const TLangTexts SColorGray25 = {
    "Gray 25%",
    "Grijs 25%",
    "Grau 25%",
    "Gris 25%",
    "Gris 25%",
    "Grigio 25%",
    "Gr\xE5 25%",
    "Gr\xE5 25%"
};
const TLangTexts SColorGray50 = {
    "Gray 50%",
    "Grijs 50%",
    "Grau 50%",
    "Gris 50%",
    "Gris 50%",
    "Grigio 50%",
    "Gr\xE5 50%",
    "Gr\xE5 50%"
};
const TLangTexts SColorGreen = {"Green", "Groen", "Gr\xFCn", "Vert", "Verde", "Verde", "Gr\xF8n", "Gr\xF6n"};
const TLangTexts SColorPink = {"Pink", "Roze", "Rosa", "Rose", "Rosa", "Rosa", "Lyser\xF8" "d", "Rosa"};
const TLangTexts SColorRed = {"Red", "Rood", "Rot", "Rouge", "Rojo", "Rosso", "R\xF8" "d", "R\xF6" "d"};
const TLangTexts SColorTeal = {
    "Teal",
    "Blauwgroen",
    "Blaugr\xFCn",
    "Sarcelle",
    "Verde azulado",
    "Verde acqua",
    "Bl\xE5gr\xF8n",
    "Bl\xE5gr\xF6n"
};
const TLangTexts SColorTurquoise = {
    "Turquoise",
    "Turkoois",
    "T\xFCrkis",
    "Turquoise",
    "Turquesa",
    "Turchese",
    "Turkis",
    "Turkos"
};
const TLangTexts SColorViolet = {"Violet", "Violet", "Violett", "Violet", "Violeta", "Viola", "Violet", "Violett"};
const TLangTexts SColorWhite = {"White", "Wit", "Wei\xDF", "Blanc", "Blanco", "Bianco", "Hvid", "Vit"};
const TLangTexts SColorYellow = {"Yellow", "Geel", "Gelb", "Jaune", "Amarillo", "Giallo", "Gul", "Gul"};

// Error log
const TLangTexts SErrorLogSaved = {
    "The error was added to the error log and saved to the following file:",
    "De fout is aan het foutenlogboek toegevoegd en opgeslagen in het volgende bestand:",
    "Der Fehler wurde dem Fehlerprotokoll hinzugef\xFCgt und in folgender Datei gespeichert:",
    "L'erreur a \xE9t\xE9 ajout\xE9" "e au journal des erreurs et enregistr\xE9" "e dans le fichier suivant:",
    "El error se ha a\xF1" "adido al registro de errores y se ha guardado en el siguiente archivo:",
    "L'errore \xE8 stato aggiunto al registro degli errori e salvato nel file seguente:",
    "Fejlen er f\xF8jet til fejlloggen og gemt i f\xF8lgende fil:",
    "Felet har lagts till i felloggen och sparats i f\xF6ljande fil:"
};
const TLangTexts SErrorLogView = {
    "Do you wish to view the error log?",
    "Wilt u het foutenlogboek bekijken?",
    "M\xF6" "chten Sie das Fehlerprotokoll ansehen?",
    "Voulez-vous afficher le journal des erreurs?",
    "\xBF" "Desea ver el registro de errores?",
    "Visualizzare il registro degli errori?",
    "Vil du se fejlloggen?",
    "Vill du visa felloggen?"
};
const TLangTexts SErrorIn = {
    "Error in %s",
    "Fout in %s",
    "Fehler in %s",
    "Erreur dans %s",
    "Error en %s",
    "Errore in %s",
    "Fejl i %s",
    "Fel i %s"
};

// Display requirements
const TLangTexts SDirectXCheckAdapter = {
    "Is your graphics adapter compatible with DirectX 8? Do you want to run the DirectX diagnostic tool to find out?",
    "Is uw grafische kaart compatibel met DirectX 8? Wilt u het DirectX-diagnoseprogramma starten om dit na te gaan?",
    "Ist Ihre Grafikkarte mit DirectX 8 kompatibel? M\xF6" "chten Sie das DirectX-Diagnoseprogramm starten, um dies zu pr\xFC" "fen?",
    "Votre carte graphique est-elle compatible avec DirectX 8? Voulez-vous lancer l'outil de diagnostic DirectX pour le v\xE9rifier?",
    "\xBF" "Es su tarjeta gr\xE1" "fica compatible con DirectX 8? \xBF" "Desea ejecutar la herramienta de diagn\xF3stico de DirectX para comprobarlo?",
    "La scheda grafica \xE8 compatibile con DirectX 8? Avviare lo strumento di diagnostica DirectX per verificarlo?",
    "Er dit grafikkort kompatibelt med DirectX 8? Vil du k\xF8re DirectX-diagnosev\xE6rkt\xF8jet for at unders\xF8ge det?",
    "\xC4r ditt grafikkort kompatibelt med DirectX 8? Vill du k\xF6ra DirectX-diagnosverktyget f\xF6r att ta reda p\xE5 det?"
};
const TLangTexts SDXDiagNotFound = {
    "DXDiag could no be found. Please install DirectX 8 or a higher version.",
    "DXDiag kon niet worden gevonden. Installeer a.u.b. DirectX 8 of een hogere versie.",
    "DXDiag wurde nicht gefunden. Bitte installieren Sie DirectX 8 oder eine h\xF6here Version.",
    "DXDiag est introuvable. Veuillez installer DirectX 8 ou une version plus r\xE9" "cente.",
    "No se ha encontrado DXDiag. Instale DirectX 8 o una versi\xF3n superior.",
    "Impossibile trovare DXDiag. Installare DirectX 8 o una versione successiva.",
    "DXDiag blev ikke fundet. Install\xE9r venligst DirectX 8 eller en nyere version.",
    "DXDiag kunde inte hittas. Installera DirectX 8 eller en senare version."
};
const TLangTexts SDirectXExamineError = {
    "An error occured during examination of the available DirectX 8 support.",
    "Er is een fout opgetreden bij het onderzoeken van de beschikbare DirectX 8-ondersteuning.",
    "Bei der Pr\xFC" "fung der verf\xFCgbaren DirectX 8-Unterst\xFCtzung ist ein Fehler aufgetreten.",
    "Une erreur s'est produite lors de l'examen de la prise en charge de DirectX 8.",
    "Se ha producido un error al examinar la compatibilidad disponible con DirectX 8.",
    "Si \xE8 verificato un errore durante la verifica del supporto DirectX 8 disponibile.",
    "Der opstod en fejl under unders\xF8gelsen af den tilg\xE6ngelige DirectX 8-underst\xF8ttelse.",
    "Ett fel uppstod n\xE4r det tillg\xE4ngliga st\xF6" "det f\xF6r DirectX 8 unders\xF6ktes."
};
const TLangTexts SNoDirectXAdapter = {
    "No DirectX 8 compatible Graphics Adapter was found.",
    "Er is geen met DirectX 8 compatibele grafische kaart gevonden.",
    "Es wurde keine DirectX 8-kompatible Grafikkarte gefunden.",
    "Aucune carte graphique compatible DirectX 8 n'a \xE9t\xE9 trouv\xE9" "e.",
    "No se ha encontrado ninguna tarjeta gr\xE1" "fica compatible con DirectX 8.",
    "Non \xE8 stata trovata alcuna scheda grafica compatibile con DirectX 8.",
    "Der blev ikke fundet noget DirectX 8-kompatibelt grafikkort.",
    "Inget DirectX 8-kompatibelt grafikkort hittades."
};
const TLangTexts SColorDepthTooLow = {
    "The desktop needs a colour resolution of 16 bits or more. Do you want to open the screen settings?",
    "Het bureaublad heeft een kleurdiepte van 16 bits of meer nodig. Wilt u de beeldscherminstellingen openen?",
    "Der Desktop ben\xF6tigt eine Farbtiefe von mindestens 16 Bit. M\xF6" "chten Sie die Bildschirmeinstellungen \xF6" "ffnen?",
    "Le bureau doit avoir une r\xE9solution de couleurs d'au moins 16 bits. Voulez-vous ouvrir les param\xE8tres d'affichage?",
    "El escritorio necesita una resoluci\xF3n de color de 16 bits o m\xE1s. \xBF" "Desea abrir la configuraci\xF3n de pantalla?",
    "Il desktop richiede una risoluzione dei colori di almeno 16 bit. Aprire le impostazioni dello schermo?",
    "Skrivebordet kr\xE6ver en farveopl\xF8sning p\xE5 16 bit eller mere. Vil du \xE5" "bne sk\xE6rmindstillingerne?",
    "Skrivbordet beh\xF6ver en f\xE4rguppl\xF6sning p\xE5 16 bitar eller mer. Vill du \xF6ppna bildsk\xE4rmsinst\xE4llningarna?"
};
const TLangTexts SDirectXRequired = {
    "DirectX 8.0 or higher is needed. You can download it from www.microsoft.com/directx.",
    "DirectX 8.0 of hoger is vereist. U kunt het downloaden van www.microsoft.com/directx.",
    "DirectX 8.0 oder h\xF6her wird ben\xF6tigt. Sie k\xF6nnen es von www.microsoft.com/directx herunterladen.",
    "DirectX 8.0 ou une version sup\xE9rieure est n\xE9" "cessaire. Vous pouvez le t\xE9l\xE9" "charger sur www.microsoft.com/directx.",
    "Se necesita DirectX 8.0 o superior. Puede descargarlo de www.microsoft.com/directx.",
    "\xC8 necessario DirectX 8.0 o superiore. \xC8 possibile scaricarlo da www.microsoft.com/directx.",
    "DirectX 8.0 eller nyere er p\xE5kr\xE6vet. Du kan hente det p\xE5 www.microsoft.com/directx.",
    "DirectX 8.0 eller senare kr\xE4vs. Du kan h\xE4mta det fr\xE5n www.microsoft.com/directx."
};

// Compass points, clockwise from north
const TLangTexts SCompassN = {"N", "N", "N", "N", "N", "N", "N", "N"};
const TLangTexts SCompassNNE = {"NNE", "NNO", "NNO", "NNE", "NNE", "NNE", "NN\xD8", "NNO"};
const TLangTexts SCompassNE = {"NE", "NO", "NO", "NE", "NE", "NE", "N\xD8", "NO"};
const TLangTexts SCompassENE = {"ENE", "ONO", "ONO", "ENE", "ENE", "ENE", "\xD8N\xD8", "ONO"};
const TLangTexts SCompassE = {"E", "O", "O", "E", "E", "E", "\xD8", "O"};
const TLangTexts SCompassESE = {"ESE", "OZO", "OSO", "ESE", "ESE", "ESE", "\xD8S\xD8", "OSO"};
const TLangTexts SCompassSE = {"SE", "ZO", "SO", "SE", "SE", "SE", "S\xD8", "SO"};
const TLangTexts SCompassSSE = {"SSE", "ZZO", "SSO", "SSE", "SSE", "SSE", "SS\xD8", "SSO"};
const TLangTexts SCompassS = {"S", "Z", "S", "S", "S", "S", "S", "S"};
const TLangTexts SCompassSSW = {"SSW", "ZZW", "SSW", "SSO", "SSO", "SSO", "SSV", "SSV"};
const TLangTexts SCompassSW = {"SW", "ZW", "SW", "SO", "SO", "SO", "SV", "SV"};
const TLangTexts SCompassWSW = {"WSW", "WZW", "WSW", "OSO", "OSO", "OSO", "VSV", "VSV"};
const TLangTexts SCompassW = {"W", "W", "W", "O", "O", "O", "V", "V"};
const TLangTexts SCompassWNW = {"WNW", "WNW", "WNW", "ONO", "ONO", "ONO", "VNV", "VNV"};
const TLangTexts SCompassNW = {"NW", "NW", "NW", "NO", "NO", "NO", "NV", "NV"};
const TLangTexts SCompassNNW = {"NNW", "NNW", "NNW", "NNO", "NNO", "NNO", "NNV", "NNV"};

// Key names, for showing keyboard shortcuts (no Spanish and no Swedish names)
const TLangTexts SKeyABNT_C1 = {"ABNT_C1", "ABNT_C1", "ABNT_C1", "ABNT_C1", "", "ABNT_C1", "ABNT_C1", ""};
const TLangTexts SKeyABNT_C2 = {"ABNT_C2", "ABNT_C2", "ABNT_C2", "ABNT_C2", "", "ABNT_C2", "ABNT_C2", ""};
const TLangTexts SKeyAlt = {"Alt", "Alt", "Alt", "Alt", "", "Alt", "Alt", ""};
const TLangTexts SKeyApostrophe = {
    "Apostrophe",
    "Apostrof",
    "Apostroph",
    "Apostrophe",
    "",
    "Apostrofo",
    "Apostrof",
    ""
};
const TLangTexts SKeyAppMenu = {
    "AppMenu",
    "Toepassingsmenu",
    "Anwendungsmen\xFC",
    "Menu contextuel",
    "",
    "Menu applicazione",
    "Programmenu",
    ""
};
const TLangTexts SKeyAx = {"Ax", "Ax", "Ax", "Ax", "", "Ax", "Ax", ""};
const TLangTexts SKeyBackslash = {
    "Backslash",
    "Backslash",
    "Umgekehrter Schr\xE4gstrich",
    "Barre oblique inverse",
    "",
    "Barra rovesciata",
    "Omvendt skr\xE5streg",
    ""
};
const TLangTexts SKeyBkSp = {"BkSp", "Backspace", "R\xFC" "ck", "Retour arri\xE8re", "", "Backspace", "Tilbage", ""};
const TLangTexts SKeyCalculator = {
    "Calculator",
    "Rekenmachine",
    "Rechner",
    "Calculatrice",
    "",
    "Calcolatrice",
    "Lommeregner",
    ""
};
const TLangTexts SKeyCapsLock = {"CapsLock", "CapsLock", "Feststell", "Verr Maj", "", "BlocMaiusc", "CapsLock", ""};
const TLangTexts SKeyColon = {"Colon", "Dubbele punt", "Doppelpunkt", "Deux-points", "", "Due punti", "Kolon", ""};
const TLangTexts SKeyComma = {"Comma", "Komma", "Komma", "Virgule", "", "Virgola", "Komma", ""};
const TLangTexts SKeyConvert = {
    "Convert",
    "Converteren",
    "Konvertieren",
    "Convertir",
    "",
    "Converti",
    "Konvert\xE9r",
    ""
};
const TLangTexts SKeyCtrl = {"Ctrl", "Ctrl", "Strg", "Ctrl", "", "Ctrl", "Ctrl", ""};
const TLangTexts SKeyDel = {"Del", "Del", "Entf", "Suppr", "", "Canc", "Del", ""};
const TLangTexts SKeyDown = {"Down", "Omlaag", "Ab", "Bas", "", "Gi\xF9", "Ned", ""};
const TLangTexts SKeyEnd = {"End", "End", "Ende", "Fin", "", "Fine", "End", ""};
const TLangTexts SKeyEnter = {"Enter", "Enter", "Eingabe", "Entr\xE9" "e", "", "Invio", "Enter", ""};
const TLangTexts SKeyEquals = {
    "Equals",
    "Is-gelijkteken",
    "Gleichheitszeichen",
    "\xC9gal",
    "",
    "Uguale",
    "Lighedstegn",
    ""
};
const TLangTexts SKeyEsc = {"Esc", "Esc", "Esc", "\xC9" "chap", "", "Esc", "Esc", ""};
const TLangTexts SKeyF1 = {"F1", "F1", "F1", "F1", "", "F1", "F1", ""};
const TLangTexts SKeyF2 = {"F2", "F2", "F2", "F2", "", "F2", "F2", ""};
const TLangTexts SKeyF3 = {"F3", "F3", "F3", "F3", "", "F3", "F3", ""};
const TLangTexts SKeyF4 = {"F4", "F4", "F4", "F4", "", "F4", "F4", ""};
const TLangTexts SKeyF5 = {"F5", "F5", "F5", "F5", "", "F5", "F5", ""};
const TLangTexts SKeyF6 = {"F6", "F6", "F6", "F6", "", "F6", "F6", ""};
const TLangTexts SKeyF7 = {"F7", "F7", "F7", "F7", "", "F7", "F7", ""};
const TLangTexts SKeyF8 = {"F8", "F8", "F8", "F8", "", "F8", "F8", ""};
const TLangTexts SKeyF9 = {"F9", "F9", "F9", "F9", "", "F9", "F9", ""};
const TLangTexts SKeyF10 = {"F10", "F10", "F10", "F10", "", "F10", "F10", ""};
const TLangTexts SKeyF11 = {"F11", "F11", "F11", "F11", "", "F11", "F11", ""};
const TLangTexts SKeyF12 = {"F12", "F12", "F12", "F12", "", "F12", "F12", ""};
const TLangTexts SKeyF13 = {"F13", "F13", "F13", "F13", "", "F13", "F13", ""};
const TLangTexts SKeyF14 = {"F14", "F14", "F14", "F14", "", "F14", "F14", ""};
const TLangTexts SKeyF15 = {"F15", "F15", "F15", "F15", "", "F15", "F15", ""};
const TLangTexts SKeyGrave = {
    "Grave",
    "Accent grave",
    "Gravis",
    "Accent grave",
    "",
    "Accento grave",
    "Accent grave",
    ""
};
const TLangTexts SKeyHome = {"Home", "Home", "Pos1", "Origine", "", "Home", "Home", ""};
const TLangTexts SKeyIns = {"Ins", "Ins", "Einfg", "Inser", "", "Ins", "Ins", ""};
const TLangTexts SKeyJoy = {"Joy", "Joystick", "Joystick", "Manette", "", "Joystick", "Joystick", ""};
const TLangTexts SKeyKana = {"Kana", "Kana", "Kana", "Kana", "", "Kana", "Kana", ""};
const TLangTexts SKeyKanji = {"Kanji", "Kanji", "Kanji", "Kanji", "", "Kanji", "Kanji", ""};
const TLangTexts SKeyLAlt = {"LAlt", "Linker Alt", "Alt links", "Alt gauche", "", "Alt sinistro", "Venstre Alt", ""};
const TLangTexts SKeyLBracket = {
    "LBracket",
    "Openingshaak",
    "Eckige Klammer auf",
    "Crochet ouvrant",
    "",
    "Parentesi quadra aperta",
    "Venstre kantparentes",
    ""
};
const TLangTexts SKeyLCtrl = {
    "LCtrl",
    "Linker Ctrl",
    "Strg links",
    "Ctrl gauche",
    "",
    "Ctrl sinistro",
    "Venstre Ctrl",
    ""
};
const TLangTexts SKeyLeft = {"Left", "Links", "Links", "Gauche", "", "Sinistra", "Venstre", ""};
const TLangTexts SKeyLShift = {
    "LShift",
    "Linker Shift",
    "Umschalt links",
    "Maj gauche",
    "",
    "Maiusc sinistro",
    "Venstre Skift",
    ""
};
const TLangTexts SKeyLWin = {
    "LWin",
    "Linker Windows",
    "Windows links",
    "Windows gauche",
    "",
    "Windows sinistro",
    "Venstre Windows",
    ""
};
const TLangTexts SKeyMail = {"Mail", "E-mail", "E-Mail", "Courrier", "", "Posta", "E-mail", ""};
const TLangTexts SKeyMediaSelect = {
    "MediaSelect",
    "Media selecteren",
    "Medienauswahl",
    "S\xE9lection m\xE9" "dia",
    "",
    "Selezione supporto",
    "V\xE6lg medie",
    ""
};
const TLangTexts SKeyMediaStop = {
    "MediaStop",
    "Media stoppen",
    "Medien Stopp",
    "Arr\xEAt m\xE9" "dia",
    "",
    "Arresto supporto",
    "Stop medie",
    ""
};
const TLangTexts SKeyMinus = {"Minus", "Min", "Minus", "Moins", "", "Meno", "Minus", ""};
const TLangTexts SKeyMouse = {"Mouse", "Muis", "Maus", "Souris", "", "Mouse", "Mus", ""};
const TLangTexts SKeyMute = {"Mute", "Geluid uit", "Stumm", "Muet", "", "Muto", "Lyd fra", ""};
const TLangTexts SKeyMyComputer = {
    "MyComputer",
    "Deze computer",
    "Arbeitsplatz",
    "Poste de travail",
    "",
    "Risorse del computer",
    "Denne computer",
    ""
};
const TLangTexts SKeyNextTrack = {
    "NextTrack",
    "Volgend nummer",
    "N\xE4" "chster Titel",
    "Piste suivante",
    "",
    "Traccia successiva",
    "N\xE6ste nummer",
    ""
};
const TLangTexts SKeyNoConvert = {
    "NoConvert",
    "Niet converteren",
    "Nicht konvertieren",
    "Pas de conversion",
    "",
    "Non convertire",
    "Konvert\xE9r ikke",
    ""
};
const TLangTexts SKeyNumLock = {"NumLock", "NumLock", "Num", "Verr Num", "", "BlocNum", "NumLock", ""};
const TLangTexts SKeyNumpad0 = {
    "Numpad0",
    "Numeriek 0",
    "Ziffernblock 0",
    "Pav\xE9 num 0",
    "",
    "Tastierino 0",
    "Numerisk 0",
    ""
};
const TLangTexts SKeyNumpad1 = {
    "Numpad1",
    "Numeriek 1",
    "Ziffernblock 1",
    "Pav\xE9 num 1",
    "",
    "Tastierino 1",
    "Numerisk 1",
    ""
};
const TLangTexts SKeyNumpad2 = {
    "Numpad2",
    "Numeriek 2",
    "Ziffernblock 2",
    "Pav\xE9 num 2",
    "",
    "Tastierino 2",
    "Numerisk 2",
    ""
};
const TLangTexts SKeyNumpad3 = {
    "Numpad3",
    "Numeriek 3",
    "Ziffernblock 3",
    "Pav\xE9 num 3",
    "",
    "Tastierino 3",
    "Numerisk 3",
    ""
};
const TLangTexts SKeyNumpad4 = {
    "Numpad4",
    "Numeriek 4",
    "Ziffernblock 4",
    "Pav\xE9 num 4",
    "",
    "Tastierino 4",
    "Numerisk 4",
    ""
};
const TLangTexts SKeyNumpad5 = {
    "Numpad5",
    "Numeriek 5",
    "Ziffernblock 5",
    "Pav\xE9 num 5",
    "",
    "Tastierino 5",
    "Numerisk 5",
    ""
};
const TLangTexts SKeyNumpad6 = {
    "Numpad6",
    "Numeriek 6",
    "Ziffernblock 6",
    "Pav\xE9 num 6",
    "",
    "Tastierino 6",
    "Numerisk 6",
    ""
};
const TLangTexts SKeyNumpad7 = {
    "Numpad7",
    "Numeriek 7",
    "Ziffernblock 7",
    "Pav\xE9 num 7",
    "",
    "Tastierino 7",
    "Numerisk 7",
    ""
};
const TLangTexts SKeyNumpad8 = {
    "Numpad8",
    "Numeriek 8",
    "Ziffernblock 8",
    "Pav\xE9 num 8",
    "",
    "Tastierino 8",
    "Numerisk 8",
    ""
};
const TLangTexts SKeyNumpad9 = {
    "Numpad9",
    "Numeriek 9",
    "Ziffernblock 9",
    "Pav\xE9 num 9",
    "",
    "Tastierino 9",
    "Numerisk 9",
    ""
};
const TLangTexts SKeyNumpadComma = {
    "NumpadComma",
    "Numeriek komma",
    "Ziffernblock Komma",
    "Pav\xE9 num virgule",
    "",
    "Tastierino virgola",
    "Numerisk komma",
    ""
};
const TLangTexts SKeyNumpadEnter = {
    "NumpadEnter",
    "Numeriek Enter",
    "Ziffernblock Eingabe",
    "Pav\xE9 num Entr\xE9" "e",
    "",
    "Tastierino Invio",
    "Numerisk Enter",
    ""
};
const TLangTexts SKeyNumpadEquals = {
    "NumpadEquals",
    "Numeriek is-gelijk",
    "Ziffernblock Gleich",
    "Pav\xE9 num \xE9gal",
    "",
    "Tastierino uguale",
    "Numerisk lighedstegn",
    ""
};
const TLangTexts SKeyNumpadMinus = {
    "NumpadMinus",
    "Numeriek min",
    "Ziffernblock Minus",
    "Pav\xE9 num moins",
    "",
    "Tastierino meno",
    "Numerisk minus",
    ""
};
const TLangTexts SKeyNumpadPeriod = {
    "NumpadPeriod",
    "Numeriek punt",
    "Ziffernblock Punkt",
    "Pav\xE9 num point",
    "",
    "Tastierino punto",
    "Numerisk punktum",
    ""
};
const TLangTexts SKeyNumpadPlus = {
    "NumpadPlus",
    "Numeriek plus",
    "Ziffernblock Plus",
    "Pav\xE9 num plus",
    "",
    "Tastierino pi\xF9",
    "Numerisk plus",
    ""
};
const TLangTexts SKeyNumpadSlash = {
    "NumpadSlash",
    "Numeriek deelteken",
    "Ziffernblock Geteilt",
    "Pav\xE9 num diviser",
    "",
    "Tastierino diviso",
    "Numerisk division",
    ""
};
const TLangTexts SKeyNumpadStar = {
    "NumpadStar",
    "Numeriek maalteken",
    "Ziffernblock Mal",
    "Pav\xE9 num multiplier",
    "",
    "Tastierino per",
    "Numerisk gange",
    ""
};
const TLangTexts SKeyOEM_102 = {"OEM_102", "OEM_102", "OEM_102", "OEM_102", "", "OEM_102", "OEM_102", ""};
const TLangTexts SKeyPause = {"Pause", "Pauze", "Pause", "Pause", "", "Pausa", "Pause", ""};
const TLangTexts SKeyPeriod = {"Period", "Punt", "Punkt", "Point", "", "Punto", "Punktum", ""};
const TLangTexts SKeyPgDn = {"PgDn", "PgDn", "Bild ab", "Pg suiv", "", "PagGi\xF9", "PgDn", ""};
const TLangTexts SKeyPgUp = {"PgUp", "PgUp", "Bild auf", "Pg pr\xE9" "c", "", "PagSu", "PgUp", ""};
const TLangTexts SKeyPlayPause = {
    "PlayPause",
    "Afspelen/pauze",
    "Wiedergabe/Pause",
    "Lecture/pause",
    "",
    "Riproduci/pausa",
    "Afspil/pause",
    ""
};
const TLangTexts SKeyPower = {"Power", "Aan/uit", "Ein/Aus", "Marche/arr\xEAt", "", "Accensione", "T\xE6nd/sluk", ""};
const TLangTexts SKeyPrevTrack = {
    "PrevTrack",
    "Vorig nummer",
    "Vorheriger Titel",
    "Piste pr\xE9" "c\xE9" "dente",
    "",
    "Traccia precedente",
    "Forrige nummer",
    ""
};
const TLangTexts SKeyRAlt = {"RAlt", "Rechter Alt", "Alt rechts", "Alt droite", "", "Alt destro", "H\xF8jre Alt", ""};
const TLangTexts SKeyRBracket = {
    "RBracket",
    "Sluithaak",
    "Eckige Klammer zu",
    "Crochet fermant",
    "",
    "Parentesi quadra chiusa",
    "H\xF8jre kantparentes",
    ""
};
const TLangTexts SKeyRCtrl = {
    "RCtrl",
    "Rechter Ctrl",
    "Strg rechts",
    "Ctrl droite",
    "",
    "Ctrl destro",
    "H\xF8jre Ctrl",
    ""
};
const TLangTexts SKeyRight = {"Right", "Rechts", "Rechts", "Droite", "", "Destra", "H\xF8jre", ""};
const TLangTexts SKeyRShift = {
    "RShift",
    "Rechter Shift",
    "Umschalt rechts",
    "Maj droite",
    "",
    "Maiusc destro",
    "H\xF8jre Skift",
    ""
};
const TLangTexts SKeyRWin = {
    "RWin",
    "Rechter Windows",
    "Windows rechts",
    "Windows droite",
    "",
    "Windows destro",
    "H\xF8jre Windows",
    ""
};
const TLangTexts SKeyScrollLock = {
    "ScrollLock",
    "ScrollLock",
    "Rollen",
    "Arr\xEAt d\xE9" "fil",
    "",
    "BlocScorr",
    "ScrollLock",
    ""
};
const TLangTexts SKeySemicolon = {
    "Semicolon",
    "Puntkomma",
    "Semikolon",
    "Point-virgule",
    "",
    "Punto e virgola",
    "Semikolon",
    ""
};
const TLangTexts SKeyShift = {"Shift", "Shift", "Umschalt", "Maj", "", "Maiusc", "Skift", ""};
const TLangTexts SKeySlash = {"Slash", "Slash", "Schr\xE4gstrich", "Barre oblique", "", "Barra", "Skr\xE5streg", ""};
const TLangTexts SKeySleep = {"Sleep", "Slaapstand", "Standby", "Veille", "", "Sospensione", "Dvale", ""};
const TLangTexts SKeySpace = {"Space", "Spatie", "Leertaste", "Espace", "", "Spazio", "Mellemrum", ""};
const TLangTexts SKeyStop = {"Stop", "Stop", "Stopp", "Arr\xEAt", "", "Stop", "Stop", ""};
const TLangTexts SKeySysRQ = {"SysRQ", "SysRq", "S-Abf", "Syst", "", "R Sist", "SysRq", ""};
const TLangTexts SKeyTab = {"Tab", "Tab", "Tab", "Tab", "", "Tab", "Tab", ""};
const TLangTexts SKeyUnderline = {
    "Underline",
    "Onderstrepingsteken",
    "Unterstrich",
    "Soulign\xE9",
    "",
    "Sottolineatura",
    "Understregning",
    ""
};
const TLangTexts SKeyUnlabeled = {
    "Unlabeled",
    "Zonder opschrift",
    "Unbeschriftet",
    "Sans \xE9tiquette",
    "",
    "Senza etichetta",
    "Uden m\xE6rkat",
    ""
};
const TLangTexts SKeyUp = {"Up", "Omhoog", "Auf", "Haut", "", "Su", "Op", ""};
const TLangTexts SKeyVolumeDown = {
    "VolumeDown",
    "Volume lager",
    "Leiser",
    "Volume -",
    "",
    "Volume gi\xF9",
    "Lydstyrke ned",
    ""
};
const TLangTexts SKeyVolumeUp = {
    "VolumeUp",
    "Volume hoger",
    "Lauter",
    "Volume +",
    "",
    "Volume su",
    "Lydstyrke op",
    ""
};
const TLangTexts SKeyWake = {"Wake", "Ontwaken", "Aufwecken", "R\xE9veil", "", "Riattiva", "V\xE5gn op", ""};
const TLangTexts SKeyWebBack = {
    "WebBack",
    "Web vorige",
    "Web zur\xFC" "ck",
    "Web pr\xE9" "c\xE9" "dent",
    "",
    "Web indietro",
    "Web tilbage",
    ""
};
const TLangTexts SKeyWebFavorites = {
    "WebFavorites",
    "Web favorieten",
    "Web Favoriten",
    "Web favoris",
    "",
    "Web preferiti",
    "Web favoritter",
    ""
};
const TLangTexts SKeyWebForward = {
    "WebForward",
    "Web volgende",
    "Web vorw\xE4rts",
    "Web suivant",
    "",
    "Web avanti",
    "Web frem",
    ""
};
const TLangTexts SKeyWebHome = {
    "WebHome",
    "Web startpagina",
    "Web Startseite",
    "Web accueil",
    "",
    "Web pagina iniziale",
    "Web startside",
    ""
};
const TLangTexts SKeyWebRefresh = {
    "WebRefresh",
    "Web vernieuwen",
    "Web aktualisieren",
    "Web actualiser",
    "",
    "Web aggiorna",
    "Web opdater",
    ""
};
const TLangTexts SKeyWebSearch = {
    "WebSearch",
    "Web zoeken",
    "Web Suche",
    "Web recherche",
    "",
    "Web cerca",
    "Web s\xF8g",
    ""
};
const TLangTexts SKeyWebStop = {
    "WebStop",
    "Web stoppen",
    "Web Stopp",
    "Web arr\xEAt",
    "",
    "Web interrompi",
    "Web stop",
    ""
};
const TLangTexts SKeyYen = {"Yen", "Yen", "Yen", "Yen", "", "Yen", "Yen", ""};

const std::vector<TLangTextEntry> &LangTextTable() {
  static const std::vector<TLangTextEntry> table = {
      {"SMsgDlgWarning", &SMsgDlgWarning},
      {"SMsgDlgError", &SMsgDlgError},
      {"SMsgDlgInformation", &SMsgDlgInformation},
      {"SMsgDlgConfirm", &SMsgDlgConfirm},
      {"SMsgDlgYes", &SMsgDlgYes},
      {"SMsgDlgNo", &SMsgDlgNo},
      {"SMsgDlgOK", &SMsgDlgOK},
      {"SMsgDlgCancel", &SMsgDlgCancel},
      {"SMsgDlgAbort", &SMsgDlgAbort},
      {"SMsgDlgRetry", &SMsgDlgRetry},
      {"SMsgDlgIgnore", &SMsgDlgIgnore},
      {"SMsgDlgAll", &SMsgDlgAll},
      {"SMsgDlgNoToAll", &SMsgDlgNoToAll},
      {"SMsgDlgYesToAll", &SMsgDlgYesToAll},
      {"SMsgDlgHelp", &SMsgDlgHelp},
      {"SBrowseFolderName", &SBrowseFolderName},
      {"SBrowseSelectSource", &SBrowseSelectSource},
      {"SBrowseSelectDestination", &SBrowseSelectDestination},
      {"SBrowseInvalidFolderName", &SBrowseInvalidFolderName},
      {"SBrowsePathNotFound", &SBrowsePathNotFound},
      {"SBrowseFolderNotFound", &SBrowseFolderNotFound},
      {"SBrowseCreateFolder", &SBrowseCreateFolder},
      {"SBrowseReadOnlyFolder", &SBrowseReadOnlyFolder},
      {"SListColumnName", &SListColumnName},
      {"SListColumnInFolder", &SListColumnInFolder},
      {"SListColumnSize", &SListColumnSize},
      {"SListColumnType", &SListColumnType},
      {"SListColumnModified", &SListColumnModified},
      {"SInvalidPath", &SInvalidPath},
      {"SInvalidFileName", &SInvalidFileName},
      {"SLanguageCode", &SLanguageCode},
      {"SLanguageName", &SLanguageName},
      {"SLanguageOwnName", &SLanguageOwnName},
      {"SButtonClose", &SButtonClose},
      {"SButtonDetails", &SButtonDetails},
      {"SButtonExit", &SButtonExit},
      {"SButtonOpen", &SButtonOpen},
      {"SButtonSave", &SButtonSave},
      {"SNone", &SNone},
      {"SColorBlack", &SColorBlack},
      {"SColorBlue", &SColorBlue},
      {"SColorBrightGreen", &SColorBrightGreen},
      {"SColorDarkBlue", &SColorDarkBlue},
      {"SColorDarkRed", &SColorDarkRed},
      {"SColorDarkYellow", &SColorDarkYellow},
      {"SColorGray25", &SColorGray25},
      {"SColorGray50", &SColorGray50},
      {"SColorGreen", &SColorGreen},
      {"SColorPink", &SColorPink},
      {"SColorRed", &SColorRed},
      {"SColorTeal", &SColorTeal},
      {"SColorTurquoise", &SColorTurquoise},
      {"SColorViolet", &SColorViolet},
      {"SColorWhite", &SColorWhite},
      {"SColorYellow", &SColorYellow},
      {"SErrorLogSaved", &SErrorLogSaved},
      {"SErrorLogView", &SErrorLogView},
      {"SErrorIn", &SErrorIn},
      {"SDirectXCheckAdapter", &SDirectXCheckAdapter},
      {"SDXDiagNotFound", &SDXDiagNotFound},
      {"SDirectXExamineError", &SDirectXExamineError},
      {"SNoDirectXAdapter", &SNoDirectXAdapter},
      {"SColorDepthTooLow", &SColorDepthTooLow},
      {"SDirectXRequired", &SDirectXRequired},
      {"SCompassN", &SCompassN},
      {"SCompassNNE", &SCompassNNE},
      {"SCompassNE", &SCompassNE},
      {"SCompassENE", &SCompassENE},
      {"SCompassE", &SCompassE},
      {"SCompassESE", &SCompassESE},
      {"SCompassSE", &SCompassSE},
      {"SCompassSSE", &SCompassSSE},
      {"SCompassS", &SCompassS},
      {"SCompassSSW", &SCompassSSW},
      {"SCompassSW", &SCompassSW},
      {"SCompassWSW", &SCompassWSW},
      {"SCompassW", &SCompassW},
      {"SCompassWNW", &SCompassWNW},
      {"SCompassNW", &SCompassNW},
      {"SCompassNNW", &SCompassNNW},
      {"SKeyABNT_C1", &SKeyABNT_C1},
      {"SKeyABNT_C2", &SKeyABNT_C2},
      {"SKeyAlt", &SKeyAlt},
      {"SKeyApostrophe", &SKeyApostrophe},
      {"SKeyAppMenu", &SKeyAppMenu},
      {"SKeyAx", &SKeyAx},
      {"SKeyBackslash", &SKeyBackslash},
      {"SKeyBkSp", &SKeyBkSp},
      {"SKeyCalculator", &SKeyCalculator},
      {"SKeyCapsLock", &SKeyCapsLock},
      {"SKeyColon", &SKeyColon},
      {"SKeyComma", &SKeyComma},
      {"SKeyConvert", &SKeyConvert},
      {"SKeyCtrl", &SKeyCtrl},
      {"SKeyDel", &SKeyDel},
      {"SKeyDown", &SKeyDown},
      {"SKeyEnd", &SKeyEnd},
      {"SKeyEnter", &SKeyEnter},
      {"SKeyEquals", &SKeyEquals},
      {"SKeyEsc", &SKeyEsc},
      {"SKeyF1", &SKeyF1},
      {"SKeyF2", &SKeyF2},
      {"SKeyF3", &SKeyF3},
      {"SKeyF4", &SKeyF4},
      {"SKeyF5", &SKeyF5},
      {"SKeyF6", &SKeyF6},
      {"SKeyF7", &SKeyF7},
      {"SKeyF8", &SKeyF8},
      {"SKeyF9", &SKeyF9},
      {"SKeyF10", &SKeyF10},
      {"SKeyF11", &SKeyF11},
      {"SKeyF12", &SKeyF12},
      {"SKeyF13", &SKeyF13},
      {"SKeyF14", &SKeyF14},
      {"SKeyF15", &SKeyF15},
      {"SKeyGrave", &SKeyGrave},
      {"SKeyHome", &SKeyHome},
      {"SKeyIns", &SKeyIns},
      {"SKeyJoy", &SKeyJoy},
      {"SKeyKana", &SKeyKana},
      {"SKeyKanji", &SKeyKanji},
      {"SKeyLAlt", &SKeyLAlt},
      {"SKeyLBracket", &SKeyLBracket},
      {"SKeyLCtrl", &SKeyLCtrl},
      {"SKeyLeft", &SKeyLeft},
      {"SKeyLShift", &SKeyLShift},
      {"SKeyLWin", &SKeyLWin},
      {"SKeyMail", &SKeyMail},
      {"SKeyMediaSelect", &SKeyMediaSelect},
      {"SKeyMediaStop", &SKeyMediaStop},
      {"SKeyMinus", &SKeyMinus},
      {"SKeyMouse", &SKeyMouse},
      {"SKeyMute", &SKeyMute},
      {"SKeyMyComputer", &SKeyMyComputer},
      {"SKeyNextTrack", &SKeyNextTrack},
      {"SKeyNoConvert", &SKeyNoConvert},
      {"SKeyNumLock", &SKeyNumLock},
      {"SKeyNumpad0", &SKeyNumpad0},
      {"SKeyNumpad1", &SKeyNumpad1},
      {"SKeyNumpad2", &SKeyNumpad2},
      {"SKeyNumpad3", &SKeyNumpad3},
      {"SKeyNumpad4", &SKeyNumpad4},
      {"SKeyNumpad5", &SKeyNumpad5},
      {"SKeyNumpad6", &SKeyNumpad6},
      {"SKeyNumpad7", &SKeyNumpad7},
      {"SKeyNumpad8", &SKeyNumpad8},
      {"SKeyNumpad9", &SKeyNumpad9},
      {"SKeyNumpadComma", &SKeyNumpadComma},
      {"SKeyNumpadEnter", &SKeyNumpadEnter},
      {"SKeyNumpadEquals", &SKeyNumpadEquals},
      {"SKeyNumpadMinus", &SKeyNumpadMinus},
      {"SKeyNumpadPeriod", &SKeyNumpadPeriod},
      {"SKeyNumpadPlus", &SKeyNumpadPlus},
      {"SKeyNumpadSlash", &SKeyNumpadSlash},
      {"SKeyNumpadStar", &SKeyNumpadStar},
      {"SKeyOEM_102", &SKeyOEM_102},
      {"SKeyPause", &SKeyPause},
      {"SKeyPeriod", &SKeyPeriod},
      {"SKeyPgDn", &SKeyPgDn},
      {"SKeyPgUp", &SKeyPgUp},
      {"SKeyPlayPause", &SKeyPlayPause},
      {"SKeyPower", &SKeyPower},
      {"SKeyPrevTrack", &SKeyPrevTrack},
      {"SKeyRAlt", &SKeyRAlt},
      {"SKeyRBracket", &SKeyRBracket},
      {"SKeyRCtrl", &SKeyRCtrl},
      {"SKeyRight", &SKeyRight},
      {"SKeyRShift", &SKeyRShift},
      {"SKeyRWin", &SKeyRWin},
      {"SKeyScrollLock", &SKeyScrollLock},
      {"SKeySemicolon", &SKeySemicolon},
      {"SKeyShift", &SKeyShift},
      {"SKeySlash", &SKeySlash},
      {"SKeySleep", &SKeySleep},
      {"SKeySpace", &SKeySpace},
      {"SKeyStop", &SKeyStop},
      {"SKeySysRQ", &SKeySysRQ},
      {"SKeyTab", &SKeyTab},
      {"SKeyUnderline", &SKeyUnderline},
      {"SKeyUnlabeled", &SKeyUnlabeled},
      {"SKeyUp", &SKeyUp},
      {"SKeyVolumeDown", &SKeyVolumeDown},
      {"SKeyVolumeUp", &SKeyVolumeUp},
      {"SKeyWake", &SKeyWake},
      {"SKeyWebBack", &SKeyWebBack},
      {"SKeyWebFavorites", &SKeyWebFavorites},
      {"SKeyWebForward", &SKeyWebForward},
      {"SKeyWebHome", &SKeyWebHome},
      {"SKeyWebRefresh", &SKeyWebRefresh},
      {"SKeyWebSearch", &SKeyWebSearch},
      {"SKeyWebStop", &SKeyWebStop},
      {"SKeyYen", &SKeyYen},
  };
  return table;
}
