#pragma once
// Sounds and pictures decoded in the helper program "quillon_decode", run
// under limits (see Process.h): a stream that crashes, stalls or swamps a
// decoding library ends the helper and is refused, the game goes on. What
// the helper sends back is checked (layout, sizes) before it is used.
//
// Request on the helper's standard input, little-endian: "QDRQ", kind,
// a, b (u32 each), budget (u64), size, room (u32 each), then size bytes.
//   kind 1 Ogg Vorbis: a = seconds at most (0: any), b = sample bytes at
//     most; budget = sample bytes the stream may state (only with
//     seconds > 0, which also needs the stream to state its length).
//   kind 2 PNG: a = widest edge, budget = bytes of BGRA pixels at most.
// Answer on its standard output: "QDRS", status, x, y (u32 each), payload
// size (u64), zeros up to `room` bytes (when room is more than these 24),
// then the payload: 16-bit samples (x channels, y rate) or top-down BGRA
// rows (x wide, y high). The caller's own header then takes the room
// without the payload being copied.
//   Sound output plays one or two channels, so the helper folds streams of
// more into stereo as it decodes. An answer is refused unless it keeps to
// the request: 1 or 2 channels, a rate a stream may have (OggDecoder.h),
// and, for a voice, no more than its seconds at that rate nor its budget.
#include <atomic>
#include <string>
#include <vector>

#include "platform/audio/OggDecoder.h"
#include "platform/core/Types.h"

namespace plat {

inline constexpr const char* kDecodeHelperName = "quillon_decode";
inline constexpr u32 kDecodeRequestSize = 32;
inline constexpr u32 kDecodeAnswerSize = 24;
inline constexpr u32 kDecodeKindOgg = 1;
inline constexpr u32 kDecodeKindPng = 2;
// Channels an Ogg answer carries at most.
inline constexpr u32 kDecodeMostChannels = 2;

enum class DecodeStatus : u32 {
    Ok = 0,
    Unreadable = 1,  // not a stream or picture it can read, or no length told
    TooLong = 2,     // lasts longer than the seconds asked
    OverBudget = 3,  // would take more bytes than the budget, or too wide
    Failed = 4,      // the helper crashed, ran out of a limit or answered wrong
    NoHelper = 5,    // the helper program could not be started
};

// Ogg Vorbis to interleaved 16-bit samples, written to *out after `room`
// bytes the caller keeps for a header. maxSeconds 0 takes any stream (cut
// at maxBytes); otherwise the stream must state its length, at most
// maxSeconds long and at most `budget` bytes of samples. Any thread.
DecodeStatus DecodeOggInHelper(const u8* file, u32 size, u32 maxSeconds, u32 maxBytes, u64 budget, u32 room,
                               std::vector<u8>* out, OggLayout* layout, const std::atomic<bool>* stop = nullptr);

// A PNG to top-down BGRA rows, written to *bgra after its first *offset
// bytes; refused when an edge passes maxEdge or the pixels pass `budget`
// bytes. Any thread.
DecodeStatus DecodePngInHelper(const u8* file, u32 size, u32 maxEdge, u64 budget, u32* width, u32* height,
                               std::vector<u8>* bgra, size_t* offset, const std::atomic<bool>* stop = nullptr);

// Runs the requests made from now on with the program at path instead of
// the shipped helper (tests put misbehaving ones in its place); empty goes
// back to the shipped one. Any thread.
void UseDecodeHelper(const std::string& path);

// Writes the request the helper reads (tests build hostile ones with it).
std::vector<u8> DecodeRequest(u32 kind, u32 a, u32 b, u64 budget, u32 room, const u8* file, u32 size);

}  // namespace plat
