#include "Pictures.h"

#include <algorithm>
#include <mutex>

#include "Classes.h"
#include "OSFile.h"

namespace {

struct TRegistry {
  std::mutex Lock;
  std::vector<TPictureFormat> Formats;
};

// Formats register from their units' initialisation, in any order with this
// unit's: the registry comes to life on first use.
TRegistry &Registry() {
  static TRegistry registry;
  return registry;
}

std::string Normalized(const std::string &Extension) {
  return LowerCase(!Extension.empty() && Extension[0] == '.' ? Extension.substr(1) : Extension);
}

// The extension of a file name without its dot; empty when the last path
// element has none.
std::string ExtensionOf(const std::string &FileName) {
  const size_t dot = FileName.find_last_of(".\\/:");
  if (dot == std::string::npos || FileName[dot] != '.')
    return {};
  return FileName.substr(dot + 1);
}

class TFileHandle {
public:
  explicit TFileHandle(const std::string &FileName) : FHandle(FileOpen(FileName, fmOpenRead | fmShareDenyWrite)) {
    if (FHandle <= 0)
      throw EFOpenError("Cannot open file " + FileName);
  }
  ~TFileHandle() { FileClose(FHandle); }
  TFileHandle(const TFileHandle &) = delete;
  TFileHandle &operator=(const TFileHandle &) = delete;
  THandle Handle() const { return FHandle; }

private:
  THandle FHandle;
};

void ReadWholeFile(const std::string &FileName, TMemoryStream &Into) {
  TFileHandle file(FileName);
  std::vector<uint8_t> chunk(64 * 1024);
  for (;;) {
    const int32_t got = FileRead(file.Handle(), chunk.data(), static_cast<int32_t>(chunk.size()));
    if (got < 0)
      throw EReadError("Stream read error");
    if (got == 0)
      break;
    Into.WriteBuffer(chunk.data(), got);
  }
  Into.SetPosition(0);
}

} // namespace

void RegisterPictureFormat(const std::string &Extension, const std::string &Description, TPictureLoader Loader) {
  TRegistry &r = Registry();
  const std::lock_guard<std::mutex> hold(r.Lock);
  const std::string ext = Normalized(Extension);
  std::erase_if(r.Formats, [&](const TPictureFormat &f) { return f.Extension == ext; });
  r.Formats.push_back({ext, Description, Loader});
}

void UnregisterPictureFormat(TPictureLoader Loader) {
  TRegistry &r = Registry();
  const std::lock_guard<std::mutex> hold(r.Lock);
  std::erase_if(r.Formats, [&](const TPictureFormat &f) { return f.Loader == Loader; });
}

TPictureLoader FindPictureLoader(const std::string &Extension) {
  TRegistry &r = Registry();
  const std::lock_guard<std::mutex> hold(r.Lock);
  const std::string ext = Normalized(Extension);
  const auto found = std::find_if(r.Formats.begin(), r.Formats.end(),
                                  [&](const TPictureFormat &f) { return f.Extension == ext; });
  return found == r.Formats.end() ? nullptr : found->Loader;
}

std::vector<TPictureFormat> PictureFormats() {
  TRegistry &r = Registry();
  const std::lock_guard<std::mutex> hold(r.Lock);
  return r.Formats;
}

void LoadPictureFromFile(const std::string &FileName, TBitmap32 &Bitmap) {
  const std::string ext = ExtensionOf(FileName);
  const TPictureLoader loader = ext.empty() ? nullptr : FindPictureLoader(ext);
  if (!loader)
    throw EInvalidGraphic("Unknown picture file extension (." + ext + ")");
  TMemoryStream data;
  ReadWholeFile(FileName, data);
  loader(data, Bitmap);
}
