#include "NKFSampleGeography.h"

#include <cmath>
#include <numbers>
#include <stdexcept>

namespace {

constexpr double Degree = std::numbers::pi / 180;
constexpr double KmPerDegreeLat = 111.25;
double KmPerDegreeLon(double Lat) { return 111.32 * std::cos(Lat * Degree); }

// The coast is a line of longitude over latitude, sampled every 0.0001
// degrees (11 m: finer than a pixel of the 1:12,500 charts' curves need),
// from far south to far north of every chart.
constexpr double SouthEnd = 52.20, NorthEnd = 54.10, Step = 0.0001;
constexpr double FarInland = 7.5; // where the mainland's polygons close

struct THarbourSite {
  const char *Name;
  double Lat;
  double DepthKm; // how far the harbour reaches inland
};
// Dalmoog lies on the island Moog, the others in the mainland coast.
constexpr THarbourSite CoastHarbours[] = {
    {"Fennum", 52.72, 1.3},  {"Aldenhof", 53.10, 1.8}, {"Dalmeer", 53.25, 1.1},
    {"Corlum", 53.36, 0.9},  {"Baarsum", 53.52, 1.4},  {"Eemstad", 53.62, 0.8},
};
constexpr double HarbourHalfWidth = 0.0016; // degrees of latitude, about 180 m

// The coast without its harbours: a north-easterly trend with bays and
// headlands at several sizes, from 30 km down to 150 m.
double CoastTrend(double Lat) {
  const double t = Lat - 52.80;
  return 4.62 + 0.95 * t + 0.020 * std::sin(t * 2 * std::numbers::pi / 0.27 + 0.7) +
         0.008 * std::sin(t * 2 * std::numbers::pi / 0.075 + 2.1) +
         0.0030 * std::sin(t * 2 * std::numbers::pi / 0.023 + 0.4) +
         0.0009 * std::sin(t * 2 * std::numbers::pi / 0.0063 + 1.3) +
         0.0003 * std::sin(t * 2 * std::numbers::pi / 0.0014 + 2.9);
}

double HarbourInlet(double Lat) {
  double lon = 0;
  for (const THarbourSite &h : CoastHarbours) {
    const double u = (Lat - h.Lat) / HarbourHalfWidth;
    if (std::fabs(u) < 4)
      lon += h.DepthKm / KmPerDegreeLon(h.Lat) * std::exp(-u * u * u * u);
  }
  return lon;
}

double CoastLon(double Lat) { return CoastTrend(Lat) + HarbourInlet(Lat); }

// A depth line: the coast's trend moved seaward by a distance that itself
// varies slowly along the coast.
TGeoLine Offshore(double MeanKm, double SwingKm, double Phase) {
  TGeoLine line;
  for (double lat = SouthEnd; lat <= NorthEnd + 1e-9; lat += Step * 4) {
    const double km = MeanKm + SwingKm * std::sin((lat - 52.8) * 2 * std::numbers::pi / 0.19 + Phase);
    line.push_back({lat, CoastTrend(lat) - km / KmPerDegreeLon(lat)});
  }
  return line;
}

TGeoLine ClosedInland(TGeoLine Line) {
  Line.push_back({NorthEnd, FarInland});
  Line.push_back({SouthEnd, FarInland});
  return Line;
}

struct TIslandShape {
  const char *Name;
  TGeoPoint Centre;
  double Long, Wide;     // semi-axes, km
  double Heading;        // of the long axis, degrees from north
  double HarbourAngle;   // of the harbour notch, degrees from the long axis; no notch when 0
};
constexpr TIslandShape IslandShapes[] = {
    {"Moog", {53.43, 4.975}, 6.0, 2.2, 32, 100},
    {"Ruggeplaat", {53.02, 4.670}, 4.0, 1.6, 28, 0},
};

// An island's outline grown by Grow km, as a closed polygon: an ellipse with
// a ragged shore and, where the harbour is, a notch.
TGeoLine IslandOutline(const TIslandShape &s, double Grow) {
  TGeoLine line;
  const int n = 2400;
  const double heading = s.Heading * Degree;
  for (int i = 0; i < n; ++i) {
    const double a = 2 * std::numbers::pi * i / n;
    double r = s.Long * s.Wide / std::hypot(s.Wide * std::cos(a), s.Long * std::sin(a));
    r *= 1 + 0.06 * std::sin(3 * a + 0.5) + 0.03 * std::sin(7 * a + 1.1) + 0.01 * std::sin(23 * a);
    if (s.HarbourAngle != 0 && Grow == 0) {
      double d = std::remainder(a - s.HarbourAngle * Degree, 2 * std::numbers::pi) / 0.05;
      r -= 0.55 * std::exp(-d * d * d * d);
    }
    r += Grow;
    // Long axis along the heading: u along it, v across it (to the east).
    const double u = r * std::cos(a), v = r * std::sin(a);
    const double east = u * std::sin(heading) + v * std::cos(heading);
    const double north = u * std::cos(heading) - v * std::sin(heading);
    line.push_back({s.Centre.Lat + north / KmPerDegreeLat, s.Centre.Lon + east / KmPerDegreeLon(s.Centre.Lat)});
  }
  return line;
}

TGeoPoint Moved(const TGeoPoint &p, double EastKm, double NorthKm) {
  return {p.Lat + NorthKm / KmPerDegreeLat, p.Lon + EastKm / KmPerDegreeLon(p.Lat)};
}

// The head of an island's harbour notch.
TGeoPoint IslandHarbour(const TIslandShape &s) {
  const double heading = s.Heading * Degree, a = s.HarbourAngle * Degree;
  const double r0 = s.Long * s.Wide / std::hypot(s.Wide * std::cos(a), s.Long * std::sin(a));
  const double r = r0 * (1 + 0.06 * std::sin(3 * a + 0.5) + 0.03 * std::sin(7 * a + 1.1) + 0.01 * std::sin(23 * a)) - 0.45;
  const double u = r * std::cos(a), v = r * std::sin(a);
  return Moved(s.Centre, u * std::sin(heading) + v * std::cos(heading), u * std::cos(heading) - v * std::sin(heading));
}

// Buoys in pairs along the way in, red to port and green to starboard for a
// ship coming from the sea (eastward), and a light at the entrance.
void AddApproach(TSampleGeography &g, const TGeoPoint &Mouth, double Heading, const char *Light) {
  const double h = Heading * Degree;
  for (int k = 1; k <= 3; ++k) {
    const double along = -0.9 * k; // seaward
    const double e = along * std::sin(h), n = along * std::cos(h);
    g.Marks.push_back({TSampleMarkKind::PortBuoy, Moved(Mouth, e - 0.12 * std::cos(h), n + 0.12 * std::sin(h)), ""});
    g.Marks.push_back({TSampleMarkKind::StarboardBuoy, Moved(Mouth, e + 0.12 * std::cos(h), n - 0.12 * std::sin(h)), ""});
  }
  g.Marks.push_back({TSampleMarkKind::Light, Moved(Mouth, -0.25 * std::cos(h), 0.25 * std::sin(h)), Light});
}

TSampleGeography Build() {
  TSampleGeography g;
  for (double lat = SouthEnd; lat <= NorthEnd + 1e-9; lat += Step)
    g.Coast.push_back({lat, CoastLon(lat)});
  g.Land.push_back(ClosedInland(g.Coast));
  g.Shallow5.push_back(ClosedInland(Offshore(1.1, 0.4, 0.3)));
  g.Shallow10.push_back(ClosedInland(Offshore(3.0, 1.0, 1.9)));
  g.Contour20.push_back(Offshore(7.5, 2.0, 4.0));
  for (const TIslandShape &s : IslandShapes) {
    g.Land.push_back(IslandOutline(s, 0));
    g.Shallow5.push_back(IslandOutline(s, 0.8));
    g.Shallow10.push_back(IslandOutline(s, 2.0));
    g.Contour20.push_back(IslandOutline(s, 4.2));
    g.Islands.push_back({s.Name, s.Centre});
  }
  const char *lights[] = {"Fl G 5s", "Iso 4s", "Oc WRG 6s", "Fl(2) R 10s", "Q 1s", "LFl 8s"};
  int k = 0;
  for (const THarbourSite &h : CoastHarbours) {
    const TGeoPoint mouth{h.Lat, CoastTrend(h.Lat)};
    g.Harbours.push_back({h.Name, {h.Lat, mouth.Lon + h.DepthKm / KmPerDegreeLon(h.Lat)}});
    AddApproach(g, mouth, 90, lights[k++]);
  }
  const TIslandShape &moog = IslandShapes[0];
  const TGeoPoint dalmoog = IslandHarbour(moog);
  g.Harbours.push_back({"Dalmoog", dalmoog});
  // The notch opens along the bearing Heading + HarbourAngle; ships come in against it.
  const double outward = (moog.Heading + moog.HarbourAngle) * Degree;
  AddApproach(g, Moved(dalmoog, 0.6 * std::sin(outward), 0.6 * std::cos(outward)),
              moog.Heading + moog.HarbourAngle + 180, "Fl(3) 15s");
  // Lighthouses on the islands' seaward ends.
  g.Marks.push_back({TSampleMarkKind::Light, Moved(moog.Centre, -3.0, -4.6), "LFl(2) 12s 45m 23M"});
  g.Marks.push_back({TSampleMarkKind::Light, Moved(IslandShapes[1].Centre, -1.6, 3.2), "Fl 5s 38m 18M"});
  g.SeaNames.push_back({"WELMER ZEE", {53.30, 4.62}});
  g.SeaNames.push_back({"WELMER ZEE", {52.80, 4.35}});
  g.SeaNames.push_back({"Moogdiep", {53.47, 5.12}});
  return g;
}

} // namespace

const TSampleGeography &NKFSampleGeography() {
  static const TSampleGeography geography = Build();
  return geography;
}

const TSamplePlace &NKFSampleHarbour(const std::string &Name) {
  for (const TSamplePlace &h : NKFSampleGeography().Harbours)
    if (h.Name == Name)
      return h;
  throw std::out_of_range("NKFSampleHarbour: no harbour " + Name);
}
