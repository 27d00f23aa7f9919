#pragma once
// Short generated tones encoded as Ogg Vorbis, for sample pilot voices.
#include <string>

#include "platform/Types.h"

// A mono tone gliding from startHz to endHz over seconds, with a soft
// attack and decay. Empty on an encoder failure.
std::string EncodeOggTone(f32 startHz, f32 endHz, f32 seconds);
