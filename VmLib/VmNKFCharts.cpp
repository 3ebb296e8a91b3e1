#include "VmNKFCharts.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "OSFile.h"
#include "VmFileIO.h"
#include "VmNKF2TileManager.h"

// The tile manager drops the chart's cached tiles and detaches a load in
// flight for it. Every chart that goes away, fully opened or not, passes
// through here exactly once. A manager never created holds no tile of the
// chart, and one already destroyed (a chart in static storage outliving it)
// must not be touched.
static void ReleaseChartTiles(TNKFChart *Chart) {
  if (TNKFTileManager *manager = ExistingTileManager())
    manager->RemoveTilesOfChart(Chart);
}

// ---------------------------------------------------------------------------
// Container

std::string NKFDottedVersion(uint32_t Version) {
  return IntToStr(Version >> 24) + "." + IntToStr((Version >> 16) & 0xFF) + "." + IntToStr((Version >> 8) & 0xFF) +
         "." + IntToStr(Version & 0xFF);
}

// x / d rounded to single precision, then up to a whole number; stored as
// the format's unsigned 32-bit field (a negative result wraps, and the tile
// count check then refuses the file).
static uint32_t UpQuotient(double x, double d) {
  const float q = static_cast<float>(x / d);
  return static_cast<uint32_t>(static_cast<int64_t>(std::ceil(q)));
}

static void NumberLevels(TNKFLevel *Levels) {
  uint32_t first = 0;
  for (int i = 0; i < NKFLevelCount; ++i) {
    Levels[i].FirstTile = first;
    first += Levels[i].TilesX * Levels[i].TilesY;
  }
}

void NKFComputeLevels(int32_t Width, int32_t Height, TNKFLevel *Levels) {
  for (int i = 0; i < NKFLevelCount; ++i) {
    const double d = static_cast<double>(1 << i);
    TNKFLevel &level = Levels[i];
    level.Width = UpQuotient(Width, d);
    level.Height = UpQuotient(Height, d);
    level.TilesX = UpQuotient(level.Width, NKFTileSize);
    level.TilesY = UpQuotient(level.Height, NKFTileSize);
  }
  NumberLevels(Levels);
}

// The tile count the levels need, or UINT64_MAX when it exceeds what a
// 32-bit TileCount can hold.
static uint64_t LevelTileCount(const std::array<TNKFLevel, NKFLevelCount> &Levels) {
  uint64_t total = 0;
  for (const TNKFLevel &level : Levels) {
    total += static_cast<uint64_t>(level.TilesX) * level.TilesY;
    if (total > UINT32_MAX)
      return UINT64_MAX;
  }
  return total;
}

// The later versions derive each level from the chart's size through a
// quotient rounded to single precision before it is rounded up, which for
// sides beyond 2^24 pixels moves a level by up to 2^-24 of its size: a side
// is taken as the one before it halved (or, on level 0, the chart's own) when
// it is within a pixel of that for the rounding up and 2^-22 of it for the
// single precision.
static bool IsSideOf(uint32_t Side, int64_t Whole, bool Halved) {
  const int64_t slack = Whole >> 22;
  const int64_t side = Halved ? 2 * static_cast<int64_t>(Side) : Side;
  const int64_t rounding = Halved ? 2 : 0;
  return side >= Whole - rounding - slack && side <= Whole + rounding + slack;
}

std::string NKFLevelFault(const TNKFChart &Chart, int Level) {
  if (Level < 0 || Level >= NKFLevelCount)
    return "Level " + IntToStr(Level) + " is not 0 to " + IntToStr(NKFLevelCount - 1);
  const TNKFLevel &l = Chart.Levels[static_cast<size_t>(Level)];
  const std::string name = "Level " + IntToStr(Level) + " (" + std::to_string(l.Width) + " x " +
                           std::to_string(l.Height) + " pixels in " + std::to_string(l.TilesX) + " x " +
                           std::to_string(l.TilesY) + " tiles)";
  if (l.Width == 0 || l.Height == 0)
    return name + " has no pixels";
  if (l.Width > INT32_MAX || l.Height > INT32_MAX)
    return name + " is larger than an image can be";
  const auto tilesFor = [](uint32_t Pixels) { return Pixels / NKFTileSize + (Pixels % NKFTileSize != 0); };
  if (l.TilesX != tilesFor(l.Width) || l.TilesY != tilesFor(l.Height))
    return name + " is not covered exactly by its tiles";
  if (Level == 0) {
    if (!IsSideOf(l.Width, Chart.Width, false) || !IsSideOf(l.Height, Chart.Height, false))
      return name + " is not the chart's size (" + IntToStr(Chart.Width) + " x " + IntToStr(Chart.Height) + ")";
    return {};
  }
  const TNKFLevel &before = Chart.Levels[static_cast<size_t>(Level - 1)];
  if (!IsSideOf(l.Width, before.Width, true) || !IsSideOf(l.Height, before.Height, true))
    return name + " is not half of level " + IntToStr(Level - 1) + " (" + std::to_string(before.Width) + " x " +
           std::to_string(before.Height) + " pixels)";
  return {};
}

std::string NKFLevelsFault(const TNKFChart &Chart) {
  for (int level = 0; level < NKFLevelCount; ++level)
    if (std::string fault = NKFLevelFault(Chart, level); !fault.empty())
      return fault;
  return {};
}

TNKFChart::TNKFChart(const std::string &AFileName) {
  try {
    Open(AFileName);
  } catch (...) {
    ReleaseChartTiles(this);
    throw;
  }
}

TNKFChart::~TNKFChart() { ReleaseChartTiles(this); }

void TNKFChart::Open(const std::string &AFileName) {
  {
    TBufferedFileStream Stream(AFileName, fmOpenRead | fmShareDenyNone, 131072);
    if (StreamCheckStr(Stream, NKFMagic)) {
      Version = StreamReadCardinal(Stream);
      if (Version != NKFVersion1_0_0_0 && Version != NKFVersion1_0_0_1 && Version != NKFVersion1_0_0_2)
        throw ENKFChartError("TNKFChart.Create: Unsupported version of " + AFileName + " (" +
                             NKFDottedVersion(Version) + ")");
      TagPos = StreamReadInt64(Stream);
      ReadLevels(Stream);
      TileCount = StreamReadCardinal(Stream);
      if (TileCount != LevelTileCount(Levels))
        throw ENKFChartError("TNKFChart.Create: Data integrity error in " + AFileName);
      ReadDirectory(Stream, AFileName);
      if (Version == NKFVersion1_0_0_0)
        DeriveFirstVersionSizes();
      if (TagPos == 0)
        throw ENKFChartError("TNKFChart.Create: TagPos cannot be zero");
      Stream.Seek(TagPos, TSeekOrigin::soBeginning);
      TNKF2Tag tag;
      ReadTagFromStream(Stream, tag);
      TakeTag(tag);
      FileName = AFileName;
    }
  }
  Transformation = std::make_unique<TProjectiveTransformation>();
}

void TNKFChart::ReadLevels(TStream &Stream) {
  if (Version == NKFVersion1_0_0_0) {
    for (TNKFLevel &level : Levels) {
      level.Width = StreamReadCardinal(Stream);
      level.Height = StreamReadCardinal(Stream);
      level.TilesX = StreamReadCardinal(Stream);
      level.TilesY = StreamReadCardinal(Stream);
    }
    NumberLevels(Levels.data());
    Width = static_cast<int32_t>(Levels[0].Width);
    Height = static_cast<int32_t>(Levels[0].Height);
  } else {
    Width = StreamReadInteger(Stream);
    Height = StreamReadInteger(Stream);
    NKFComputeLevels(Width, Height, Levels.data());
  }
}

static int64_t LittleEndian64(const uint8_t *p) {
  if constexpr (std::endian::native == std::endian::little) {
    int64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
  } else {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
      v = (v << 8) | p[i];
    return static_cast<int64_t>(v);
  }
}

// The directory is read in window-sized blocks and decoded in place; the
// entries are added as they arrive, so a count that the file cannot hold
// ends in the stream's read-past-end error rather than a huge allocation.
void TNKFChart::ReadDirectory(TStream &Stream, const std::string &AFileName) {
  const bool first = Version == NKFVersion1_0_0_0;
  const int entrySize = first ? 8 : 16;
  const int64_t fits = std::max<int64_t>(0, (Stream.Size() - Stream.Position()) / entrySize);
  Tiles.clear();
  Tiles.reserve(static_cast<size_t>(std::min<int64_t>(TileCount, fits)));
  constexpr uint32_t perBlock = 2048;
  std::vector<uint8_t> block(static_cast<size_t>(perBlock) * entrySize);
  for (uint32_t done = 0; done < TileCount;) {
    const uint32_t n = std::min(perBlock, TileCount - done);
    Stream.ReadBuffer(block.data(), static_cast<int32_t>(n * entrySize));
    Tiles.resize(done + n);
    TNKFTileEntry *entry = Tiles.data() + done;
    for (const uint8_t *p = block.data(), *end = p + static_cast<size_t>(n) * entrySize; p != end;
         p += entrySize, ++entry) {
      entry->Offset = LittleEndian64(p);
      entry->ActiveOffset = entry->Offset;
      if (!first) {
        entry->Size = std::max<int64_t>(0, LittleEndian64(p + 8));
        entry->ActiveSize = entry->Size;
      }
    }
    done += n;
  }
  if (first)
    return;
  const uint32_t overrides = StreamReadCardinal(Stream);
  HasTileOverrides = overrides > 0;
  for (uint32_t k = 0; k < overrides; ++k) {
    const uint32_t tile = StreamReadCardinal(Stream);
    const int64_t offset = StreamReadInt64(Stream);
    const int64_t size = StreamReadInt64(Stream);
    // An override may only redirect a tile the directory has.
    if (tile >= TileCount)
      throw ENKFChartError("TNKFChart.Create: Data integrity error in " + AFileName);
    Tiles[tile].ActiveOffset = offset;
    // Like the directory's own sizes, a negative size is an empty tile; a
    // size beyond a 32-bit byte count is kept at the largest one, which the
    // tile loader refuses by name instead of reading a wrapped count.
    Tiles[tile].ActiveSize = std::clamp<int64_t>(size, 0, INT32_MAX);
  }
}

// Version 1.0.0.0 stores no sizes: a tile runs up to the next larger stored
// offset, the last one up to the tag. Tiles that share an offset share one
// stored tile, so they all get its size; offsets are compared in full 64
// bits so that files beyond 2 GiB size correctly too.
void TNKFChart::DeriveFirstVersionSizes() {
  std::vector<int64_t> sorted;
  sorted.reserve(Tiles.size());
  for (const TNKFTileEntry &entry : Tiles)
    sorted.push_back(entry.Offset);
  std::sort(sorted.begin(), sorted.end());
  for (TNKFTileEntry &entry : Tiles) {
    const auto next = std::upper_bound(sorted.begin(), sorted.end(), entry.Offset);
    const int64_t end = next == sorted.end() ? TagPos : *next;
    // Hostile offsets may lie 2^63 apart: the distance is taken unsigned.
    const uint64_t distance = static_cast<uint64_t>(end) - static_cast<uint64_t>(entry.Offset);
    entry.Size = end > entry.Offset ? static_cast<int64_t>(std::min<uint64_t>(distance, INT64_MAX)) : 0;
    entry.ActiveSize = entry.Size;
  }
}

// ---------------------------------------------------------------------------
// Tag

void TNKFChart::ReadTagFromStream(TStream &Stream, TNKF2Tag &Tag) {
  switch (Version) {
  case NKFVersion1_0_0_0: ReadTagVersion1_0_0_0(Stream, Tag); break;
  case NKFVersion1_0_0_1: ReadTagVersion1_0_0_1(Stream, Tag); break;
  default: ReadTagCurrentVersion(Stream, Tag); break;
  }
  if (Tag.CalibrationData) {
    Tag.CalibrationData->Width = Width;
    Tag.CalibrationData->Height = Height;
  }
}

// The tag's lists are moved, not copied: a border or link list near its cap
// would otherwise be held twice.
void TNKFChart::TakeTag(TNKF2Tag &Tag) {
  Border = std::move(Tag.Border);
  Text1 = std::move(Tag.Text1);
  Text2 = std::move(Tag.Text2);
  Text3 = std::move(Tag.Text3);
  Text5 = std::move(Tag.Text5);
  Text6 = std::move(Tag.Text6);
  Text7 = std::move(Tag.Text7);
  Text8 = std::move(Tag.Text8);
  Text9 = std::move(Tag.Text9);
  Text10 = std::move(Tag.Text10);
  Text11 = std::move(Tag.Text11);
  Number1 = Tag.Number1;
  Number2 = Tag.Number2;
  Number3 = Tag.Number3;
  Date1 = Tag.Date1;
  Date2 = Tag.Date2;
  Date3 = Tag.Date3;
  Value1 = static_cast<float>(Tag.Value1);
  Value2 = static_cast<float>(Tag.Value2);
  Identifier = Tag.Identifier;
  Flag1 = Tag.Flag1;
  SourceFormat = Tag.SourceFormat;
  if (Border.Count() == 0) {
    AddBorderPoint(TPoint{0, 0});
    AddBorderPoint(TPoint{Width, 0});
    AddBorderPoint(TPoint{Width, Height});
    AddBorderPoint(TPoint{0, Height});
  }
  Links = std::move(Tag.Links);

  const TTagCalibrationData *data = Tag.CalibrationData.get();
  const auto &P = data ? data->PixelPoints : std::array<TDoublePoint, 3>{};
  const auto &M = data ? data->MapPoints : std::array<TDoublePoint, 3>{};
  if (const auto *tm = dynamic_cast<const TTransverseMercatorData *>(data))
    Calibrate(tm->CalibrationPointCount, NKFProjectionTransverseMercator, P[0], P[1], P[2], M[0], M[1], M[2], tm->K0,
              tm->Lon0, tm->GetDatum());
  else if (dynamic_cast<const TMercatorData *>(data))
    Calibrate(data->CalibrationPointCount, NKFProjectionMercator, P[0], P[1], P[2], M[0], M[1], M[2], 0, 0,
              data->GetDatum());
  else if (dynamic_cast<const TRDData *>(data))
    Calibrate(data->CalibrationPointCount, NKFProjectionRD, P[0], P[1], P[2], M[0], M[1], M[2], 0, 0, nullptr);
  CalibrationData = std::move(Tag.CalibrationData);
}

// ---------------------------------------------------------------------------
// Calibration

void TNKFChart::Calibrate(int32_t Count, uint8_t Projection, const TDoublePoint &P1, const TDoublePoint &P2,
                          const TDoublePoint &P3, const TDoublePoint &M1, const TDoublePoint &M2, const TDoublePoint &M3,
                          double K0, double Lon0, const TGeodeticDatum *Datum) {
  Calibration.reset();
  CalibrationStatus = -1;
  if (Count != 2 && Count != 3)
    throw ENKFChartError("TNKFChart.Calibrate: Unsupported calibrationpoint count (" + IntToStr(Count) + ")");
  auto calibration = std::make_unique<TCalibration>();
  const bool two = Count == 2;
  int status;
  switch (Projection) {
  case NKFProjectionMercator:
    status = two ? calibration->CalibrateMercator2(P1, P2, M1, M2, Width, Height, Datum)
                 : calibration->CalibrateMercator3(P1, P2, P3, M1, M2, M3, Width, Height, Datum);
    break;
  case NKFProjectionTransverseMercator:
    status = two ? calibration->CalibrateTransverseMercator2(P1, P2, M1, M2, K0, Lon0, Width, Height, Datum)
                 : calibration->CalibrateTransverseMercator3(P1, P2, P3, M1, M2, M3, K0, Lon0, Width, Height, Datum);
    break;
  case NKFProjectionRD:
    status = two ? calibration->CalibrateRD2(P1, P2, M1, M2, Width, Height)
                 : calibration->CalibrateRD3(P1, P2, P3, M1, M2, M3, Width, Height);
    break;
  default: throw ENKFChartError("TNKFChart.Calibrate: Projection not supported (yet)!");
  }
  CalibrationStatus = status;
  // A set-up that refuses its points leaves the calibration unset: the chart
  // still opens, but it is not calibrated and will not place positions.
  if (NKFCalibrationAccepted(status))
    Calibration = std::move(calibration);
}

TDoublePoint TNKFChart::PlacePosition(const TDoublePoint &Position, const TGeodeticCoordinateSystem &System,
                                   const char *Operation) const {
  if (!Calibration)
    throw ENKFChartError(std::string("TNKFChart.") + Operation + ": The chart is not calibrated");
  const TDoublePoint grid = ConvertPoint(Position, System, Calibration->System());
  return Calibration->ProjectedToPixel(grid);
}

// Nearest integer, halves upward (2.5 -> 3, -2.5 -> -2). False when the
// result is not a 32-bit integer (a position far off the chart, or NaN).
static bool RoundHalfUp(double v, int32_t &Result) {
  const double r = std::floor(v + 0.5);
  if (!(r >= INT32_MIN && r <= INT32_MAX))
    return false;
  Result = static_cast<int32_t>(r);
  return true;
}

TDoublePoint TNKFChart::PositionToPixelExact(const TDoublePoint &Position, const TGeodeticCoordinateSystem &System) {
  return PlacePosition(Position, System, "PositionToPixelExact");
}

TPoint TNKFChart::PositionToPixel(const TDoublePoint &Position, const TGeodeticCoordinateSystem &System) {
  const TDoublePoint p = PlacePosition(Position, System, "PositionToPixel");
  TPoint pixel;
  if (!RoundHalfUp(p.X, pixel.X) || !RoundHalfUp(p.Y, pixel.Y))
    throw ENKFChartError("TNKFChart.PositionToPixel: The position lies outside the pixel range");
  return pixel;
}

bool TNKFChart::ContainsPosition(const TDoublePoint &Position, const TGeodeticCoordinateSystem &System) {
  const TDoublePoint p = PlacePosition(Position, System, "ContainsPosition");
  if (ClipToBorder && Border.Count() > 0) {
    TPoint pixel;
    return RoundHalfUp(p.X, pixel.X) && RoundHalfUp(p.Y, pixel.Y) && Border.Contains(pixel);
  }
  return p.X >= 0 && p.X < Width && p.Y >= 0 && p.Y < Height;
}

// ---------------------------------------------------------------------------
// View coverage

namespace {

// An edge prepared for the even-odd test, as TPolygon.Contains prepares its
// edges, but on fractional vertices (view pixels).
struct TPreparedEdge {
  double X, Y, MinX, MinY, MaxX, MaxY;
  bool Horizontal, Vertical;
  long double InverseSlope;
};

class TViewPolygon {
public:
  explicit TViewPolygon(std::vector<TDoublePoint> Vertices) : FVertices(std::move(Vertices)) {
    const size_t n = FVertices.size();
    FEdges.reserve(n);
    for (size_t k = 0; k < n; ++k) {
      const TDoublePoint &a = FVertices[k];
      const TDoublePoint &b = FVertices[(k + 1) % n];
      TPreparedEdge e;
      e.X = a.X;
      e.Y = a.Y;
      e.MinX = std::min(a.X, b.X);
      e.MaxX = std::max(a.X, b.X);
      e.MinY = std::min(a.Y, b.Y);
      e.MaxY = std::max(a.Y, b.Y);
      e.Horizontal = a.Y == b.Y;
      e.Vertical = a.X == b.X;
      e.InverseSlope = e.Horizontal ? 0 : (static_cast<long double>(b.X) - a.X) / (static_cast<long double>(b.Y) - a.Y);
      FEdges.push_back(e);
    }
  }

  // Even-odd rule; a point on a horizontal edge is inside.
  bool Contains(double x, double y) const {
    int crossings = 0;
    for (const TPreparedEdge &e : FEdges) {
      if (e.Horizontal) {
        if (y == e.Y && e.MinX <= x && x <= e.MaxX)
          return true;
        continue;
      }
      if (y < e.MinY || y > e.MaxY)
        continue;
      const double c = e.Vertical ? e.X : static_cast<double>((y - e.Y) * e.InverseSlope + e.X);
      if (e.MinX <= c && c <= e.MaxX && c < x)
        ++crossings;
    }
    return (crossings & 1) != 0;
  }

  const std::vector<TDoublePoint> &Vertices() const { return FVertices; }

private:
  std::vector<TDoublePoint> FVertices;
  std::vector<TPreparedEdge> FEdges;
};

double Cross(const TDoublePoint &o, const TDoublePoint &a, const TDoublePoint &b) {
  return (a.X - o.X) * (b.Y - o.Y) - (a.Y - o.Y) * (b.X - o.X);
}

// Proper crossing: each segment has the other's ends strictly on both sides.
bool SegmentsCross(const TDoublePoint &a, const TDoublePoint &b, const TDoublePoint &c, const TDoublePoint &d) {
  const double d1 = Cross(a, b, c), d2 = Cross(a, b, d), d3 = Cross(c, d, a), d4 = Cross(c, d, b);
  return ((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0));
}

// How a polygon lies against the view rectangle (0, 0)-(Wv, Hv). Points on
// the rectangle's sides count as outside it, and edges that only touch a
// side do not cross it: a chart that ends exactly at the view's edge
// neither overlaps the neighbouring view nor cuts this one.
struct TRectangleRelation {
  bool VertexInside = false;
  int CornersInside = 0;
  bool Crossing = false;
};

TRectangleRelation Relate(const TViewPolygon &Polygon, double Wv, double Hv) {
  TRectangleRelation r;
  const std::array<TDoublePoint, 4> corners{{{0, 0}, {Wv, 0}, {Wv, Hv}, {0, Hv}}};
  const auto &v = Polygon.Vertices();
  for (const TDoublePoint &p : v)
    if (p.X > 0 && p.X < Wv && p.Y > 0 && p.Y < Hv)
      r.VertexInside = true;
  for (const TDoublePoint &c : corners)
    if (Polygon.Contains(c.X, c.Y))
      ++r.CornersInside;
  for (size_t k = 0; k < v.size() && !r.Crossing; ++k)
    for (size_t s = 0; s < 4 && !r.Crossing; ++s)
      r.Crossing = SegmentsCross(v[k], v[(k + 1) % v.size()], corners[s], corners[(s + 1) % 4]);
  return r;
}

struct TTriangle {
  std::array<TDoublePoint, 3> P;
};

double Area(const TTriangle &t) { return std::fabs(Cross(t.P[0], t.P[1], t.P[2])) / 2; }

// One side of the view: Distance(p) >= 0 on the inside; the crossing point
// lies on the side's line.
struct TClipSide {
  bool Vertical; // the line x = Value, else y = Value
  double Value;
  bool KeepAbove; // inside is coordinate >= Value
  double Distance(const TDoublePoint &p) const {
    const double c = Vertical ? p.X : p.Y;
    return KeepAbove ? c - Value : Value - c;
  }
  TDoublePoint Crossing(const TDoublePoint &a, const TDoublePoint &b) const {
    const double t = Distance(a) / (Distance(a) - Distance(b));
    if (Vertical)
      return {Value, a.Y + t * (b.Y - a.Y)};
    return {a.X + t * (b.X - a.X), Value};
  }
};

void ClipTriangles(std::vector<TTriangle> &Triangles, const TClipSide &Side) {
  std::vector<TTriangle> kept;
  for (const TTriangle &t : Triangles) {
    int inside[3], outside[3], ni = 0, no = 0;
    for (int k = 0; k < 3; ++k)
      (Side.Distance(t.P[k]) >= 0 ? inside[ni++] : outside[no++]) = k;
    if (ni == 3) {
      kept.push_back(t);
    } else if (ni == 2) {
      const TDoublePoint &a = t.P[inside[0]], &b = t.P[inside[1]], &o = t.P[outside[0]];
      const TDoublePoint ca = Side.Crossing(a, o), cb = Side.Crossing(b, o);
      kept.push_back({{a, b, cb}});
      kept.push_back({{a, cb, ca}});
    } else if (ni == 1) {
      const TDoublePoint &a = t.P[inside[0]];
      kept.push_back({{a, Side.Crossing(a, t.P[outside[0]]), Side.Crossing(a, t.P[outside[1]])}});
    }
  }
  Triangles = std::move(kept);
}

double Distance(const TDoublePoint &a, const TDoublePoint &b) { return std::hypot(b.X - a.X, b.Y - a.Y); }

} // namespace

bool TNKFChart::GetViewCoverage(const TCalibration &ViewCalibration, double &Scale, double &Coverage,
                                double &AreaRatio, bool &BorderCutsView) {
  if (!Calibration)
    throw ENKFChartError("TNKFChart.GetViewCoverage: The chart is not calibrated");
  const double Wv = ViewCalibration.Width(), Hv = ViewCalibration.Height();
  // An empty view shows nothing (and would divide by zero below).
  if (!(Wv > 0 && Hv > 0))
    return false;
  const double W = Width, H = Height;
  const auto toView = [&](double x, double y) { return ViewCalibration.PixelToPixel(TDoublePoint{x, y}, *Calibration); };
  const std::array<TDoublePoint, 4> c{toView(0, 0), toView(W, 0), toView(W, H), toView(0, H)};
  // Whether the outline and the view overlap is decided by the outline's area
  // inside the view (below): the tests of vertices, corners and crossings miss
  // an outline whose corners lie on the view's sides, as a chart fitted to
  // the view's width has them, while the area counts it.
  const double scale = std::max({Distance(c[0], c[1]) / W, Distance(c[1], c[2]) / H, Distance(c[2], c[3]) / W,
                                 Distance(c[3], c[0]) / H});
  std::vector<TTriangle> triangles{{{c[0], c[1], c[2]}}, {{c[0], c[2], c[3]}}};
  double chartArea = 0;
  for (const TTriangle &t : triangles)
    chartArea += Area(t);
  for (const TClipSide &side : {TClipSide{true, 0, true}, TClipSide{false, 0, true}, TClipSide{true, Wv, false},
                                TClipSide{false, Hv, false}})
    ClipTriangles(triangles, side);
  double insideArea = 0;
  for (const TTriangle &t : triangles)
    insideArea += Area(t);
  // The view's area in 64 bits: a 32-bit product overflows for large views.
  const double viewArea = static_cast<double>(static_cast<int64_t>(ViewCalibration.Width()) * ViewCalibration.Height());
  // A chart outside the view, or one that only touches it (an adjacent chart
  // sharing a side), has no area in it and does not show.
  if (!(insideArea > 0))
    return false;
  const double coverage = std::min(insideArea / viewArea, 1.0);

  bool cuts = false;
  constexpr float FullCoverage = 0.99999988f; // 0x3F7FFFFE
  if (coverage > FullCoverage) {
    std::vector<TDoublePoint> border;
    border.reserve(static_cast<size_t>(Border.Count()));
    for (int32_t i = 0; i < Border.Count(); ++i) {
      const TPoint p = Border.GetPoint(i);
      border.push_back(toView(p.X, p.Y));
    }
    const TRectangleRelation r = Relate(TViewPolygon(std::move(border)), Wv, Hv);
    const bool viewInsideBorder = !r.VertexInside && r.CornersInside == 4 && !r.Crossing;
    cuts = !viewInsideBorder;
  }
  Scale = scale;
  Coverage = coverage;
  AreaRatio = chartArea / viewArea;
  BorderCutsView = cuts;
  return true;
}
