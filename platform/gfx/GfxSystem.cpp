#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/gfx/Gfx.h"
#include "platform/gfx/GfxRecorder.h"

namespace plat {

GfxSystem* CreateGfxGLSystem();

namespace {
std::atomic<int> g_backend{-1};

GfxBackend FromEnvironment() {
    const char* v = std::getenv("QUILLON_GFX");
    return (v != nullptr && std::strcmp(v, "recorder") == 0) ? GfxBackend::Recorder : GfxBackend::OpenGL;
}
}  // namespace

void SetGfxBackend(GfxBackend backend) { g_backend = int(backend); }

GfxBackend GetGfxBackend() {
    const int b = g_backend.load();
    return b < 0 ? FromEnvironment() : GfxBackend(b);
}

GfxSystem* CreateGfxSystem() {
    return GetGfxBackend() == GfxBackend::Recorder ? CreateGfxRecorderSystem() : CreateGfxGLSystem();
}

}  // namespace plat
