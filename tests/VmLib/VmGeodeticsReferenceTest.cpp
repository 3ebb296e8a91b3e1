// The conversion engine against its own earlier results. The values in
// VmGeodeticsReferenceData.inc were produced by the engine before its point
// loops were tuned for speed, on the first 750 points of each area of the
// geodesy benchmark (same generator, same areas). Any rearrangement of the
// arithmetic must stay within the tolerances below: far below what a chart
// can show, far above the last-bit differences that another compiler or C
// library brings to the double-precision elementary functions.
#include "VmGeodetics.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numbers>
#include <vector>

namespace {

struct TReferencePoint {
  TDoublePoint3 Forward;  // the generated point converted to the area's other system
  TDoublePoint3 Inverse;  // Forward converted back
};

#include "VmGeodeticsReferenceData.inc"

constexpr double Degree = std::numbers::pi / 180;
constexpr double AngleTolerance = 1e-12;     // radians: 6 micrometres on the ground
constexpr double DistanceTolerance = 1e-6;   // metres

enum class TUnits { Angles, Metres };

struct TArea {
  const char *Name;
  double MinLat, MaxLat, MinLon, MaxLon;  // degrees
  bool WithHeight;
  TGeodeticCoordinateSystem Geographic;
  TGeodeticCoordinateSystem Other;
  TUnits OtherUnits;
  const TReferencePoint *Reference;
  size_t Count;
};

template <size_t N>
TArea MakeArea(const char *Name, double MinLat, double MaxLat, double MinLon, double MaxLon, bool WithHeight,
               const TGeodeticCoordinateSystem &Geographic, const TGeodeticCoordinateSystem &Other,
               TUnits OtherUnits, const TReferencePoint (&Reference)[N]) {
  return {Name, MinLat, MaxLat, MinLon, MaxLon, WithHeight, Geographic, Other, OtherUnits, Reference, N};
}

std::vector<TArea> Areas() {
  const TGeodeticDatum *WGE = WGS84Datum();
  const auto Geo = CoordinateSystemGeographic;
  return {
      MakeArea("Mercator", -80, 80, -180, 180, false, Geo(WGE), CoordinateSystemMercator(WGE), TUnits::Metres,
               MercatorReference),
      MakeArea("transverse Mercator", 0, 80, 0, 6, false, Geo(WGE),
               CoordinateSystemTransverseMercator(WGE, 0.9996, 3 * Degree), TUnits::Metres,
               TransverseMercatorReference),
      MakeArea("EUR-A to WGS 84", 36, 70, -10, 30, true, Geo(GeodeticDatumCreate("EUR-A")), Geo(WGE),
               TUnits::Angles, EuropeanDatumReference),
      MakeArea("RD", 50.75, 53.5, 3.4, 7.2, false, Geo(GeodeticDatumCreate("RD-OLD")), CoordinateSystemRD(),
               TUnits::Metres, RDReference),
  };
}

// The benchmark's points: a linear congruential generator spread over the area.
std::vector<TDoublePoint3> GeneratePoints(const TArea &Area) {
  std::vector<TDoublePoint3> Points(Area.Count);
  uint64_t State = 0x9E3779B97F4A7C15u;
  auto Next = [&State] {
    State = State * 6364136223846793005u + 1442695040888963407u;
    return static_cast<double>(State >> 11) / 9007199254740992.0;
  };
  for (TDoublePoint3 &P : Points) {
    const double Lat = (Area.MinLat + (Area.MaxLat - Area.MinLat) * Next()) * Degree;
    const double Lon = (Area.MinLon + (Area.MaxLon - Area.MinLon) * Next()) * Degree;
    P = {Lat, Lon, Area.WithHeight ? 500 * Next() : 0};
  }
  return Points;
}

// Latitude and longitude within the angle tolerance, or x and y within the
// distance tolerance; heights always in metres.
void ExpectClose(const TDoublePoint3 &Actual, const TDoublePoint3 &Expected, TUnits Units, const char *Area,
                 const char *Direction, size_t Index) {
  const double Tolerance = Units == TUnits::Angles ? AngleTolerance : DistanceTolerance;
  EXPECT_NEAR(Actual.X, Expected.X, Tolerance) << Area << " " << Direction << " point " << Index;
  EXPECT_NEAR(Actual.Y, Expected.Y, Tolerance) << Area << " " << Direction << " point " << Index;
  EXPECT_NEAR(Actual.Z, Expected.Z, DistanceTolerance) << Area << " " << Direction << " point " << Index;
}

TEST(GeodeticsReference, ConversionsKeepTheirEarlierResults) {
  for (const TArea &Area : Areas()) {
    const std::vector<TDoublePoint3> Input = GeneratePoints(Area);
    std::vector<TDoublePoint3> Forward(Area.Count);
    ConvertPoints(static_cast<int>(Area.Count), Forward.data(), Area.Other, nullptr, nullptr, Area.Geographic,
                  Input.data());
    // The inverse starts from the stored forward results, so that each
    // direction is checked on its own.
    std::vector<TDoublePoint3> StoredForward(Area.Count), Inverse(Area.Count);
    for (size_t i = 0; i < Area.Count; ++i)
      StoredForward[i] = Area.Reference[i].Forward;
    ConvertPoints(static_cast<int>(Area.Count), Inverse.data(), Area.Geographic, nullptr, nullptr, Area.Other,
                  StoredForward.data());
    for (size_t i = 0; i < Area.Count; ++i) {
      ExpectClose(Forward[i], Area.Reference[i].Forward, Area.OtherUnits, Area.Name, "forward", i);
      ExpectClose(Inverse[i], Area.Reference[i].Inverse, TUnits::Angles, Area.Name, "inverse", i);
      if (HasFailure())
        return;  // one point tells the story; a thousand more would bury it
    }
  }
}

}  // namespace
