// Geodetic datums: the fixed table of shifts to WGS 84 with their old display
// names, lookups, and find-or-create of custom datums.
#include "VmGeodetics.h"

#include "VmGeodeticsInternal.h"

#include <cmath>
#include <cstring>

namespace {

// Line numbers the datum contract assertions report.
constexpr int BuildAssertLine = 419;
constexpr int SortAssertLine = 991;

constexpr int FixedDatumCount = 229;

// Arc seconds to radians: pi / 648000.
constexpr long double ArcSecond = 4.8481368110953599358e-6L;

const char *const PCTransReference = "\"PCTrans\", Koninklijke Marine, Dienst der Hydrografie, Den Haag, 2003";

// One row as published: translations in metres, rotations in arc seconds and
// scale in parts per million, all in the usual Earth-centred frame (Y towards
// 90 degrees east). The rotations follow the coordinate-frame convention: with
// the matrices built below, (rX, rY, rZ) turn the frame, not the point. The
// "RD" row's (0.4094, -0.3597, 1.8685) therefore equals the position-vector
// rotations (-0.4094, +0.3597, -1.8685), the signs in which the same
// Amersfoort-to-WGS 84 shift is usually written for PROJ's +towgs84.
struct TDatumRow {
  const char *Code;
  const char *Region;
  const char *Name;
  const char *OldName;  // null: the row gets no old name
  const char *EllipsoidCode;
  long double DX, DY, DZ;
  long double RX, RY, RZ;
  long double DS;
  const char *Reference;
};

// A three-parameter shift of NIMA TR8350.2.
constexpr TDatumRow Nima(const char *Code, const char *Region, const char *Name, const char *OldName,
                         const char *EllipsoidCode, long double DX, long double DY, long double DZ) {
  return {Code, Region, Name, OldName, EllipsoidCode, DX, DY, DZ, 0, 0, 0, 0, NimaReference};
}

constexpr TDatumRow Helmert(const char *Code, const char *Region, const char *Name, const char *OldName,
                            const char *EllipsoidCode, long double DX, long double DY, long double DZ,
                            long double RX, long double RY, long double RZ, long double DS,
                            const char *Reference) {
  return {Code, Region, Name, OldName, EllipsoidCode, DX, DY, DZ, RX, RY, RZ, DS, Reference};
}

// Sorted by code (ordinal comparison).
const TDatumRow DatumRows[] = {
    Nima("ADI-A", "Ethiopia", "ADINDAN", "Adindan, ADI-A", "CD", -165, -11, 206),
    Nima("ADI-B", "Sudan", "ADINDAN", "Adindan, ADI-B", "CD", -161, -14, 205),
    Nima("ADI-C", "Mali", "ADINDAN", "Adindan, ADI-C", "CD", -123, -20, 220),
    Nima("ADI-D", "Senegal", "ADINDAN", "Adindan, ADI-D", "CD", -128, -18, 224),
    Nima("ADI-E", "Burkina Faso", "ADINDAN", "Adindan, ADI-E", "CD", -118, -14, 218),
    Nima("ADI-F", "Cameroon", "ADINDAN", "Adindan, ADI-F", "CD", -134, -2, 210),
    Nima("ADI-M", "Mean Solution (Ethiopia, Sudan)", "ADINDAN", "Adindan, ADI-M", "CD", -166, -15, 204),
    Nima("AFG", "Somalia", "AFGOOYE", "Afgooye, AFG", "KA", -43, -163, 45),
    Nima("AIA", "Antigua (Leeward Islands)", "ANTIGUA ISLAND ASTRO 1943", "Antigua Island Astro 1943, AIA", "CD", -270, 13, 62),
    Nima("AIN-A", "Bahrain", "AIN EL ABD 1970", "Ain el Abd 1970, AIN-A", "IN", -150, -250, -1),
    Nima("AIN-B", "Saudi Arabia", "AIN EL ABD 1970", "Ain el Abd 1970, AIN-B", "IN", -143, -236, 7),
    Nima("AMA", "American Samoa Islands", "AMERICAN SAMOA 1962", "American Samoa 1962, AMA", "CC", -115, 118, 426),
    Nima("ANO", "Cocos Islands", "ANNA 1 ASTRO 1965", "Anna 1 Astro 1965, ANO", "AN", -491, -22, 435),
    Nima("ARF-A", "Botswana", "ARC 1950", "Arc 1950, ARF-A", "CD", -138, -105, -289),
    Nima("ARF-B", "Lesotho", "ARC 1950", "Arc 1950, ARF-B", "CD", -125, -108, -295),
    Nima("ARF-C", "Malawi", "ARC 1950", "Arc 1950, ARF-C", "CD", -161, -73, -317),
    Nima("ARF-D", "Swaziland", "ARC 1950", "Arc 1950, ARF-D", "CD", -134, -105, -295),
    Nima("ARF-E", "Zaire", "ARC 1950", "Arc 1950, ARF-E", "CD", -169, -19, -278),
    Nima("ARF-F", "Zambia", "ARC 1950", "Arc 1950, ARF-F", "CD", -147, -74, -283),
    Nima("ARF-G", "Zimbabwe", "ARC 1950", "Arc 1950, ARF-G", "CD", -142, -96, -293),
    Nima("ARF-H", "Burundi", "ARC 1950", "Arc 1950, ARF-H", "CD", -153, -5, -292),
    Nima("ARF-M", "Mean Solution (Botswana, Lesotho, Malawi, Swaziland, Zaire, Zambia, Zimbabwe)", "ARC 1950", "Arc 1950, ARF-M", "CD", -143, -90, -294),
    Nima("ARS-A", "Kenya", "ARC 1960", "Arc 1960, ARS-A", "CD", -157, -2, -299),
    Nima("ARS-B", "Tanzania", "ARC 1960", "Arc 1960, ARS-B", "CD", -175, -23, -303),
    Nima("ARS-M", "Mean Solution (Kenya, Tanzania)", "ARC 1960", "Arc 1960, ARS-M", "CD", -160, -6, -302),
    Nima("ASC", "Ascension Island", "ASCENSION ISLAND 1958", "Ascension Island 1958, ASC", "IN", -205, 107, 53),
    Nima("ASM", "Montserrat (Leeward Islands)", "MONTSERRAT ISLAND ASTRO 1958", "Montserrat Island Astro 1958, ASM", "CD", 174, 359, 365),
    Nima("ASQ", "Marcus Island", "ASTRO STATION 1952", "Astro Station 1952, ASQ", "IN", 124, -234, -25),
    Nima("ATF", "Iwo Jima", "ASTRO BEACON \"E\" 1945", "Astro Beacon \"E\" 1945, ATF Iwo Jima", "IN", 145, 75, -272),
    Nima("AUA", "Australia & Tasmania", "AUSTRALIAN GEODETIC 1966", "Australian Geodetic 1966, AUA", "AN", -133, -48, 148),
    Nima("AUG", "Australia & Tasmania", "AUSTRALIAN GEODETIC 1984", "Australian Geodetic 1984, AUG", "AN", -134, -48, 149),
    Nima("BAT", "Indonesia (Sumatra)", "DJAKARTA (BATAVIA)", "Djakarta (Batavia), BAT", "BR", -377, 681, -50),
    Nima("BER", "Bermuda", "BERMUDA 1957", "Bermuda 1957, BER", "CC", -73, 213, 296),
    Nima("BID", "Guinea-Bissau", "BISSAU", "Bissau, BID", "IN", -173, 253, 27),
    Nima("BOO", "Colombia", "BOGOTA OBSERVATORY", "Bogota Observatory, BOO", "IN", 307, 304, -318),
    Nima("BUR", "Indonesia (Bangka and Belitung Ids)", "BUKIT RIMPAH", "Bukit Rimpah, BUR", "BR", -384, 664, -48),
    Nima("CAC", "Mean Solution (Bahamas, Florida)", "CAPE CANAVERAL", "Cape Canaveral, CAC", "CC", -2, 151, 181),
    Nima("CAI", "Argentina", "CAMPO INCHAUSPE 1969", "Campo Inchauspe 1969, CAI", "IN", -148, 136, 90),
    Nima("CAO", "Phoenix Islands", "CANTON ASTRO 1966", "Canton Astro 1966, CAO", "IN", 298, -304, -375),
    Nima("CAP", "South Africa", "CAPE", "Cape, CAP", "CD", -136, -108, -292),
    Nima("CAZ", "Antarctica (McMurdo Camp Area)", "CAMP AREA ASTRO", "Camp Area Astro, CAZ", "IN", -104, -129, 239),
    Nima("CCD", "Czechoslovakia (Prior 1 JAN 1993)", "S-JTSK", "S-JTSK, CCD", "BR", 589, 76, 480),
    Nima("CGE", "Tunisia", "CARTHAGE", "Carthage, CGE", "CD", -263, 6, 431),
    Nima("CHI", "New Zealand (Chatham Island)", "CHATHAM ISLAND ASTRO 1971", "Chatham Island Astro 1971, CHI", "IN", 175, -38, 113),
    Nima("CHU", "Paraguay", "CHUA ASTRO", "Chua Astro, CHU", "IN", -134, 229, -29),
    Nima("COA", "Brazil", "CORREGO ALEGRE", "Corrego Alegre, COA", "IN", -206, 172, -6),
    Nima("DAL", "Guinea", "DABOLA", "Dabola, DAL", "CD", -83, 37, 124),
    Nima("DID", "Deception Island, Antarctica", "DECEPTION ISLAND", "Deception Island, DID", "CD", 260, 12, -147),
    Nima("DOB", "Guadalcanal Island", "GUX 1 ASTRO", "GUX 1 Astro, DOB", "IN", 252, -209, -751),
    Nima("EAS", "Easter Island", "EASTER ISLAND 1967", "Easter Island 1967, EAS", "IN", 211, 147, 111),
    Nima("ENW", "Marshall Islands", "WAKE-ENIWETOK 1960", "Wake-Eniwetok 1960, ENW", "HO", 102, 52, -38),
    Nima("EST", "Estonia", "ESTONIA COORDINATE SYSTEM 1937", "Estonia Coordinate System 1937, EST", "BR", 374, 150, 588),
    Nima("EUR-A", "Western Europe (Austria, Denmark, France, Germany, Netherlands, Switzerland)", "EUROPEAN 1950", "ED50, EUR-A", "IN", -87, -96, -120),
    Nima("EUR-B", "Greece", "EUROPEAN 1950", "ED50, EUR-B", "IN", -84, -95, -130),
    Nima("EUR-C", "Northern Europe (Finland, Norway)", "EUROPEAN 1950", "ED50, EUR-C", "IN", -87, -95, -120),
    Nima("EUR-D", "Portugal, Spain", "EUROPEAN 1950", "ED50, EUR-D", "IN", -84, -107, -120),
    Nima("EUR-E", "Cyprus", "EUROPEAN 1950", "ED50, EUR-E", "IN", -104, -101, -140),
    Nima("EUR-F", "Egypt", "EUROPEAN 1950", "ED50, EUR-F", "IN", -130, -117, -151),
    Nima("EUR-G", "England, Channel Islands, Scotland, Shetland Islands", "EUROPEAN 1950", "ED50, EUR-G", "IN", -86, -96, -120),
    Nima("EUR-H", "Iran", "EUROPEAN 1950", "ED50, EUR-H", "IN", -117, -132, -164),
    Nima("EUR-I", "Italy (Sardinia)", "EUROPEAN 1950", "ED50, EUR-I", "IN", -97, -103, -120),
    Nima("EUR-J", "Italy (Sicily)", "EUROPEAN 1950", "ED50, EUR-J", "IN", -97, -88, -135),
    Nima("EUR-K", "England, Ireland, Scotland, Shetland Islands", "EUROPEAN 1950", "ED50, EUR-K", "IN", -86, -96, -120),
    Nima("EUR-L", "Malta", "EUROPEAN 1950", "ED50, EUR-L", "IN", -107, -88, -149),
    Nima("EUR-M", "Mean Solution (Austria, Belgium, Denmark, Finland, France, Germany, Gibraltar, Greece, Italy, Luxembourg, Netherlands, Norway, Portugal, Spain, Sweden, Switzerland)", "EUROPEAN 1950", "ED50, EUR-M", "IN", -87, -98, -121),
    Nima("EUR-S", "Mean Solution (Iraq, Israel, Jordan, Kuwait, Lebanon, Saudi Arabia, Syria)", "EUROPEAN 1950", "ED50, EUR-S", "IN", -103, -106, -141),
    Nima("EUR-T", "Tunisia", "EUROPEAN 1950", "ED50, EUR-T", "IN", -112, -77, -145),
    Nima("EUS", "Mean Solution (Austria, Finland, Netherlands, Norway, Spain, Sweden, Switzerland)", "EUROPEAN 1979", "ED79, EUS", "IN", -86, -98, -119),
    Nima("FAH", "Oman", "OMAN", "Oman, FAH", "CD", -346, -1, 224),
    Nima("FLO", "Azores (Corvo and Flores Islands)", "OBSERVATORIO METEOROLOGICO 1939", "Observatorio Meteorologico 1939, FLO", "IN", -425, -169, 81),
    Nima("FOT", "Nevis, St. Kitts (Leeward Islands)", "FORT THOMAS 1955", "Fort Thomas 1955, FOT", "CD", -7, 215, 255),
    Nima("GAA", "Republic of Maldives", "GAN 1970", "Gan 1970, GAA", "IN", -133, -321, 50),
    Nima("GEO", "New Zealand", "GEODETIC DATUM 1949", "Geodetic Datum 1949, GEO", "IN", 84, -22, 209),
    Nima("GIZ", "New Georgia Islands (Gizo Island)", "DOS 1968", "DOS 1968, GIZ", "IN", 230, -199, -752),
    Nima("GRA", "Azores (Faial, Graciosa, Pico, Sao Jorge, Terceira)", "GRACIOSA BASE SW 1948", "Graciosa Base SW 1948, GRA", "IN", -104, 167, -38),
    Nima("GSE", "Indonesia (Kalimantan)", "GUNUNG SEGARA", "Gunung Segara, GSE", "BR", -403, 684, 41),
    Nima("GUA", "Guam", "GUAM 1963", "Guam 1963, GUA", "CC", -100, -248, 259),
    Nima("HEN", "Afghanistan", "HERAT NORTH", "Herat North, HEN", "IN", -333, -222, 114),
    Nima("HER", "Yugoslavia (Prior to 1990) Slovenia, Croatia, Bosnia and Herzegovina, Serbia", "HERMANNSKOGEL", "Hermannskogel, HER", "BR", 682, -203, 480),
    Nima("HIT", "Southern Chile (near 53\xB0S)", "PROVISIONAL SOUTH CHILEAN 1963", "Provisional South Chilean 1963, HIT", "IN", 16, 196, 93),
    Nima("HJO", "Iceland", "HJORSEY 1955", "Hjorsey 1955, HJO", "IN", -73, 46, -86),
    Nima("HKD", "Hong Kong", "HONG KONG 1963", "Hong Kong 1963, HKD", "IN", -156, -271, -189),
    Nima("HTN", "Taiwan", "HU-TZU-SHAN", "Hu-Tzu-Shan, HTN", "IN", -637, -549, -203),
    Nima("IBE", "Efate & Erromango Islands", "BELLEVUE (IGN)", "Bellevue (IGN), IBE", "IN", -127, -769, 472),
    Nima("IDN", "Indonesia", "INDONESIAN 1974", "Indonesian 1974, IDN", "ID", -24, -15, 5),
    Nima("IND-B", "Bangladesh", "INDIAN", "Indian, IND-B", "EA", 282, 726, 254),
    Nima("IND-I", "India, Nepal", "INDIAN", "Indian, IND-I", "EC", 295, 736, 257),
    Nima("IND-P", "Pakistan", "INDIAN", "Indian, IND-P", "EF", 283, 682, 231),
    Nima("INF-A", "Thailand", "INDIAN 1954", "Indian 1954, INF-A", "EA", 217, 823, 299),
    Nima("ING-A", "Vietnam (near 16\xB0N)", "INDIAN 1960", "Indian 1960, ING-A", "EA", 198, 881, 317),
    Nima("ING-B", "Con Son Island (Vietnam)", "INDIAN 1960", "Indian 1960, ING-B", "EA", 182, 915, 344),
    Nima("INH-A", "Thailand", "INDIAN 1975", "Indian 1975, INH-A", "EA", 209, 818, 290),
    Nima("INH-A1", "Thailand", "INDIAN 1975", "Indian 1975, INH-A1", "EA", 210, 814, 289),
    Nima("IRL", "Ireland", "IRELAND 1965", "Ireland 1965, IRL", "AM", 506, -122, 611),
    Nima("ISG", "South Georgia Islands", "ISTS 061 ASTRO 1968", "ISTS 061 Astro 1968, ISG", "IN", -794, 119, -298),
    Nima("IST", "Diego Garcia", "ISTS 073 ASTRO 1969", "ISTS 073 Astro 1969, IST", "IN", 208, -435, -229),
    Nima("JOH", "Johnston Island", "JOHNSTON ISLAND 1961", "Johnston Island 1961, JOH", "IN", 189, -79, -202),
    Nima("KAN", "Sri Lanka", "KANDAWALA", "Kandawala, KAN", "EA", -97, 787, 86),
    Nima("KEA", "West Malaysia & Singapore", "KERTAU 1948", "Kertau 1948, KEA", "EE", -11, 851, 5),
    Nima("KEG", "Kerguelen Island", "KERGUELEN ISLAND 1949", "Kerguelen Island 1949, KEG", "IN", 145, -187, 103),
    Nima("KGS", "South Korea", "KOREAN GEODETIC SYSTEM 1995", "Korean Geodetic System 1995", "WE", 0, 0, 0),
    Nima("KUS", "Caroline Islands", "KUSAIE ASTRO 1951", "Kusaie Astro 1951, KUS", "IN", 647, 1777, -1124),
    Nima("LCF", "Cayman Brac Island", "L. C. 5 ASTRO 1961", "L. C. 5 Astro 1961, LCF", "CC", 42, 124, 147),
    Nima("LEH", "Ghana", "LEIGON", "Leigon, LEH", "CD", -130, 29, 364),
    Nima("LIB", "Liberia", "LIBERIA 1964", "Liberia 1964, LIB", "CD", -90, 40, 88),
    Nima("LUZ-A", "Philippines (Excluding Mindanao)", "LUZON", "Luzon, LUZ-A", "CC", -133, -77, -51),
    Nima("LUZ-B", "Philippines (Mindanao)", "LUZON", "Luzon, LUZ-B", "CC", -133, -79, -72),
    Nima("MAS", "Ethiopia (Eritrea)", "MASSAWA", "Massawa, MAS", "BR", 639, 405, 60),
    Nima("MER", "Morocco", "MERCHICH", "Merchich, MER", "CD", 31, 146, 47),
    Nima("MID", "Midway Islands", "MIDWAY ASTRO 1961", "Midway Astro 1961, MID", "IN", 912, -58, 1227),
    Nima("MIK", "Mahe Island", "MAHE 1971", "Mahe 1971, MIK", "CD", 41, -220, -134),
    Nima("MIN-A", "Cameroon", "MINNA", "Minna, MIN-A", "CD", -81, -84, 115),
    Nima("MIN-B", "Nigeria", "MINNA", "Minna, MIN-B", "CD", -92, -93, 122),
    Nima("MOD", "Italy (Sardinia)", "ROME 1940", "Rome 1940, MOD", "IN", -225, -65, 9),
    Nima("MPO", "Gabon", "M'PORALOKO", "M'Poraloko, MPO", "CD", -74, -130, 42),
    Nima("MVS", "Fiji (Viti Levu Island)", "VITI LEVU 1916", "Viti Levu 1916, MVS", "CD", 51, 391, -36),
    Nima("NAH-A", "Oman (Masirah Island)", "NAHRWAN", "Nahrwan, NAH-A", "CD", -247, -148, 369),
    Nima("NAH-B", "United Arab Emirates", "NAHRWAN", "Nahrwan, NAH-B", "CD", -249, -156, 381),
    Nima("NAH-C", "Saudi Arabia", "NAHRWAN", "Nahrwan, NAH-C", "CD", -243, -192, 477),
    Nima("NAP", "Trinidad & Tobago", "NAPARIMA BWI", "Naparima BWI, NAP", "IN", -10, 375, 165),
    Nima("NAR-A", "Alaska (Excluding Aleutian Ids)", "NORTH AMERICAN 1983", "NAD 1983, NAR-A", "RF", 0, 0, 0),
    Nima("NAR-B", "Canada", "NORTH AMERICAN 1983", "NAD 1983, NAR-B", "RF", 0, 0, 0),
    Nima("NAR-C", "CONUS", "NORTH AMERICAN 1983", "NAD 1983, NAR-C", "RF", 0, 0, 0),
    Nima("NAR-D", "Mexico, Central America", "NORTH AMERICAN 1983", "NAD 1983, NAR-D", "RF", 0, 0, 0),
    Nima("NAR-E", "Aleutian Ids", "NORTH AMERICAN 1983", "NAD 1983, NAR-E", "RF", -2, 0, 4),
    Nima("NAR-H", "Hawaii", "NORTH AMERICAN 1983", "NAD 1983, NAR-H", "RF", 1, 1, -1),
    Nima("NAS-A", "Eastern United States", "NORTH AMERICAN 1927", "NAD 1927, NAS-A", "CC", -9, 161, 179),
    Nima("NAS-B", "Western United States", "NORTH AMERICAN 1927", "NAD 1927, NAS-B", "CC", -8, 159, 175),
    Nima("NAS-C", "Mean Solution (CONUS)", "NORTH AMERICAN 1927", "NAD 1927, NAS-C", "CC", -8, 160, 176),
    Nima("NAS-D", "Alaska (Excluding Aleutian Ids)", "NORTH AMERICAN 1927", "NAD 1927, NAS-D", "CC", -5, 135, 172),
    Nima("NAS-E", "Mean Solution (Canada)", "NORTH AMERICAN 1927", "NAD 1927, NAS-E", "CC", -10, 158, 187),
    Nima("NAS-F", "Canada (Alberta, British Columbia)", "NORTH AMERICAN 1927", "NAD 1927, NAS-F", "CC", -7, 162, 188),
    Nima("NAS-G", "Canada (Eastern Canada)", "NORTH AMERICAN 1927", "NAD 1927, NAS-G", "CC", -22, 160, 190),
    Nima("NAS-H", "Canada (Manitoba, Ontario)", "NORTH AMERICAN 1927", "NAD 1927, NAS-H", "CC", -9, 157, 184),
    Nima("NAS-I", "Canada (Northwest Territories, Saskatchewan)", "NORTH AMERICAN 1927", "NAD 1927, NAS-I", "CC", 4, 159, 188),
    Nima("NAS-J", "Canada (Yukon)", "NORTH AMERICAN 1927", "NAD 1927, NAS-J", "CC", -7, 139, 181),
    Nima("NAS-L", "Mexico", "NORTH AMERICAN 1927", "NAD 1927, NAS-L", "CC", -12, 130, 190),
    Nima("NAS-N", "Central America", "NORTH AMERICAN 1927", "NAD 1927, NAS-N", "CC", 0, 125, 194),
    Nima("NAS-O", "Canal Zone", "NORTH AMERICAN 1927", "NAD 1927, NAS-O", "CC", 0, 125, 201),
    Nima("NAS-P", "Caribbean", "NORTH AMERICAN 1927", "NAD 1927, NAS-P", "CC", -3, 142, 183),
    Nima("NAS-Q", "Bahamas (Except San Salvador Island)", "NORTH AMERICAN 1927", "NAD 1927, NAS-Q", "CC", -4, 154, 178),
    Nima("NAS-R", "Bahamas (San Salvador Island)", "NORTH AMERICAN 1927", "NAD 1927, NAS-R", "CC", 1, 140, 165),
    Nima("NAS-T", "Cuba", "NORTH AMERICAN 1927", "NAD 1927, NAS-T", "CC", -9, 152, 178),
    Nima("NAS-U", "Greenland (Hayes Peninsula)", "NORTH AMERICAN 1927", "NAD 1927, NAS-U", "CC", 11, 114, 195),
    Nima("NAS-V", "Aleutian Islands (East of 180\xB0W)", "NORTH AMERICAN 1927", "NAD 1927, NAS-V", "CC", -2, 152, 149),
    Nima("NAS-W", "Aleutian Islands (West of 180\xB0W)", "NORTH AMERICAN 1927", "NAD 1927, NAS-W", "CC", 2, 204, 105),
    Nima("NSD", "Algeria", "NORTH SAHARA 1959", "North Sahara 1959, NSD", "CD", -186, -93, 310),
    Nima("OEG", "Egypt", "OLD EGYPTIAN 1907", "Old Egyptian 1907, OEG", "HE", -130, 110, -13),
    Nima("OGB-A", "England", "ORDNANCE SURVEY OF GREAT BRITAIN 1936", "OSGB 1936, OGB-A", "AA", 371, -112, 434),
    Nima("OGB-B", "England, Isle of Man, Wales", "ORDNANCE SURVEY OF GREAT BRITAIN 1936", "OSGB 1936, OGB-B", "AA", 371, -111, 434),
    Nima("OGB-C", "Scotland, Shetland Islands", "ORDNANCE SURVEY OF GREAT BRITAIN 1936", "OSGB 1936, OGB-C", "AA", 384, -111, 425),
    Nima("OGB-D", "Wales", "ORDNANCE SURVEY OF GREAT BRITAIN 1936", "OSGB 1936, OGB-D", "AA", 370, -108, 434),
    Nima("OGB-M", "Mean Solution (England, Isle of Man, Scotland, Shetland Islands, Wales)", "ORDNANCE SURVEY OF GREAT BRITAIN 1936", "OSGB 1936, OGB-M", "AA", 375, -111, 431),
    Nima("OHA-A", "Hawaii", "OLD HAWAIIAN", "Old Hawaiian, OHA-A", "CC", 89, -279, -183),
    Nima("OHA-B", "Kauai", "OLD HAWAIIAN", "Old Hawaiian, OHA-B", "CC", 45, -290, -172),
    Nima("OHA-C", "Maui", "OLD HAWAIIAN", "Old Hawaiian, OHA-C", "CC", 65, -290, -190),
    Nima("OHA-D", "Oahu", "OLD HAWAIIAN", "Old Hawaiian, OHA-D", "CC", 58, -283, -182),
    Nima("OHA-M", "Mean Solution (Hawaii, Kauai, Maui, Oahu)", "OLD HAWAIIAN", "Old Hawaiian, OHA-M", "CC", 61, -285, -181),
    Nima("OHI-A", "Hawaii", "OLD HAWAIIAN", "Old Hawaiian, OHI-A", "IN", 229, -222, -348),
    Nima("OHI-B", "Kauai", "OLD HAWAIIAN", "Old Hawaiian, OHI-B", "IN", 185, -233, -337),
    Nima("OHI-C", "Maui", "OLD HAWAIIAN", "Old Hawaiian, OHI-C", "IN", 205, -233, -355),
    Nima("OHI-D", "Oahu", "OLD HAWAIIAN", "Old Hawaiian, OHI-D", "IN", 198, -226, -347),
    Nima("OHI-M", "Mean Solution (Hawaii, Kauai, Maui, Oahu)", "OLD HAWAIIAN", "Old Hawaiian, OHI-M", "IN", 201, -228, -346),
    Nima("PHA", "Djibouti", "AYABELLE LIGHTHOUSE", "Ayabelle Lighthouse, PHA", "CD", -79, -129, 145),
    Nima("PIT", "Pitcairn Island", "PITCAIRN ASTRO 1967", "Pitcairn Astro 1967, PIT", "IN", 185, 165, 42),
    Nima("PLN", "Canary Islands", "PICO DE LAS NIEVES", "Pico de las Nieves, PLN", "IN", -307, -92, 127),
    Nima("POS", "Porto Santo, Madeira Islands", "PORTO SANTO 1936", "Porto Santo 1936, POS", "IN", -499, -249, 314),
    Nima("PRP-A", "Bolivia", "PROVISIONAL SOUTH AMERICAN 1956", "Provisional South American 1956, PRP-A", "IN", -270, 188, -388),
    Nima("PRP-B", "Chile (Northern, Near 19\xB0S)", "PROVISIONAL SOUTH AMERICAN 1956", "Provisional South American 1956, PRP-B", "IN", -270, 183, -390),
    Nima("PRP-C", "Chile (Southern, Near 43\xB0S)", "PROVISIONAL SOUTH AMERICAN 1956", "Provisional South American 1956, PRP-C", "IN", -305, 243, -442),
    Nima("PRP-D", "Colombia", "PROVISIONAL SOUTH AMERICAN 1956", "Provisional South American 1956, PRP-D", "IN", -282, 169, -371),
    Nima("PRP-E", "Ecuador", "PROVISIONAL SOUTH AMERICAN 1956", "Provisional South American 1956, PRP-E", "IN", -278, 171, -367),
    Nima("PRP-F", "Guyana", "PROVISIONAL SOUTH AMERICAN 1956", "Provisional South American 1956, PRP-F", "IN", -298, 159, -369),
    Nima("PRP-G", "Peru", "PROVISIONAL SOUTH AMERICAN 1956", "Provisional South American 1956, PRP-G", "IN", -279, 175, -379),
    Nima("PRP-H", "Venezuela", "PROVISIONAL SOUTH AMERICAN 1956", "Provisional South American 1956, PRP-H", "IN", -295, 173, -371),
    Nima("PRP-M", "Mean Solution (Bolivia, Chile, Colombia, Ecuador, Guyana, Peru, Venezuela)", "PROVISIONAL SOUTH AMERICAN 1956", "Provisional South American 1956, PRP-M", "IN", -288, 175, -376),
    Nima("PTB", "Mean Solution (Burkina Faso and Niger)", "POINT 58", "Point 58, PTB", "CD", -106, -129, 165),
    Nima("PTN", "Congo", "POINTE NOIRE 1948", "Pointe Noire 1948, PTN", "CD", -148, 51, -291),
    Nima("PUK", "Russia", "PULKOVO 1942", "Pulkovo 1942, PUK", "KA", 28, -130, -95),
    Nima("PUR", "Puerto Rico, Virgin Islands", "PUERTO RICO", "Puerto Rico, PUR", "CC", 11, 72, -101),
    Nima("QAT", "Qatar", "QATAR NATIONAL", "Qatar National, QAT", "IN", -128, -283, 22),
    Nima("QUO", "Greenland (South)", "QORNOQ", "Qornoq, QUO", "IN", 164, 138, -189),
    Helmert("RD", "Netherlands", "RD", nullptr, "BR", 565.04L, 49.91L, 465.84L, 0.4094L, -0.3597L, 1.8685L, 4.0772L,
            PCTransReference),
    Helmert("RD-OLD", "Netherlands", "BESSEL (NL.RD)", "Bessel (NL.RD)", "BR", 593.16L, 26.15L, 478.54L, 0, 0, 0, 0, ""),
    Nima("REU", "Mascarene Islands", "REUNION", "Reunion, REU", "IN", 94, -948, -1262),
    Nima("SAE", "Espirito Santo Island", "SANTO (DOS) 1965", "Santo (DOS) 1965, SAE", "IN", 170, 42, 84),
    Nima("SAN-A", "Argentina", "SOUTH AMERICAN 1969", "South American 1969, SAN-A", "SA", -62, -1, -37),
    Nima("SAN-B", "Bolivia", "SOUTH AMERICAN 1969", "South American 1969, SAN-B", "SA", -61, 2, -48),
    Nima("SAN-C", "Brazil", "SOUTH AMERICAN 1969", "South American 1969, SAN-C", "SA", -60, -2, -41),
    Nima("SAN-D", "Chile", "SOUTH AMERICAN 1969", "South American 1969, SAN-D", "SA", -75, -1, -44),
    Nima("SAN-E", "Colombia", "SOUTH AMERICAN 1969", "South American 1969, SAN-E", "SA", -44, 6, -36),
    Nima("SAN-F", "Ecuador", "SOUTH AMERICAN 1969", "South American 1969, SAN-F", "SA", -48, 3, -44),
    Nima("SAN-G", "Ecuador (Baltra, Galapagos)", "SOUTH AMERICAN 1969", "South American 1969, SAN-G", "SA", -53, 3, -47),
    Nima("SAN-H", "Guyana", "SOUTH AMERICAN 1969", "South American 1969, SAN-H", "SA", -61, 2, -33),
    Nima("SAN-I", "Paraguay", "SOUTH AMERICAN 1969", "South American 1969, SAN-I", "SA", -58, 0, -44),
    Nima("SAN-J", "Peru", "SOUTH AMERICAN 1969", "South American 1969, SAN-J", "SA", -47, 26, -42),
    Nima("SAN-K", "Trinidad & Tobago", "SOUTH AMERICAN 1969", "South American 1969, SAN-K", "SA", -45, 12, -33),
    Nima("SAN-L", "Venezuela", "SOUTH AMERICAN 1969", "South American 1969, SAN-L", "SA", -45, 8, -33),
    Nima("SAN-M", "Mean Solution (Argentina, Bolivia, Brazil, Chile, Colombia, Ecuador, Guyana, Paraguay, Peru, Trinidad & Tobago, Venezuela)", "SOUTH AMERICAN 1969", "South American 1969, SAN-M", "SA", -57, 1, -41),
    Nima("SAO", "Azores (Sao Miguel, Santa Maria Ids)", "SAO BRAZ", "Sao Braz, SAO", "IN", -203, 141, 53),
    Nima("SAP", "East Falkland Island", "SAPPER HILL 1943", "Sapper Hill 1943, SAP", "IN", -355, 21, 72),
    Nima("SCK", "Namibia", "SCHWARZECK", "Schwarzeck, SCK", "BR", 616, 97, -251),
    Nima("SGM", "Salvage Islands", "SELVAGEM GRANDE 1938", "Selvagem Grande 1938, SGM", "IN", -289, -124, 60),
    Nima("SHB", "St Helena Island", "ASTRO DOS 71/4", "Astro DOS 71/4, SHB", "IN", -320, 550, -494),
    Nima("SIR", "South America", "SOUTH AMERICAN GEOCENTRIC REFERENCE SYSTEM (SIRGAS)", "SIRGAS, SIR", "RF", 0, 0, 0),
    Nima("SOA", "Singapore", "SOUTH ASIA", "South Asia, SOA", "FA", 7, -10, -26),
    Nima("SPK-A", "Hungary", "S-42 (PULKOVO 1942)", "Pulkovo 1942, SPK-A", "KA", 28, -121, -77),
    Nima("SPK-B", "Poland", "S-42 (PULKOVO 1942)", "Pulkovo 1942, SPK-B", "KA", 23, -124, -82),
    Nima("SPK-C", "Czechoslovakia (Prior 1 JAN 1993)", "S-42 (PULKOVO 1942)", "Pulkovo 1942, SPK-C", "KA", 26, -121, -78),
    Nima("SPK-D", "Latvia", "S-42 (PULKOVO 1942)", "Pulkovo 1942, SPK-D", "KA", 24, -124, -82),
    Nima("SPK-E", "Kazakhstan", "S-42 (PULKOVO 1942)", "Pulkovo 1942, SPK-E", "KA", 15, -130, -84),
    Nima("SPK-F", "Albania", "S-42 (PULKOVO 1942)", "Pulkovo 1942, SPK-F", "KA", 24, -130, -92),
    Nima("SPK-G", "Romania", "S-42 (PULKOVO 1942)", "Pulkovo 1942, SPK-G", "KA", 28, -121, -77),
    Nima("SRL", "Sierra Leone", "SIERRA LEONE 1960", "Sierra Leone 1960, SRL", "CD", -88, 4, 101),
    Nima("TAN", "Madagascar", "TANANARIVE OBSERVATORY 1925", "Tananarive Observatory 1925, TAN", "IN", -189, -242, -91),
    Nima("TDC", "Tristan da Cunha", "TRISTAN ASTRO 1968", "Tristan Astro 1968, TDC", "IN", -632, 438, -609),
    Nima("TIL", "Brunei, E. Malaysia (Sabah Sarawak)", "TIMBALAI 1948", "Timbalai 1948, TIL", "EA", -679, 669, -48),
    Nima("TOY-A", "Japan", "TOKYO", "Tokyo, TOY-A", "BR", -148, 507, 685),
    Nima("TOY-B", "South Korea", "TOKYO", "Tokyo, TOY-B", "BR", -146, 507, 687),
    Nima("TOY-B1", "South Korea", "TOKYO", "Tokyo, TOY-B1", "BR", -147, 506, 687),
    Nima("TOY-C", "Okinawa", "TOKYO", "Tokyo, TOY-C", "BR", -158, 507, 676),
    Nima("TOY-M", "Mean Solution (Japan, South Korea, Okinawa)", "TOKYO", "Tokyo, TOY-M", "BR", -148, 507, 685),
    Nima("TRN", "Tern Island", "TERN ISLAND 1961", "Tern Island 1961, TRN", "IN", 114, -116, -333),
    Nima("VOI", "Algeria", "VOIROL 1874", "Voirol 1874, VOI", "CD", -73, -247, 227),
    Nima("VOR", "Algeria", "VOIROL 1960", "Voirol 1960, VOR", "CD", -123, -206, 219),
    Nima("WAK", "Wake Atoll", "WAKE ISLAND ASTRO 1952", "Wake Island Astro 1952, WAK", "IN", 276, -57, 149),
    Helmert("WGE", "World", "WORLD GEODETIC SYSTEM 1984 (WGS 1984)", "WGS 1984", "WE", 0, 0, 0, 0, 0, 0, 0,
            StanagReference),
    Nima("YAC", "Uruguay", "YACARE", "Yacare, YAC", "IN", -155, 171, 37),
    Nima("ZAN", "Suriname", "ZANDERIJ", "Zanderij, ZAN", "IN", -265, 120, -358),
};
static_assert(sizeof(DatumRows) / sizeof(DatumRows[0]) == FixedDatumCount);

// Rows whose old name is replaced after every row has received its first one.
struct TOldNameOverride {
  const char *OldName;
  const char *Code;
};
const TOldNameOverride LateOldNames[] = {
    {"NAD 1927, NAS-S", "NAS-D"},
    {"s-42, SPK", "SPK-A"},
};

// Rotation matrices for row vectors (p' = p * R).
using TExtMatrix = long double[4][4];

void SetIdentity(TExtMatrix &M) {
  for (int Row = 0; Row < 4; ++Row)
    for (int Col = 0; Col < 4; ++Col)
      M[Row][Col] = Row == Col ? 1.0L : 0.0L;
}

void SetRotation(TExtMatrix &M, int Axis, long double Theta) {
  SetIdentity(M);
  const long double c = std::cos(Theta);
  const long double s = std::sin(Theta);
  // Indices of the two coordinates the rotation mixes, in the order that
  // gives Zrot = [c s; -s c], Yrot = [c -s; s c] (on x, z) and Xrot = [c s; -s c] (on y, z).
  const int i = Axis == 0 ? 1 : 0;
  const int j = Axis == 2 ? 1 : 2;
  const long double Sign = Axis == 1 ? -1.0L : 1.0L;
  M[i][i] = c;
  M[i][j] = Sign * s;
  M[j][i] = -Sign * s;
  M[j][j] = c;
}

void Multiply(TExtMatrix &Result, const TExtMatrix &L, const TExtMatrix &R) {
  TExtMatrix Product;
  for (int Row = 0; Row < 4; ++Row)
    for (int Col = 0; Col < 4; ++Col) {
      long double Sum = 0;
      for (int k = 0; k < 4; ++k)
        Sum += L[Row][k] * R[k][Col];
      Product[Row][Col] = Sum;
    }
  std::memcpy(Result, Product, sizeof(Product));
}

// Fills IsWGS84 and both matrices from the datum's internal parameters:
// ToWGS84 = Xrot(-RX) Yrot(-RY) Zrot(-RZ), the 3 x 3 block scaled, the
// translation in the fourth row; ToLocal is its inverse.
void FillDatum(TGeodeticDatum &Datum, const TGeodeticEllipsoid *WGS84Ellipsoid) {
  Datum.IsWGS84 = Datum.Ellipsoid == WGS84Ellipsoid && Datum.DX == 0 && Datum.DY == 0 && Datum.DZ == 0 &&
                  Datum.RX == 0 && Datum.RY == 0 && Datum.RZ == 0 && Datum.Scale == 1;
  TExtMatrix ToWGS84;
  if (Datum.IsWGS84) {
    SetIdentity(ToWGS84);
  } else {
    TExtMatrix Rotation;
    SetRotation(ToWGS84, 0, -static_cast<long double>(Datum.RX));
    SetRotation(Rotation, 1, -static_cast<long double>(Datum.RY));
    Multiply(ToWGS84, ToWGS84, Rotation);
    SetRotation(Rotation, 2, -static_cast<long double>(Datum.RZ));
    Multiply(ToWGS84, ToWGS84, Rotation);
    for (int Row = 0; Row < 3; ++Row)
      for (int Col = 0; Col < 3; ++Col)
        ToWGS84[Row][Col] *= Datum.Scale;
    ToWGS84[3][0] = Datum.DX;
    ToWGS84[3][1] = Datum.DY;
    ToWGS84[3][2] = Datum.DZ;
    ToWGS84[3][3] = 1;
  }
  for (int Row = 0; Row < 4; ++Row)
    for (int Col = 0; Col < 4; ++Col)
      Datum.ToWGS84.M[Row][Col] = static_cast<double>(ToWGS84[Row][Col]);
  Datum.ToLocal = InvertMatrix(Datum.ToWGS84);
}

void AddDatum(TGeodeticTables &Tables, const TDatumRow &Row, const TGeodeticEllipsoid *WGS84Ellipsoid) {
  auto Datum = std::make_unique<TGeodeticDatum>();
  Datum->Code = Row.Code;
  Datum->Region = Row.Region;
  Datum->Name = Row.Name;
  Datum->OldName = nullptr;
  Datum->Reference = Row.Reference;
  Datum->Ellipsoid = FindEllipsoid(Tables, Row.EllipsoidCode);
  // Published frame (Y east) to the unit's frame (Y west); rotations to radians.
  Datum->DX = static_cast<double>(Row.DX);
  Datum->DY = static_cast<double>(-Row.DY);
  Datum->DZ = static_cast<double>(Row.DZ);
  Datum->RX = static_cast<double>(-Row.RX * ArcSecond);
  Datum->RY = static_cast<double>(Row.RY * ArcSecond);
  Datum->RZ = static_cast<double>(-Row.RZ * ArcSecond);
  Datum->Scale = static_cast<double>(1.0L + Row.DS * 1e-6L);
  FillDatum(*Datum, WGS84Ellipsoid);
  Tables.Datums.push_back(std::move(Datum));
}

// Lowest index whose code equals Code; otherwise the insertion point.
bool SearchDatum(const TGeodeticTables &Tables, const char *Code, int &Index) {
  int Low = 0;
  int High = static_cast<int>(Tables.Datums.size()) - 1;
  bool Found = false;
  while (Low <= High) {
    const int Mid = (Low + High) / 2;
    const int Order = std::strcmp(Tables.Datums[static_cast<size_t>(Mid)]->Code.c_str(), Code);
    if (Order < 0) {
      Low = Mid + 1;
    } else {
      High = Mid - 1;
      if (Order == 0) {
        Found = true;
        Low = Mid;
      }
    }
  }
  Index = Low;
  return Found;
}

bool HasParameters(const TGeodeticDatum &Datum, const TGeodeticEllipsoid *Ellipsoid, double DX, double DY,
                   double DZ, double RX, double RY, double RZ, double Scale) {
  return Datum.Ellipsoid == Ellipsoid && Datum.DX == DX && Datum.DY == DY && Datum.DZ == DZ &&
         Datum.RX == RX && Datum.RY == RY && Datum.RZ == RZ && Datum.Scale == Scale;
}

}  // namespace

void BuildDatumTable(TGeodeticTables &Tables) {
  Assert(Tables.Datums.empty(), "Geodetic datums already exist.", DatumsUnitName, BuildAssertLine);
  const TGeodeticEllipsoid *WGS84Ellipsoid = FindEllipsoid(Tables, "WE");
  Tables.Datums.reserve(FixedDatumCount);
  for (const TDatumRow &Row : DatumRows)
    AddDatum(Tables, Row, WGS84Ellipsoid);
  bool Sorted = true;
  for (size_t i = 1; i < Tables.Datums.size(); ++i)
    Sorted = Sorted && std::strcmp(Tables.Datums[i - 1]->Code.c_str(), Tables.Datums[i]->Code.c_str()) < 0;
  Assert(Sorted, "Geodetic datums are not sorted by code.", DatumsUnitName, SortAssertLine);
  int Index = 0;
  SearchDatum(Tables, "WGE", Index);
  Tables.WGS84 = Tables.Datums[static_cast<size_t>(Index)].get();
  SearchDatum(Tables, "RD-OLD", Index);
  Tables.RDOld = Tables.Datums[static_cast<size_t>(Index)].get();
}

void AttachOldDatumNames(TGeodeticTables &Tables) {
  for (const TDatumRow &Row : DatumRows)
    if (Row.OldName != nullptr)
      AttachOldDatumName(Tables, Row.OldName, Row.Code);
  for (const TOldNameOverride &Late : LateOldNames)
    AttachOldDatumName(Tables, Late.OldName, Late.Code);
}

void AttachOldDatumName(TGeodeticTables &Tables, const char *OldName, const std::string &Code) {
  int Index = 0;
  if (!SearchDatum(Tables, Code.c_str(), Index))
    throw EGeodeticsError("GeodeticDatumOldInitialize: Datum not found.");
  Tables.Datums[static_cast<size_t>(Index)]->OldName = OldName;
}

void GeodeticDatumOldInitialize(const char *OldName, const std::string &Code) {
  AttachOldDatumName(GeodeticTables(), OldName, Code);
}

const TGeodeticDatum *GeodeticDatumCreate(const std::string &Code) {
  const TGeodeticTables &Tables = GeodeticTables();
  int Index = 0;
  if (!SearchDatum(Tables, Code.c_str(), Index))
    throw EGeodeticsError("GeodeticDatumCreate: Unknown datum code \"" + Code + "\"");
  return Tables.Datums[static_cast<size_t>(Index)].get();
}

const TGeodeticDatum *GeodeticDatumCreateFromOldName(const std::string &OldName) {
  const TGeodeticTables &Tables = GeodeticTables();
  for (auto Row = Tables.Datums.rbegin(); Row != Tables.Datums.rend(); ++Row)
    if ((*Row)->OldName != nullptr && OldName == (*Row)->OldName)
      return Row->get();
  throw EGeodeticsError("GeodeticDatumCreateFromOldName: Unknown geodetic datum \"" + OldName + "\"");
}

const TGeodeticDatum *GeodeticDatumCreateFromParameters(const TGeodeticEllipsoid *Ellipsoid, double DX,
                                                        double DY, double DZ, double RX, double RY,
                                                        double RZ, double Scale) {
  // Chart files carry these values; a datum built from non-finite numbers or
  // a non-positive scale would silently turn every position into NaN.
  const double Values[] = {DX, DY, DZ, RX, RY, RZ, Scale};
  bool Valid = Ellipsoid != nullptr && Scale > 0;
  for (double Value : Values)
    Valid = Valid && std::isfinite(Value);
  if (!Valid)
    throw EGeodeticsError("GeodeticDatumCreateFromParameters: Invalid datum parameters.");

  TGeodeticTables &Tables = GeodeticTables();
  std::lock_guard<std::mutex> Lock(GeodeticsLock());
  for (auto Row = Tables.Datums.rbegin(); Row != Tables.Datums.rend(); ++Row)
    if (HasParameters(**Row, Ellipsoid, DX, DY, DZ, RX, RY, RZ, Scale))
      return Row->get();
  for (auto Custom = Tables.CustomDatums.rbegin(); Custom != Tables.CustomDatums.rend(); ++Custom)
    if (HasParameters(**Custom, Ellipsoid, DX, DY, DZ, RX, RY, RZ, Scale))
      return Custom->get();
  auto Datum = std::make_unique<TGeodeticDatum>();
  Datum->OldName = nullptr;
  Datum->Ellipsoid = Ellipsoid;
  Datum->DX = DX;
  Datum->DY = DY;
  Datum->DZ = DZ;
  Datum->RX = RX;
  Datum->RY = RY;
  Datum->RZ = RZ;
  Datum->Scale = Scale;
  FillDatum(*Datum, Tables.WGS84->Ellipsoid);
  Tables.CustomDatums.push_back(std::move(Datum));
  return Tables.CustomDatums.back().get();
}

const TGeodeticDatum *GeodeticDatumCreateFromShift(const TDoublePoint &Position, double DLat, double DLon) {
  const TGeodeticEllipsoid *WGS84Ellipsoid = WGS84Datum()->Ellipsoid;
  const TDoublePoint3 P1 = GeodeticToGeocentricH({Position.X, Position.Y, 0}, WGS84Ellipsoid);
  const TDoublePoint3 P2 = GeodeticToGeocentricH({Position.X - DLat, Position.Y - DLon, 0}, WGS84Ellipsoid);
  return GeodeticDatumCreateFromParameters(WGS84Ellipsoid, P2.X - P1.X, P2.Y - P1.Y, P2.Z - P1.Z, 0, 0, 0, 1);
}

const TGeodeticDatum *WGS84Datum() { return GeodeticTables().WGS84; }

bool DatumsEquivalent(const TGeodeticDatum *A, const TGeodeticDatum *B) {
  return A == B || (A != nullptr && B != nullptr && A->IsWGS84 && B->IsWGS84);
}

int GeodeticDatumCount() { return static_cast<int>(GeodeticTables().Datums.size()); }

const TGeodeticDatum *GeodeticDatumByIndex(int Index) {
  const TGeodeticTables &Tables = GeodeticTables();
  Assert(Index >= 0 && Index < static_cast<int>(Tables.Datums.size()), "Datum index out of range.",
         DatumsUnitName, __LINE__);
  return Tables.Datums[static_cast<size_t>(Index)].get();
}
