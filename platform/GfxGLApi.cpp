#include "platform/GfxGLApi.h"

#include <SDL.h>

namespace plat::gl {

#define QUILLON_GL_DEFINE(type, name) type name = nullptr;
QUILLON_GL_FUNCTIONS(QUILLON_GL_DEFINE)
#undef QUILLON_GL_DEFINE

bool LoadFunctions(const char** missing) {
#define QUILLON_GL_LOAD(type, name)                                          \
    name = reinterpret_cast<type>(SDL_GL_GetProcAddress("gl" #name));        \
    if (name == nullptr) {                                                   \
        if (missing) *missing = "gl" #name;                                  \
        return false;                                                        \
    }
    QUILLON_GL_FUNCTIONS(QUILLON_GL_LOAD)
#undef QUILLON_GL_LOAD
    return true;
}

}  // namespace plat::gl
