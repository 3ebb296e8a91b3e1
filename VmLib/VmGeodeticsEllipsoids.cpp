// Reference ellipsoids: the fixed table, lookup by code and find-or-create of
// custom ellipsoids from a and 1/f.
#include "VmGeodetics.h"

#include "VmGeodeticsInternal.h"

#include <cmath>
#include <cstring>

namespace {

// Line numbers the ellipsoid contract assertions report.
constexpr int FillAssertLine = 209;
constexpr int AddAssertLine = 250;
constexpr int BuildAssertLine = 270;
constexpr int CountAssertLine = 309;
constexpr int SortAssertLine = 310;
constexpr int CodeKeyAssertLine = 316;

constexpr int FixedEllipsoidCount = 25;


struct TEllipsoidRow {
  const char *Code;
  const char *Name;
  const char *Region;
  long double A;
  long double InvF;
  const char *Reference;
};

// Sorted by code; values are the published literals, kept in extended precision.
const TEllipsoidRow EllipsoidRows[] = {
    {"AA", "Airy", "", 6377563.396L, 299.3249646L, NimaReference},
    {"AM", "Modified Airy", "", 6377340.189L, 299.3249646L, NimaReference},
    {"AN", "Australian National", "", 6378160.0L, 298.25L, NimaReference},
    {"BN", "Bessel 1841", "Namibia", 6377483.865L, 299.1528128L, NimaReference},
    {"BR", "Bessel 1841", "Ethiopia, Indonesia, Japan, Korea", 6377397.155L, 299.1528128L, NimaReference},
    {"CC", "Clarke 1866", "", 6378206.4L, 294.9786982L, NimaReference},
    {"CD", "Clarke 1880", "", 6378249.145L, 293.465L, NimaReference},
    {"CG", "CG (France)", "", 6378249.2L, 293.46602156583L, StanagReference},
    {"EA", "Everest", "India 1830", 6377276.345L, 300.8017L, NimaReference},
    {"EB", "Everest", "Brunei, E. Malaysia (Sabah and Sarawak)", 6377298.556L, 300.8017L, NimaReference},
    {"EC", "Everest", "India 1956", 6377301.243L, 300.8017L, NimaReference},
    {"ED", "Everest", "W. Malaysia 1969", 6377295.664L, 300.8017L, NimaReference},
    {"EE", "Everest", "W. Malaysia, Singapore", 6377304.063L, 300.8017L, NimaReference},
    {"EF", "Everest", "Pakistan", 6377309.613L, 300.8017L, NimaReference},
    {"FA", "Modified Fischer 1960", "", 6378155.0L, 298.3L, NimaReference},
    {"HE", "Helmert 1906", "", 6378200.0L, 298.3L, NimaReference},
    {"HO", "Hough 1960", "", 6378270.0L, 297.0L, NimaReference},
    {"ID", "Indonesian 1974", "", 6378160.0L, 298.247L, NimaReference},
    {"IN", "International 1924", "", 6378388.0L, 297.0L, NimaReference},
    {"KA", "Krassovsky 1940", "", 6378245.0L, 298.3L, NimaReference},
    {"RF", "Geodetic Reference System 1980", "", 6378137.0L, 298.257222101L, NimaReference},
    {"SA", "South American 1969", "", 6378160.0L, 298.25L, NimaReference},
    {"WD", "WGS 1972", "", 6378135.0L, 298.26L, NimaReference},
    {"WE", "WGS 1984", "", 6378137.0L, 298.257223563L, NimaReference},
    {"WO", "WO Ghana", "Ghana", 6378300.0L, 296.0000156L, StanagReference},
};
static_assert(sizeof(EllipsoidRows) / sizeof(EllipsoidRows[0]) == FixedEllipsoidCount);

void AddEllipsoid(TGeodeticTables &Tables, const TEllipsoidRow &Row) {
  Assert(Row.Code[0] != '\0', "Ellipsoid code must not be empty.", EllipsoidsUnitName, AddAssertLine);
  TGeodeticEllipsoid &Ellipsoid = Tables.Ellipsoids.emplace_back();
  Ellipsoid.Code = EllipsoidCodeKey(Row.Code);
  Ellipsoid.Name = Row.Name;
  Ellipsoid.Region = Row.Region;
  Ellipsoid.Reference = Row.Reference;
  FillEllipsoid(Ellipsoid, Row.A, Row.InvF);
}

// Lowest index whose key equals Key; otherwise the insertion point.
bool SearchEllipsoid(const TGeodeticTables &Tables, uint32_t Key, int &Index) {
  int Low = 0;
  int High = static_cast<int>(Tables.Ellipsoids.size()) - 1;
  bool Found = false;
  while (Low <= High) {
    const int Mid = (Low + High) / 2;
    const uint32_t MidKey = Tables.Ellipsoids[static_cast<size_t>(Mid)].Code;
    if (MidKey < Key) {
      Low = Mid + 1;
    } else {
      High = Mid - 1;
      if (MidKey == Key) {
        Found = true;
        Low = Mid;
      }
    }
  }
  Index = Low;
  return Found;
}

bool SameBits(double A, double B) { return std::memcmp(&A, &B, sizeof(double)) == 0; }

bool HasParameters(const TGeodeticEllipsoid &Ellipsoid, double InvF, double A) {
  return SameBits(Ellipsoid.A, A) && SameBits(Ellipsoid.InvF, InvF);
}

}  // namespace

uint32_t EllipsoidCodeKey(const std::string &Code) {
  Assert(!Code.empty() && Code.size() <= 4, "Ellipsoid code must have 1 to 4 characters.", EllipsoidsUnitName,
         CodeKeyAssertLine);
  uint32_t Key = 0;
  for (size_t i = 0; i < 4; ++i) {
    const uint32_t Char = i < Code.size() ? static_cast<unsigned char>(Code[i]) : 0u;
    Key = (Key << 8) | Char;
  }
  return Key;
}

// Series from Snyder, "Map Projections - A Working Manual" (USGS PP 1395):
// conformal latitude (3-5), meridian arc (3-21) and footpoint latitude (3-26),
// each to the fourth term.
void FillEllipsoid(TGeodeticEllipsoid &Ellipsoid, long double A, long double InvF) {
  Assert(A > 0 && InvF > 0, "Ellipsoid parameters must be positive.", EllipsoidsUnitName, FillAssertLine);
  const long double f = 1.0L / InvF;
  const long double e2 = 2.0L * f - f * f;
  const long double e4 = e2 * e2;
  const long double e6 = e4 * e2;
  const long double e8 = e6 * e2;
  Ellipsoid.A = static_cast<double>(A);
  Ellipsoid.InvF = static_cast<double>(InvF);
  Ellipsoid.F = static_cast<double>(f);
  Ellipsoid.B = static_cast<double>(A - f * A);
  Ellipsoid.E2 = static_cast<double>(e2);
  Ellipsoid.E = static_cast<double>(std::sqrt(e2));
  Ellipsoid.E2Prime = static_cast<double>(e2 / (1.0L - e2));

  Ellipsoid.ConformalCoef[0] = static_cast<double>(e2 / 2 + 5 * e4 / 24 + e6 / 12 + 13 * e8 / 360);
  Ellipsoid.ConformalCoef[1] = static_cast<double>(7 * e4 / 48 + 29 * e6 / 240 + 811 * e8 / 11520);
  Ellipsoid.ConformalCoef[2] = static_cast<double>(7 * e6 / 120 + 81 * e8 / 1120);
  Ellipsoid.ConformalCoef[3] = static_cast<double>(4279 * e8 / 161280);

  const long double C1 = 1 - e2 / 4 - 3 * e4 / 64 - 5 * e6 / 256;
  Ellipsoid.MeridianCoef[0] = static_cast<double>(C1);
  Ellipsoid.MeridianCoef[1] = static_cast<double>(3 * e2 / 8 + 3 * e4 / 32 + 45 * e6 / 1024);
  Ellipsoid.MeridianCoef[2] = static_cast<double>(15 * e4 / 256 + 45 * e6 / 1024);
  Ellipsoid.MeridianCoef[3] = static_cast<double>(35 * e6 / 3072);
  Ellipsoid.MuFactor = static_cast<double>(1.0L / (A * C1));

  const long double Root = std::sqrt(1.0L - e2);
  const long double e1 = (1 - Root) / (1 + Root);
  const long double e1_2 = e1 * e1;
  const long double e1_3 = e1_2 * e1;
  const long double e1_4 = e1_3 * e1;
  Ellipsoid.FootpointCoef[0] = static_cast<double>(3 * e1 / 2 - 27 * e1_3 / 32);
  Ellipsoid.FootpointCoef[1] = static_cast<double>(21 * e1_2 / 16 - 55 * e1_4 / 32);
  Ellipsoid.FootpointCoef[2] = static_cast<double>(151 * e1_3 / 96);
  Ellipsoid.FootpointCoef[3] = static_cast<double>(1097 * e1_4 / 512);
}

void BuildEllipsoidTable(TGeodeticTables &Tables) {
  Assert(Tables.Ellipsoids.empty(), "Geodetic ellipsoids already exist.", EllipsoidsUnitName, BuildAssertLine);
  Tables.Ellipsoids.reserve(FixedEllipsoidCount);
  for (const TEllipsoidRow &Row : EllipsoidRows)
    AddEllipsoid(Tables, Row);
  Assert(Tables.Ellipsoids.size() == FixedEllipsoidCount,
         "Number of added ellipsoids does not match the allocated buffer size.", EllipsoidsUnitName,
         CountAssertLine);
  bool Sorted = true;
  for (size_t i = Tables.Ellipsoids.size() - 1; i > 0; --i)
    Sorted = Sorted && Tables.Ellipsoids[i - 1].Code < Tables.Ellipsoids[i].Code;
  Assert(Sorted, "Geodetic ellipsoids are not sorted by code.", EllipsoidsUnitName, SortAssertLine);
}

const TGeodeticEllipsoid *FindEllipsoid(const TGeodeticTables &Tables, const std::string &Code) {
  int Index = 0;
  if (!SearchEllipsoid(Tables, EllipsoidCodeKey(Code), Index))
    throw EGeodeticsError("GeodeticEllipsoidCreate: Unknown ellipsoid code \"" + Code + "\"");
  return &Tables.Ellipsoids[static_cast<size_t>(Index)];
}

const TGeodeticEllipsoid *GeodeticEllipsoidCreate(const std::string &Code) {
  return FindEllipsoid(GeodeticTables(), Code);
}

const TGeodeticEllipsoid *GeodeticEllipsoidCreateFromParameters(double InvF, double A) {
  TGeodeticTables &Tables = GeodeticTables();
  std::lock_guard<std::mutex> Lock(GeodeticsLock());
  for (auto Row = Tables.Ellipsoids.rbegin(); Row != Tables.Ellipsoids.rend(); ++Row)
    if (HasParameters(*Row, InvF, A))
      return &*Row;
  for (auto Custom = Tables.CustomEllipsoids.rbegin(); Custom != Tables.CustomEllipsoids.rend(); ++Custom)
    if (HasParameters(**Custom, InvF, A))
      return Custom->get();
  auto Ellipsoid = std::make_unique<TGeodeticEllipsoid>();
  Ellipsoid->Code = 0;
  FillEllipsoid(*Ellipsoid, A, InvF);
  Tables.CustomEllipsoids.push_back(std::move(Ellipsoid));
  return Tables.CustomEllipsoids.back().get();
}

int GeodeticEllipsoidCount() { return static_cast<int>(GeodeticTables().Ellipsoids.size()); }

const TGeodeticEllipsoid *GeodeticEllipsoidByIndex(int Index) {
  const TGeodeticTables &Tables = GeodeticTables();
  Assert(Index >= 0 && Index < static_cast<int>(Tables.Ellipsoids.size()), "Ellipsoid index out of range.",
         EllipsoidsUnitName, __LINE__);
  return &Tables.Ellipsoids[static_cast<size_t>(Index)];
}
