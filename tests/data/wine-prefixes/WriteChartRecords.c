/* Writes the chart set's records as the 32-bit installer does: ANSI calls
   (converted through the process's code page), the 32-bit view of the
   registry, the folder "D:\ORVA Welml\xE2n 2003\" (0xE2 in the code page). */
#include <windows.h>
#include <string.h>
static HKEY Create(const char *Name) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, Name, 0, NULL, 0, KEY_WRITE | KEY_WOW64_32KEY, NULL, &key, NULL) != ERROR_SUCCESS)
    ExitProcess(1);
  return key;
}
static void Set(HKEY Key, const char *Name, const char *Text) {
  if (RegSetValueExA(Key, Name, 0, REG_SZ, (const BYTE *)Text, (DWORD)strlen(Text) + 1) != ERROR_SUCCESS)
    ExitProcess(1);
}
int main(void) {
  static const char *const files[] = {"Aldenhof.nkf2", "kvt Welmeland noord - Baarsum.nkf2",
    "kvt Welmeland noord - Corlum.nkf2", "kvt Welmeland noord - Dalmeer.nkf2", "kvt Welmeland noord - Dalmoog.nkf2",
    "kvt Welmeland noord - Eemstad.nkf2", "kvt Welmeland noord.nkf2", "kvt Welmeland zuid - Fennum.nkf2",
    "kvt Welmeland zuid.nkf2"};
  const char *set = "Software\\Velmora\\Charts\\ORVA2003", *module = "Software\\Velmora\\Charts\\ORVA2003\\Modules\\B";
  char name[256];
  HKEY key = Create(set);
  Set(key, "Name", "ORVA (Editie 2003)");
  RegCloseKey(key);
  for (int i = 0; i < 9; ++i) {
    strcpy(name, module);
    strcat(name, "\\Charts\\");
    strcat(name, files[i]);
    RegCloseKey(Create(name));
  }
  key = Create(module);
  Set(key, "Name", "B: Welmeland/Welml\xE2n");
  Set(key, "Path", "D:\\ORVA Welml\xE2n 2003\\");
  RegCloseKey(key);
  return 0;
}
