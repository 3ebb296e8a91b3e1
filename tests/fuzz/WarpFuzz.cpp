// The image warping over arbitrary transformations: the source rectangle,
// the corners (any float: NaN, infinities, huge and subnormal values) and,
// when the first byte asks for it, the matrix itself as if prepared; source
// and destination of 0 to 16 pixels a side; every sampling and draw mode.
// Each input is warped by Transform and by the per-pixel rule that defines
// it, TransformPerPixel, into two copies of the destination: a crash, a
// sanitizer report, or any difference between the two (pixels, the custom
// combine's calls, or the error raised) is a finding.
//
// Layout: flags (bit 0 bilinear, bits 1-2 draw mode, bit 3 matrix given),
// source width and height, destination width and height (each modulo 17),
// 12 floats (SrcRect, X0..X3, Y0..Y3), 9 floats of matrix when given, then
// pixel bytes for the source and the destination, repeated as needed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "VmProjectiveTransform.h"

namespace {

class TInput {
public:
  TInput(const uint8_t *Data, size_t Size) : FData(Data), FSize(Size) {}
  uint8_t Byte() { return FPos < FSize ? FData[FPos++] : 0; }
  float Float() {
    uint32_t Bits = 0;
    for (int i = 0; i < 4; ++i)
      Bits |= static_cast<uint32_t>(Byte()) << (8 * i);
    float Value;
    std::memcpy(&Value, &Bits, sizeof Value);
    return Value;
  }
  // The rest of the input, or a fixed pattern when nothing is left.
  std::vector<uint8_t> Rest() {
    if (FPos >= FSize)
      return {0x80, 0xFF, 0x10, 0x3C, 0x00, 0xA5};
    return std::vector<uint8_t>(FData + FPos, FData + FSize);
  }

private:
  const uint8_t *FData;
  size_t FSize, FPos = 0;
};

void Fill(TBitmap32 &Bitmap, int32_t Width, int32_t Height, const std::vector<uint8_t> &Bytes, size_t &At) {
  Bitmap.SetSize(Width, Height);
  for (size_t i = 0; i < Bitmap.PixelCount(); ++i) {
    TColor32 Color = 0;
    for (int b = 0; b < 4; ++b)
      Color |= static_cast<TColor32>(Bytes[At++ % Bytes.size()]) << (8 * b);
    Bitmap.Bits()[i] = Color;
  }
}

struct TOutcome {
  std::string Error;
  std::vector<TColor32> Calls;
};

TOutcome Run(void (*Warp)(TBitmap32 *, const TBitmap32 *, TTransformation *), TBitmap32 &Dst, TBitmap32 &Src,
             TProjectiveTransformation T) {
  TOutcome Outcome;
  Src.OnPixelCombine = [&Outcome](TColor32 F, TColor32 &B) {
    Outcome.Calls.push_back(F);
    Outcome.Calls.push_back(B);
    B = (F ^ B) + 1;
  };
  try {
    Warp(&Dst, &Src, &T);
  } catch (const ETransformError &e) {
    Outcome.Error = e.Message();
  }
  return Outcome;
}

[[noreturn]] void Mismatch(const char *What) {
  std::fprintf(stderr, "Transform differs from the per-pixel rule: %s\n", What);
  std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  TInput In(Data, Size);
  const uint8_t Flags = In.Byte();
  const int32_t SrcW = In.Byte() % 17, SrcH = In.Byte() % 17, DstW = In.Byte() % 17, DstH = In.Byte() % 17;
  TProjectiveTransformation T;
  T.SrcRect = {In.Float(), In.Float(), In.Float(), In.Float()};
  T.X0 = In.Float(), T.X1 = In.Float(), T.X2 = In.Float(), T.X3 = In.Float();
  T.Y0 = In.Float(), T.Y1 = In.Float(), T.Y2 = In.Float(), T.Y3 = In.Float();
  if (Flags & 8) {
    for (auto &Row : T.Matrix)
      for (float &Value : Row)
        Value = In.Float();
    T.TransformValid = true;
  }
  const std::vector<uint8_t> Bytes = In.Rest();
  size_t At = 0;
  TBitmap32 Src, Fast, Rule;
  Fill(Src, SrcW, SrcH, Bytes, At);
  Src.SetResampler(Flags & 1 ? TResamplerKind::rkLinear : TResamplerKind::rkNearest);
  Src.SetDrawMode(static_cast<TDrawMode>((Flags >> 1 & 3) % 3));
  const size_t DstAt = At;
  Fill(Fast, DstW, DstH, Bytes, At);
  At = DstAt;
  Fill(Rule, DstW, DstH, Bytes, At);

  const TOutcome Ours = Run(Transform, Fast, Src, T);
  const TOutcome Reference = Run(TransformPerPixel, Rule, Src, T);
  if (Ours.Error != Reference.Error)
    Mismatch("error");
  if (!std::equal(Fast.Bits(), Fast.Bits() + Fast.PixelCount(), Rule.Bits()))
    Mismatch("pixels");
  if (Ours.Calls != Reference.Calls)
    Mismatch("custom combine calls");
  return 0;
}
