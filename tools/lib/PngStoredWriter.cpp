#include "PngStoredWriter.h"

#include <algorithm>
#include <array>

namespace {

void PutBigEndian(std::string &Out, uint32_t Value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    Out += static_cast<char>(Value >> shift);
}

void Chunk(std::string &Out, const char *Type, const std::string &Data) {
  PutBigEndian(Out, static_cast<uint32_t>(Data.size()));
  const std::string typed = std::string(Type, 4) + Data;
  Out += typed;
  PutBigEndian(Out, PngCrc32(typed));
}

} // namespace

uint32_t PngCrc32(const std::string &Bytes) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k)
        c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : Bytes)
    crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

uint32_t ZlibAdler32(const std::string &Bytes) {
  constexpr uint32_t modulus = 65521;
  uint32_t a = 1, b = 0;
  for (unsigned char c : Bytes) {
    a = (a + c) % modulus;
    b = (b + a) % modulus;
  }
  return (b << 16) | a;
}

std::string EncodeStoredPng(uint32_t Width, uint32_t Height, const uint8_t *RGBA) {
  // Scanlines, each led by filter type 0 (none).
  std::string raw;
  const size_t row = static_cast<size_t>(Width) * 4;
  raw.reserve((row + 1) * Height);
  for (uint32_t y = 0; y < Height; ++y) {
    raw += '\0';
    raw.append(reinterpret_cast<const char *>(RGBA) + y * row, row);
  }

  // zlib header (deflate, 32 KiB window, no dictionary, check bits), stored
  // blocks of at most 65535 bytes, then the Adler-32 of the data.
  std::string z = "\x78\x01";
  size_t done = 0;
  do {
    const size_t n = std::min<size_t>(65535, raw.size() - done);
    const bool final = done + n == raw.size();
    z += static_cast<char>(final ? 1 : 0);
    z += static_cast<char>(n & 0xFF);
    z += static_cast<char>(n >> 8);
    z += static_cast<char>(~n & 0xFF);
    z += static_cast<char>((~n >> 8) & 0xFF);
    z.append(raw, done, n);
    done += n;
  } while (done < raw.size());
  PutBigEndian(z, ZlibAdler32(raw));

  std::string png = "\x89PNG\r\n\x1A\n";
  std::string header;
  PutBigEndian(header, Width);
  PutBigEndian(header, Height);
  header += std::string("\x08\x06\x00\x00\x00", 5); // 8 bits, RGBA, deflate, adaptive filters, no interlace
  Chunk(png, "IHDR", header);
  Chunk(png, "IDAT", z);
  Chunk(png, "IEND", "");
  return png;
}
