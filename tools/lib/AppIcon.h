// The installer's icon, drawn in code: a chart sheet (sea, a stretch of
// coast) with a compass rose on it, at 16 and 32 pixels, and the .ico file
// that holds both. tools/appicon writes the file the program's resources
// compile in; a test keeps the committed file equal to this drawing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The sizes the icon file holds, small first.
inline constexpr int AppIconSizes[] = {16, 32};

// One image of the icon: Size x Size pixels 0xAARRGGBB (straight alpha), top
// row first.
std::vector<uint32_t> DrawAppIcon(int Size);

// An .ico file of 32-bit images (each a bitmap header, the pixels bottom row
// first, then the 1-bit transparency mask), one per size in the order given.
std::string EncodeIco(const std::vector<std::vector<uint32_t>> &Images, const std::vector<int> &Sizes);

// The icon file: DrawAppIcon at every size of AppIconSizes.
std::string AppIconFile();
