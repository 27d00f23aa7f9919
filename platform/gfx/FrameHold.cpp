#include "platform/gfx/FrameHold.h"

namespace plat {
namespace {
bool gHeld = false;
}

void HoldBackBufferFrames(bool held) { gHeld = held; }
bool BackBufferFramesHeld() { return gHeld; }

}  // namespace plat
