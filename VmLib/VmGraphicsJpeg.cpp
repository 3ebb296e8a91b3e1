// JPEG pictures of the graphics unit: decoding through libjpeg, and the
// unit's registration of "jpeg" and "jpg" with the toolkit's picture formats.
#include "VmGraphics.h"

#include <csetjmp>
#include <limits>
#include <cstdio> // jpeglib.h needs FILE and size_t declared first
#include <string>
#include <vector>

#include "Classes.h"
#include "Pictures.h"

#include <jerror.h>
#include <jpeglib.h>

namespace {

// libjpeg's default error exit calls exit(). Ours has to hand the failure
// back to the caller, and libjpeg is C compiled without unwind tables
// (-fexceptions is not used for it, here or in Debian's build): a C++
// exception thrown from the callback would have to unwind through libjpeg's
// frames, which is undefined. So the callback longjmps back to the one frame
// that called setjmp (DecodeInto), and that frame holds no C++ object with a
// destructor, nor does any frame between it and the callback (they are all
// libjpeg's): nothing is skipped that would need cleaning up. The exception is
// raised only after we are back in C++ code, outside the jump's reach.
struct TErrorManager {
  jpeg_error_mgr Public; // first: libjpeg sees a pointer to it
  std::jmp_buf Escape;
  char Message[JMSG_LENGTH_MAX] = {};
};

TErrorManager &ErrorManagerOf(j_common_ptr Info) { return *reinterpret_cast<TErrorManager *>(Info->err); }

[[noreturn]] void ErrorExit(j_common_ptr Info) {
  TErrorManager &err = ErrorManagerOf(Info);
  Info->err->format_message(Info, err.Message);
  std::longjmp(err.Escape, 1);
}

// libjpeg treats damaged or truncated compressed data as a warning and
// carries on with grey or repeated pixels. A picture shown that way looks
// whole but is not, so the first warning refuses it, at once: a few hundred
// bytes that claim a huge picture must not be decoded in full first.
void EmitMessage(j_common_ptr Info, int Level) {
  if (Level < 0)
    ErrorExit(Info);
}

// The decompressor's lifetime: libjpeg's own allocations go with it.
class TDecompressor {
public:
  TDecompressor() {
    Info.err = jpeg_std_error(&Errors.Public);
    Errors.Public.error_exit = ErrorExit;
    Errors.Public.emit_message = EmitMessage;
  }
  ~TDecompressor() { jpeg_destroy_decompress(&Info); }
  TDecompressor(const TDecompressor &) = delete;
  TDecompressor &operator=(const TDecompressor &) = delete;

  jpeg_decompress_struct Info{};
  TErrorManager Errors;
};

// Returns false when libjpeg gave up (the message is in the error manager).
// No object with a destructor lives in this frame across a libjpeg call: see
// TErrorManager. The size check and the surface may raise C++ exceptions;
// they are raised from here, never from inside libjpeg, so they unwind only
// through our own frames.
bool DecodeInto(TDecompressor &D, const uint8_t *Data, size_t Size, TBitmap32 &Bitmap) {
  jpeg_decompress_struct *info = &D.Info;
  if (setjmp(D.Errors.Escape))
    return false;
  jpeg_create_decompress(info);
  jpeg_mem_src(info, Data, static_cast<unsigned long>(Size));
  jpeg_read_header(info, TRUE);
  if (info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK)
    throw EGraphicsError("LoadJpegPicture: CMYK JPEG pictures are not supported");
  // Decoded straight into the surface's memory order (blue, green, red,
  // alpha); libjpeg-turbo fills the alpha byte with 0xFF. Grey pictures are
  // widened to the three channels by libjpeg as well.
  info->out_color_space = JCS_EXT_BGRA;
  // The size is checked before libjpeg or the surface take any memory for
  // it (a progressive picture's coefficients are held whole).
  jpeg_calc_output_dimensions(info);
  const auto width = static_cast<int32_t>(info->output_width), height = static_cast<int32_t>(info->output_height);
  if (!TBitmap32::CanHold(width, height))
    throw EGraphicsError("LoadJpegPicture: A picture of " + std::to_string(width) + " x " + std::to_string(height) +
                         " pixels is too large");
  jpeg_start_decompress(info);
  // Every row is written below, or the surface is emptied by the caller.
  Bitmap.SetSizeForOverwrite(width, height);
  while (info->output_scanline < info->output_height) {
    JSAMPROW row = reinterpret_cast<JSAMPROW>(Bitmap.ScanLine(static_cast<int32_t>(info->output_scanline)));
    jpeg_read_scanlines(info, &row, 1);
  }
  jpeg_finish_decompress(info);
  return true;
}

// The bytes from the stream's position to its end, read in one go: a file
// stream refuses a read past its end rather than returning short.
std::vector<uint8_t> ReadRest(TStream &Stream) {
  const int64_t rest = Stream.Size() - Stream.Position();
  // libjpeg takes the size as unsigned long, 32 bits on 64-bit Windows; the
  // stream reads at most a 32-bit count at a time.
  if (rest > std::numeric_limits<int32_t>::max())
    throw EGraphicsError("LoadJpegPicture: Picture data too large");
  std::vector<uint8_t> data(rest > 0 ? static_cast<size_t>(rest) : 0);
  if (!data.empty())
    Stream.ReadBuffer(data.data(), static_cast<int32_t>(data.size()));
  return data;
}

} // namespace

void LoadJpegPicture(TStream &Stream, TBitmap32 &Bitmap) {
  const std::vector<uint8_t> data = ReadRest(Stream);
  TDecompressor decompressor;
  try {
    if (!DecodeInto(decompressor, data.data(), data.size(), Bitmap))
      throw EGraphicsError(std::string("LoadJpegPicture: ") + decompressor.Errors.Message);
  } catch (...) {
    // A refused picture leaves no part-decoded surface behind.
    Bitmap.SetSize(0, 0);
    throw;
  }
}

bool InitializeGraphicsUnit() {
  RegisterPictureFormat("jpeg", "JPEG Image File", LoadJpegPicture);
  RegisterPictureFormat("jpg", "JPEG Image File", LoadJpegPicture);
  return true;
}
