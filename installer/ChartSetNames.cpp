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
