#pragma once
// Generated sounds encoded as Ogg Vorbis, for sample voices and music.
#include <string>
#include <vector>

#include "platform/core/Types.h"

// A mono tone gliding from startHz to endHz over seconds, with a soft
// attack and decay. Empty on an encoder failure.
std::string EncodeOggTone(f32 startHz, f32 endHz, f32 seconds);

// Mono samples in -1..1 at the given rate, encoded at a VBR quality of
// 0..1. Empty on an encoder failure.
std::string EncodeOggMono(const std::vector<float>& samples, long rate, float quality);
