#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/gfx/Gfx.h"
#include "platform/gfx/GfxRecorder.h"

namespace plat {

GfxSystem* CreateGfxGLSystem();

namespace {
std::atomic<int> g_backend{int(GfxBackend::OpenGL)};
}  // namespace

void SetGfxBackend(GfxBackend backend) { g_backend = int(backend); }

GfxBackend GetGfxBackend() {
    return GfxBackend(g_backend.load());
}

GfxSystem* CreateGfxSystem() {
    return GetGfxBackend() == GfxBackend::Recorder ? CreateGfxRecorderSystem() : CreateGfxGLSystem();
}

}  // namespace plat
