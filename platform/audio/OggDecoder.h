#pragma once
// Ogg Vorbis decoding: a whole in-memory stream to 16-bit PCM.
#include <atomic>
#include <vector>

#include "platform/core/Types.h"

namespace plat {

// Rates a stream is taken at: from 8 kHz, the lowest an encoder is tuned
// for, to 192 kHz, the highest any recording uses. Others are refused.
inline constexpr u32 kOggLeastRate = 8000;
inline constexpr u32 kOggMostRate = 192000;
// Channels a stream may have (the most Vorbis gives a meaning to).
inline constexpr u32 kOggMostChannels = 8;

struct OggLayout {
    u32 channels = 0; // 1..kOggMostChannels
    u32 rate = 0;     // samples per second, kOggLeastRate..kOggMostRate
};

// Reads only the stream's headers: its layout and its length in sample
// frames as the stream itself states it (-1 when it cannot tell). Cheap
// whatever the stream's length: nothing is decoded. false when the stream
// cannot be opened or its layout is out of range.
bool ReadOggLayout(const u8* file, u32 fileSize, OggLayout* layout, i64* frames);

// Decodes the stream into interleaved 16-bit little-endian samples written
// to *out after its first `room` bytes, which the caller keeps for its own
// header; *out ends right after the last whole frame. Decoding stops at the
// end, at the first damaged spot, at a chained section whose layout differs
// from the first, or at maxBytes of samples, keeping what was decoded. false
// when the stream cannot be opened or its layout is out of range. A set
// `stop` ends the decoding early (the result is then of no use).
// A stream of more than mostChannels (1 or 2) channels is folded down to
// that many as it decodes (centre and surrounds into both sides, the
// low-frequency channel left out); *layout tells the channels written.
bool DecodeOggVorbis(const u8* file, u32 fileSize, u32 room, u32 maxBytes, std::vector<u8>* out,
                     OggLayout* layout, const std::atomic<bool>* stop = nullptr,
                     u32 mostChannels = kOggMostChannels);

}  // namespace plat
