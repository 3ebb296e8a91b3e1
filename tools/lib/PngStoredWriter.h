// A minimal PNG encoder for 8-bit RGBA images that needs no compression
// library: the image data is a zlib stream of "stored" (uncompressed) deflate
// blocks. Files are larger than compressed ones but every PNG reader takes
// them. Used where libpng is not available (the Windows builds).
#pragma once

#include <cstdint>
#include <string>

// CRC-32 of the PNG chunks (ISO 3309 polynomial, as zlib's crc32).
uint32_t PngCrc32(const std::string &Bytes);
// Adler-32 of the zlib stream's uncompressed data (RFC 1950).
uint32_t ZlibAdler32(const std::string &Bytes);

// The PNG file of an image of Width x Height pixels, RGBA bytes row by row.
std::string EncodeStoredPng(uint32_t Width, uint32_t Height, const uint8_t *RGBA);
