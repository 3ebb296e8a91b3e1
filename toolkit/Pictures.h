// The toolkit's picture support: picture file formats registered by file
// extension, each with a loader that decodes a whole stream into the
// library's 32-bit surface. Portable: the formats decode in memory.
#pragma once

#include <string>
#include <vector>

#include "SysUtils.h"

class TStream;
class TBitmap32; // VmGraphics; the toolkit only hands it on to the loader

VM_DECLARE_EXCEPTION(EInvalidGraphic, Exception);

// Decodes the whole of Stream into Bitmap; raises on bad data.
using TPictureLoader = void (*)(TStream &Stream, TBitmap32 &Bitmap);

struct TPictureFormat {
  std::string Extension; // lower case, without the dot
  std::string Description;
  TPictureLoader Loader;
};

// Extensions are given with or without their dot and compared without
// regard to case; registering an extension again replaces its format.
void RegisterPictureFormat(const std::string &Extension, const std::string &Description, TPictureLoader Loader);
void UnregisterPictureFormat(TPictureLoader Loader);
// Null when no format has the extension.
TPictureLoader FindPictureLoader(const std::string &Extension);
std::vector<TPictureFormat> PictureFormats();

// Picks the format by the extension of FileName (EInvalidGraphic "Unknown
// picture file extension (.ext)" when none is registered), reads the file
// (EFOpenError "Cannot open file <name>") and decodes it.
void LoadPictureFromFile(const std::string &FileName, TBitmap32 &Bitmap);
