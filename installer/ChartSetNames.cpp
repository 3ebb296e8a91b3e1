#include "ChartSetNames.h"

const std::array<const char *, ChartFileCount> ChartFileNames = {
    "Aldenhof.nkf2",
    "kvt Welmeland noord - Baarsum.nkf2",
    "kvt Welmeland noord - Corlum.nkf2",
    "kvt Welmeland noord - Dalmeer.nkf2",
    "kvt Welmeland noord - Dalmoog.nkf2",
    "kvt Welmeland noord - Eemstad.nkf2",
    "kvt Welmeland noord.nkf2",
    "kvt Welmeland zuid - Fennum.nkf2",
    "kvt Welmeland zuid.nkf2",
};

// The product is a 32-bit program: on 64-bit Windows these keys land under
// Software\Wow6432Node, which is where the (32-bit) chart viewer reads them.
const char *const ChartSetKey = "Software\\Velmora\\Charts\\ORVA2003";
const char *const ChartSetName = "ORVA (Editie 2003)";
const char *const ChartModuleKey = "Software\\Velmora\\Charts\\ORVA2003\\Modules\\B";
const char *const ChartModuleName = "B: Welmeland/Welml\xE2n";
const char *const ChartKeyPrefix = "Software\\Velmora\\Charts\\ORVA2003\\Modules\\B\\Charts\\";
