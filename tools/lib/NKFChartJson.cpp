#include "NKFChartJson.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <vector>

#include "VmFileIO.h"

namespace {


class TJsonWriter {
public:
  explicit TJsonWriter(std::string &Out) : FOut(Out) {}

  void BeginObject() { Open('{'); }
  void EndObject() { Close('}'); }
  void BeginArray() { Open('['); }
  void EndArray() { Close(']'); }

  void Key(const char *Name) {
    Separate();
    Quoted(Name);
    FOut += ": ";
    FAfterKey = true;
  }

  void Text(const std::string &Value) {
    Separate();
    Quoted(Value);
  }

  void Integer(int64_t Value) { Raw(std::to_string(Value)); }
  void Unsigned(uint64_t Value) { Raw(std::to_string(Value)); }
  void Boolean(bool Value) { Raw(Value ? "true" : "false"); }
  void Number(double Value) { Raw(NumberText(Value)); }
  // A pair of numbers on one line: [x, y].
  void Pair(double X, double Y) { Raw("[" + NumberText(X) + ", " + NumberText(Y) + "]"); }

private:
  void Quoted(const std::string &Value) {
    FOut += '"';
    for (unsigned char c : Value) {
      if (c == '"' || c == '\\') {
        FOut += '\\';
        FOut += static_cast<char>(c);
      } else if (c < 0x20 || c >= 0x7F) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04X", c);
        FOut += escaped;
      } else {
        FOut += static_cast<char>(c);
      }
    }
    FOut += '"';
  }

  // The shortest of 15 to 17 digits that reads back to the same double;
  // JSON has no NaN or infinity, so those become null.
  static std::string NumberText(double Value) {
    if (!std::isfinite(Value))
      return "null";
    char buffer[32];
    for (int precision = 15; precision <= 17; ++precision) {
      std::snprintf(buffer, sizeof buffer, "%.*g", precision, Value);
      if (std::strtod(buffer, nullptr) == Value)
        break;
    }
    return buffer;
  }
  void Raw(const std::string &Value) {
    Separate();
    FOut += Value;
  }
  void Separate() {
    if (FAfterKey) {
      FAfterKey = false;
      return;
    }
    if (!FFirst.empty()) {
      if (!FFirst.back())
        FOut += ",";
      FFirst.back() = false;
      FOut += "\n" + std::string(2 * FFirst.size(), ' ');
    }
  }
  void Open(char Bracket) {
    Separate();
    FOut += Bracket;
    FFirst.push_back(true);
  }
  void Close(char Bracket) {
    const bool empty = FFirst.back();
    FFirst.pop_back();
    if (!empty)
      FOut += "\n" + std::string(2 * FFirst.size(), ' ');
    FOut += Bracket;
  }

  std::string &FOut;
  std::vector<bool> FFirst;
  bool FAfterKey = false;
};

const char *CalibrationKind(const TTagCalibrationData *Data) {
  if (dynamic_cast<const TTransverseMercatorData *>(Data))
    return "TransverseMercator";
  if (dynamic_cast<const TMercatorData *>(Data))
    return "Mercator";
  if (dynamic_cast<const TRDData *>(Data))
    return "RD";
  return "None";
}

// A keyed array of [x, y] pairs.
template <class Points> void WritePointPairs(TJsonWriter &j, const char *Key, const Points &List) {
  j.Key(Key);
  j.BeginArray();
  for (const TDoublePoint &p : List)
    j.Pair(p.X, p.Y);
  j.EndArray();
}

void WriteCalibrationData(TJsonWriter &j, const TTagCalibrationData &Data) {
  j.BeginObject();
  j.Key("Kind");
  j.Text(CalibrationKind(&Data));
  j.Key("CalibrationPointCount");
  j.Integer(Data.CalibrationPointCount);
  WritePointPairs(j, "PixelPoints", Data.PixelPoints);
  j.Key("Width");
  j.Integer(Data.Width);
  j.Key("Height");
  j.Integer(Data.Height);
  WritePointPairs(j, "MapPoints", Data.MapPoints);
  j.Key("DatumType");
  j.Integer(Data.DatumType);
  j.Key("DatumCode");
  j.Text(Data.DatumCode);
  j.Key("DatumValues");
  j.BeginArray();
  for (double d : Data.DatumValues)
    j.Number(d);
  j.EndArray();
  if (const auto *tm = dynamic_cast<const TTransverseMercatorData *>(&Data)) {
    j.Key("K0");
    j.Number(tm->K0);
    j.Key("Lon0");
    j.Number(tm->Lon0);
  }
  j.EndObject();
}

} // namespace

// The chart keeps every tag text but Text4, which only version 1.0.0.2
// stores; it is read again from the tag for the listing.
static std::string StoredText4(const TNKFChart &Chart) {
  if (Chart.Version != NKFVersion1_0_0_2)
    return "";
  TBufferedFileStream stream(Chart.FileName, fmOpenRead | fmShareDenyNone, 131072);
  stream.Seek(Chart.TagPos, TSeekOrigin::soBeginning);
  TNKF2Tag tag;
  ReadTagCurrentVersion(stream, tag);
  return tag.Text4;
}

std::string NKFChartJson(TNKFChart &c) {
  std::string out;
  TJsonWriter j(out);
  j.BeginObject();
  j.Key("FileName");
  j.Text(c.FileName);
  j.Key("Version");
  j.Text(NKFDottedVersion(c.Version));
  j.Key("Width");
  j.Integer(c.Width);
  j.Key("Height");
  j.Integer(c.Height);
  j.Key("Levels");
  j.BeginArray();
  for (const TNKFLevel &l : c.Levels) {
    j.BeginObject();
    j.Key("Width");
    j.Unsigned(l.Width);
    j.Key("Height");
    j.Unsigned(l.Height);
    j.Key("TilesX");
    j.Unsigned(l.TilesX);
    j.Key("TilesY");
    j.Unsigned(l.TilesY);
    j.Key("FirstTile");
    j.Unsigned(l.FirstTile);
    j.EndObject();
  }
  j.EndArray();
  j.Key("TileCount");
  j.Unsigned(c.TileCount);
  j.Key("Tiles");
  j.BeginArray();
  for (const TNKFTileEntry &t : c.Tiles) {
    j.BeginObject();
    j.Key("Offset");
    j.Integer(t.Offset);
    j.Key("ActiveOffset");
    j.Integer(t.ActiveOffset);
    j.Key("Size");
    j.Integer(t.Size);
    j.Key("ActiveSize");
    j.Integer(t.ActiveSize);
    j.EndObject();
  }
  j.EndArray();
  j.Key("TagPos");
  j.Integer(c.TagPos);
  j.Key("HasTileOverrides");
  j.Boolean(c.HasTileOverrides);
  const std::string text4 = StoredText4(c);
  const std::pair<const char *, const std::string *> texts[] = {
      {"Text1", &c.Text1}, {"Text2", &c.Text2}, {"Text3", &c.Text3},   {"Text4", &text4}, {"Text5", &c.Text5},
      {"Text6", &c.Text6}, {"Text7", &c.Text7}, {"Text8", &c.Text8},   {"Text9", &c.Text9},
      {"Text10", &c.Text10}, {"Text11", &c.Text11}};
  for (const auto &[name, text] : texts) {
    j.Key(name);
    j.Text(*text);
  }
  j.Key("Number1");
  j.Integer(c.Number1);
  j.Key("Number2");
  j.Unsigned(c.Number2);
  j.Key("Number3");
  j.Integer(c.Number3);
  j.Key("Date1");
  j.Number(c.Date1);
  j.Key("Date2");
  j.Number(c.Date2);
  j.Key("Date3");
  j.Number(c.Date3);
  j.Key("Value1");
  j.Number(c.Value1);
  j.Key("Value2");
  j.Number(c.Value2);
  std::string identifier;
  for (uint8_t b : c.Identifier)
    identifier += IntToHex(b, 2);
  j.Key("Identifier");
  j.Text(identifier);
  j.Key("Flag1");
  j.Boolean(c.Flag1);
  j.Key("SourceFormat");
  j.Integer(c.SourceFormat);
  j.Key("Border");
  j.BeginArray();
  for (int32_t i = 0; i < c.Border.Count(); ++i) {
    const TPoint p = c.Border.GetPoint(i);
    j.Pair(p.X, p.Y);
  }
  j.EndArray();
  j.Key("Links");
  j.BeginArray();
  for (const TNKFLink &link : c.Links) {
    j.BeginObject();
    j.Key("LinkType");
    j.Integer(link.LinkType);
    j.Key("LinkText1");
    j.Text(link.LinkText1);
    j.Key("LinkText2");
    j.Text(link.LinkText2);
    j.EndObject();
  }
  j.EndArray();
  j.Key("IsCalibrated");
  j.Boolean(c.IsCalibrated());
  j.Key("CalibrationStatus");
  j.Integer(c.CalibrationStatus);
  j.Key("CalibrationData");
  if (c.CalibrationData) {
    WriteCalibrationData(j, *c.CalibrationData);
  } else {
    j.BeginObject();
    j.EndObject();
  }
  // The image's corners (0, 0), (Width, 0), (Width, Height), (0, Height) as
  // WGS 84 latitude and longitude in degrees.
  j.Key("Corners");
  j.BeginArray();
  if (c.Calibration) {
    const double W = c.Width, H = c.Height;
    for (const TDoublePoint &corner : {TDoublePoint{0, 0}, TDoublePoint{W, 0}, TDoublePoint{W, H}, TDoublePoint{0, H}}) {
      const TDoublePoint p = c.Calibration->PixelToWGS84(corner);
      j.Pair(p.X * 180 / std::numbers::pi, p.Y * 180 / std::numbers::pi);
    }
  }
  j.EndArray();
  j.EndObject();
  out += "\n";
  return out;
}
