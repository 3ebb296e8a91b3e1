#include "NKFFuzzInputs.h"

#include <fstream>
#include <iterator>
#include <vector>

#include "NKFChartWriter.h"
#include "VmFileIO.h"

namespace {

constexpr uint8_t GridMercator = 0;
constexpr uint8_t GridRD = 1;
constexpr uint8_t GridTransverseMercator = 2;
// Every field before the datum code.
constexpr size_t FixedPartSize = 1 + 3 * 4 + 12 * 8 + 2 * 8 + 1 + 11 * 8;

std::string FileBytes(const std::string &FileName) {
  std::ifstream in(FileName, std::ios::binary);
  if (!in)
    throw EStreamError("Cannot open file " + FileName);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TDoublePoint ReadPoint(TStream &Stream) {
  const double x = StreamReadDouble(Stream);
  return {x, StreamReadDouble(Stream)};
}

} // namespace

uint32_t NKFTagFuzzVersion(uint8_t Selector) {
  static const uint32_t versions[] = {NKFVersion1_0_0_0, NKFVersion1_0_0_1, NKFVersion1_0_0_2};
  return versions[Selector % 3];
}

std::string NKFTagFuzzInput(const std::string &ChartFileName) {
  const std::string bytes = FileBytes(ChartFileName);
  TMemoryStream stream(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  stream.Seek(NKFHeaderVersionPos, TSeekOrigin::soBeginning);
  const uint32_t version = StreamReadCardinal(stream);
  const int64_t tagPos = StreamReadInt64(stream);
  if (tagPos <= 0 || tagPos > static_cast<int64_t>(bytes.size()))
    throw EStreamError("No tag in " + ChartFileName);
  const char selector = static_cast<char>(version & 0xFF);
  return selector + bytes.substr(static_cast<size_t>(tagPos));
}

TNKFCalibrationFuzzRecord NKFDecodeCalibrationFuzzInput(const uint8_t *Data, size_t Size) {
  std::vector<uint8_t> bytes(Data, Data + Size);
  if (bytes.size() < FixedPartSize)
    bytes.resize(FixedPartSize);
  TMemoryStream stream(std::move(bytes));
  const uint8_t grid = StreamReadByte(stream) % 3;
  const int32_t count = StreamReadInteger(stream);
  const int32_t width = StreamReadInteger(stream);
  const int32_t height = StreamReadInteger(stream);
  TDoublePoint p[3], m[3];
  for (TDoublePoint &point : p)
    point = ReadPoint(stream);
  for (TDoublePoint &point : m)
    point = ReadPoint(stream);
  const double k0 = StreamReadDouble(stream);
  const double lon0 = StreamReadDouble(stream);
  TNKFDatumData datum;
  datum.DatumType = StreamReadByte(stream);
  for (double &value : datum.DatumValues)
    value = StreamReadDouble(stream);
  datum.DatumCode.assign(reinterpret_cast<const char *>(stream.Bytes().data()) + FixedPartSize,
                         stream.Bytes().size() - FixedPartSize);

  TNKFCalibrationFuzzRecord record;
  if (grid == GridRD)
    record.Data = std::make_unique<TRDData>(count, p[0], p[1], p[2], m[0], m[1], m[2]);
  else if (grid == GridMercator)
    record.Data = std::make_unique<TMercatorData>(count, p[0], p[1], p[2], m[0], m[1], m[2], datum);
  else
    record.Data = std::make_unique<TTransverseMercatorData>(count, p[0], p[1], p[2], m[0], m[1], m[2], k0, lon0, datum);
  record.Data->Width = width;
  record.Data->Height = height;
  return record;
}

std::string NKFCalibrationFuzzInput(const TNKFChart &Chart) {
  const TTagCalibrationData *data = Chart.CalibrationData.get();
  if (data == nullptr)
    return {};
  const auto *tm = dynamic_cast<const TTransverseMercatorData *>(data);
  TNKFByteWriter out;
  out.Byte(tm != nullptr ? GridTransverseMercator : dynamic_cast<const TRDData *>(data) ? GridRD : GridMercator);
  out.Integer(data->CalibrationPointCount);
  out.Integer(Chart.Width);
  out.Integer(Chart.Height);
  for (const auto *points : {&data->PixelPoints, &data->MapPoints})
    for (const TDoublePoint &point : *points) {
      out.Double(point.X);
      out.Double(point.Y);
    }
  out.Double(tm != nullptr ? tm->K0 : 0);
  out.Double(tm != nullptr ? tm->Lon0 : 0);
  out.Byte(data->DatumType);
  for (double value : data->DatumValues)
    out.Double(value);
  out.Bytes(data->DatumCode);
  return out.Data();
}
