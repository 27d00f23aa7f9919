#pragma once
// A minimal PNG encoder for the sample data: 8-bit RGBA, deflate with stored
// blocks only, so it needs no compression library.
#include <string>
#include <vector>

#include "platform/core/Types.h"

// rgba holds width * height * 4 bytes, rows top to bottom.
std::string EncodePng(u32 width, u32 height, const std::vector<u8>& rgba);
