#include "platform/gfx/GfxGLApi.h"

#include <SDL.h>

namespace plat::gl {

#define QUILLON_GL_DEFINE(type, name) type name = nullptr;
QUILLON_GL_FUNCTIONS(QUILLON_GL_DEFINE)
#undef QUILLON_GL_DEFINE

namespace {
bool g_loaded = false;
}

bool LoadFunctions(const char** missing) {
#define QUILLON_GL_LOAD(type, name)                                          \
    name = reinterpret_cast<type>(SDL_GL_GetProcAddress("gl" #name));        \
    if (name == nullptr) {                                                   \
        if (missing) *missing = "gl" #name;                                  \
        return false;                                                        \
    }
    QUILLON_GL_FUNCTIONS(QUILLON_GL_LOAD)
#undef QUILLON_GL_LOAD
    g_loaded = true;
    return true;
}

bool Loaded() { return g_loaded; }

}  // namespace plat::gl

namespace plat {

GLenum GlCompare(u32 c) {
    switch (c) {
        case CmpNever: return GL_NEVER;
        case CmpLess: return GL_LESS;
        case CmpEqual: return GL_EQUAL;
        case CmpLessEqual: return GL_LEQUAL;
        case CmpGreater: return GL_GREATER;
        case CmpNotEqual: return GL_NOTEQUAL;
        case CmpGreaterEqual: return GL_GEQUAL;
        default: return GL_ALWAYS;
    }
}

GLenum GlBlend(u32 b) {
    switch (b) {
        case BlendZero: return GL_ZERO;
        case BlendOne: return GL_ONE;
        case BlendSrcColor: return GL_SRC_COLOR;
        case BlendInvSrcColor: return GL_ONE_MINUS_SRC_COLOR;
        case BlendSrcAlpha: return GL_SRC_ALPHA;
        case BlendInvSrcAlpha: return GL_ONE_MINUS_SRC_ALPHA;
        case BlendDestAlpha: return GL_DST_ALPHA;
        case BlendInvDestAlpha: return GL_ONE_MINUS_DST_ALPHA;
        case BlendDestColor: return GL_DST_COLOR;
        case BlendInvDestColor: return GL_ONE_MINUS_DST_COLOR;
        case BlendSrcAlphaSat: return GL_SRC_ALPHA_SATURATE;
        default: return GL_ONE;
    }
}

GLenum GlBlendOp(u32 op) {
    switch (op) {
        case BlendOpSubtract: return GL_FUNC_SUBTRACT;
        case BlendOpRevSubtract: return GL_FUNC_REVERSE_SUBTRACT;
        case BlendOpMin: return GL_MIN;
        case BlendOpMax: return GL_MAX;
        default: return GL_FUNC_ADD;
    }
}

namespace {

GLuint CompileStage(GLenum type, const char* const* parts, GLsizei count, std::string* log) {
    const GLuint sh = gl::CreateShader(type);
    gl::ShaderSource(sh, count, parts, nullptr);
    gl::CompileShader(sh);
    GLint ok = 0;
    gl::GetShaderiv(sh, GL_COMPILE_STATUS, &ok);
    if (ok) return sh;
    char text[4096] = {};
    gl::GetShaderInfoLog(sh, sizeof text - 1, nullptr, text);
    if (log) *log = text;
    gl::DeleteShader(sh);
    return 0;
}

}  // namespace

GLuint GlBuildProgram(const char* const* vertexParts, GLsizei vertexCount, const char* const* fragmentParts,
                      GLsizei fragmentCount, GlBuildStep* failed, std::string* log) {
    GlBuildStep step = GlBuildStep::None;
    GLuint program = 0;
    const GLuint vs = CompileStage(GL_VERTEX_SHADER, vertexParts, vertexCount, log);
    const GLuint fs = vs ? CompileStage(GL_FRAGMENT_SHADER, fragmentParts, fragmentCount, log) : 0;
    if (!vs) {
        step = GlBuildStep::VertexStage;
    } else if (!fs) {
        step = GlBuildStep::FragmentStage;
        gl::DeleteShader(vs);
    } else {
        program = gl::CreateProgram();
        gl::AttachShader(program, vs);
        gl::AttachShader(program, fs);
        gl::LinkProgram(program);
        gl::DeleteShader(vs);
        gl::DeleteShader(fs);
        GLint ok = 0;
        gl::GetProgramiv(program, GL_LINK_STATUS, &ok);
        if (!ok) {
            char text[4096] = {};
            gl::GetProgramInfoLog(program, sizeof text - 1, nullptr, text);
            if (log) *log = text;
            gl::DeleteProgram(program);
            program = 0;
            step = GlBuildStep::Link;
        }
    }
    if (failed) *failed = step;
    return program;
}

GLenum GlPrimitive(GfxPrimitive p) {
    switch (p) {
        case GfxPrimitive::PointList: return GL_POINTS;
        case GfxPrimitive::LineList: return GL_LINES;
        case GfxPrimitive::LineStrip: return GL_LINE_STRIP;
        case GfxPrimitive::TriangleList: return GL_TRIANGLES;
        case GfxPrimitive::TriangleStrip: return GL_TRIANGLE_STRIP;
        case GfxPrimitive::TriangleFan: return GL_TRIANGLE_FAN;
    }
    return GL_TRIANGLES;
}

}  // namespace plat
