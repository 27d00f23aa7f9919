// The OpenGL side of effects: compiling passes, and drawing with the active
// pass into the device's current targets under its render states.
//
// Effect draws go straight to GL beside the device's own fixed-pipeline
// draws, so every piece of GL state touched here is read first and put back
// afterwards, and the device's resources are given GL storage the way the
// device itself makes it (see EnsureTexture), so both sides can use them.
#include <SDL.h>

#include <GL/glcorearb.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/DriverAllocations.h"
#include "platform/Effect.h"
#include "platform/GfxDeviceCommon.h"
#include "platform/MeshGpu.h"

namespace plat {

namespace {

// ---- GL entry points used here -------------------------------------------------

#define EFFECT_GL_FUNCTIONS(X)                                             \
    X(PFNGLGETINTEGERVPROC, GetIntegerv)                                   \
    X(PFNGLGETBOOLEANVPROC, GetBooleanv)                                   \
    X(PFNGLGETFLOATVPROC, GetFloatv)                                       \
    X(PFNGLISENABLEDPROC, IsEnabled)                                       \
    X(PFNGLENABLEPROC, Enable)                                             \
    X(PFNGLDISABLEPROC, Disable)                                           \
    X(PFNGLVIEWPORTPROC, Viewport)                                         \
    X(PFNGLDEPTHRANGEPROC, DepthRange)                                     \
    X(PFNGLDEPTHFUNCPROC, DepthFunc)                                       \
    X(PFNGLDEPTHMASKPROC, DepthMask)                                       \
    X(PFNGLBLENDFUNCPROC, BlendFunc)                                       \
    X(PFNGLBLENDEQUATIONPROC, BlendEquation)                               \
    X(PFNGLCULLFACEPROC, CullFace)                                         \
    X(PFNGLCOLORMASKPROC, ColorMask)                                       \
    X(PFNGLPOLYGONMODEPROC, PolygonMode)                                   \
    X(PFNGLACTIVETEXTUREPROC, ActiveTexture)                               \
    X(PFNGLBINDTEXTUREPROC, BindTexture)                                   \
    X(PFNGLGENTEXTURESPROC, GenTextures)                                   \
    X(PFNGLTEXIMAGE2DPROC, TexImage2D)                                     \
    X(PFNGLTEXSUBIMAGE2DPROC, TexSubImage2D)                               \
    X(PFNGLTEXPARAMETERIPROC, TexParameteri)                               \
    X(PFNGLTEXPARAMETERIVPROC, TexParameteriv)                             \
    X(PFNGLGENSAMPLERSPROC, GenSamplers)                                   \
    X(PFNGLDELETESAMPLERSPROC, DeleteSamplers)                             \
    X(PFNGLBINDSAMPLERPROC, BindSampler)                                   \
    X(PFNGLSAMPLERPARAMETERIPROC, SamplerParameteri)                       \
    X(PFNGLGENBUFFERSPROC, GenBuffers)                                     \
    X(PFNGLDELETEBUFFERSPROC, DeleteBuffers)                               \
    X(PFNGLBINDBUFFERPROC, BindBuffer)                                     \
    X(PFNGLBUFFERDATAPROC, BufferData)                                     \
    X(PFNGLGENVERTEXARRAYSPROC, GenVertexArrays)                           \
    X(PFNGLBINDVERTEXARRAYPROC, BindVertexArray)                           \
    X(PFNGLENABLEVERTEXATTRIBARRAYPROC, EnableVertexAttribArray)           \
    X(PFNGLDISABLEVERTEXATTRIBARRAYPROC, DisableVertexAttribArray)         \
    X(PFNGLVERTEXATTRIBPOINTERPROC, VertexAttribPointer)                   \
    X(PFNGLVERTEXATTRIB4FPROC, VertexAttrib4f)                             \
    X(PFNGLCREATESHADERPROC, CreateShader)                                 \
    X(PFNGLSHADERSOURCEPROC, ShaderSource)                                 \
    X(PFNGLCOMPILESHADERPROC, CompileShader)                               \
    X(PFNGLGETSHADERIVPROC, GetShaderiv)                                   \
    X(PFNGLGETSHADERINFOLOGPROC, GetShaderInfoLog)                         \
    X(PFNGLDELETESHADERPROC, DeleteShader)                                 \
    X(PFNGLCREATEPROGRAMPROC, CreateProgram)                               \
    X(PFNGLATTACHSHADERPROC, AttachShader)                                 \
    X(PFNGLLINKPROGRAMPROC, LinkProgram)                                   \
    X(PFNGLGETPROGRAMIVPROC, GetProgramiv)                                 \
    X(PFNGLGETPROGRAMINFOLOGPROC, GetProgramInfoLog)                       \
    X(PFNGLUSEPROGRAMPROC, UseProgram)                                     \
    X(PFNGLDELETEPROGRAMPROC, DeleteProgram)                               \
    X(PFNGLGETUNIFORMLOCATIONPROC, GetUniformLocation)                     \
    X(PFNGLUNIFORM1IPROC, Uniform1i)                                       \
    X(PFNGLUNIFORM1IVPROC, Uniform1iv)                                     \
    X(PFNGLUNIFORM4IPROC, Uniform4i)                                       \
    X(PFNGLUNIFORM4FPROC, Uniform4f)                                       \
    X(PFNGLUNIFORM1FVPROC, Uniform1fv)                                     \
    X(PFNGLUNIFORM2FVPROC, Uniform2fv)                                     \
    X(PFNGLUNIFORM3FVPROC, Uniform3fv)                                     \
    X(PFNGLUNIFORM4FVPROC, Uniform4fv)                                     \
    X(PFNGLUNIFORMMATRIX4FVPROC, UniformMatrix4fv)                         \
    X(PFNGLGENFRAMEBUFFERSPROC, GenFramebuffers)                           \
    X(PFNGLBINDFRAMEBUFFERPROC, BindFramebuffer)                           \
    X(PFNGLFRAMEBUFFERTEXTURE2DPROC, FramebufferTexture2D)                 \
    X(PFNGLFRAMEBUFFERRENDERBUFFERPROC, FramebufferRenderbuffer)           \
    X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, CheckFramebufferStatus)             \
    X(PFNGLGENRENDERBUFFERSPROC, GenRenderbuffers)                         \
    X(PFNGLBINDRENDERBUFFERPROC, BindRenderbuffer)                         \
    X(PFNGLRENDERBUFFERSTORAGEPROC, RenderbufferStorage)                   \
    X(PFNGLDRAWELEMENTSPROC, DrawElements)                                 \
    X(PFNGLDRAWARRAYSPROC, DrawArrays)

struct GlFunctions {
#define EFFECT_GL_MEMBER(type, name) type name = nullptr;
    EFFECT_GL_FUNCTIONS(EFFECT_GL_MEMBER)
#undef EFFECT_GL_MEMBER
    bool loaded = false;
};
GlFunctions gl;

bool LoadGl(std::string* error)
{
    if (gl.loaded) return true;
    if (!SDL_GL_GetCurrentContext()) {
        if (error) *error = "no GL context is current";
        return false;
    }
#define EFFECT_GL_LOAD(type, name)                                                     \
    gl.name = reinterpret_cast<type>(SDL_GL_GetProcAddress("gl" #name));               \
    if (!gl.name) {                                                                    \
        if (error) *error = "missing GL function gl" #name;                            \
        return false;                                                                  \
    }
    EFFECT_GL_FUNCTIONS(EFFECT_GL_LOAD)
#undef EFFECT_GL_LOAD
    gl.loaded = true;
    return true;
}

bool GlUsable()
{
    return gl.loaded && SDL_GL_GetCurrentContext() != nullptr;
}

// GL names freed from other threads wait here for the drawing thread.
std::mutex g_graveMutex;
std::vector<GLuint> g_bufferGraves;

void BuryBuffers()
{
    std::vector<GLuint> names;
    {
        std::lock_guard<std::mutex> lock(g_graveMutex);
        names.swap(g_bufferGraves);
    }
    if (!names.empty()) gl.DeleteBuffers(static_cast<GLsizei>(names.size()), names.data());
}

// The device's kinds of GL names in GfxNative (its own numbering).
constexpr u32 kNativeTexture = 1;
constexpr u32 kNativeRenderbuffer = 3;

// First texture unit the effects use; the device's stages and upload unit
// lie below it.
constexpr GLuint kFirstUnit = 4;

struct GlFormat {
    GLenum internal = 0, format = 0, type = 0;
    bool alphaOne = false, redOnly = false;
};

GlFormat GlFormatOf(GfxFormat f)
{
    switch (f) {
    case GfxFormat::A8R8G8B8: return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, false, false};
    case GfxFormat::X8R8G8B8: return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, true, false};
    case GfxFormat::R8G8B8: return {GL_RGBA8, GL_BGR, GL_UNSIGNED_BYTE, true, false};
    case GfxFormat::A16B16G16R16F: return {GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT, false, false};
    case GfxFormat::R32F: return {GL_R32F, GL_RED, GL_FLOAT, false, true};
    default: return {};
    }
}

// Gives a texture GL storage and its current pixels, as the device does for
// its own draws (same storage, level range and swizzles).
void EnsureTexture(GfxBaseTexture* t, GLuint unit)
{
    const bool cube = t->Type() == GfxResourceType::CubeTexture;
    const GLenum target = cube ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
    const GlFormat f = GlFormatOf(t->Format());
    const bool fresh = t->native.name == 0;
    gl.ActiveTexture(GL_TEXTURE0 + unit);
    if (!fresh && (t->IsRenderTarget() || t->native.uploaded == t->Version())) {
        gl.BindTexture(target, t->native.name);
        return;
    }
    if (fresh) {
        gl.GenTextures(1, &t->native.name);
        t->native.kind = kNativeTexture;
    }
    gl.BindTexture(target, t->native.name);
    if (fresh) {
        gl.TexParameteri(target, GL_TEXTURE_BASE_LEVEL, 0);
        gl.TexParameteri(target, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(t->GetLevelCount() - 1));
        if (f.alphaOne) gl.TexParameteri(target, GL_TEXTURE_SWIZZLE_A, GL_ONE);
        if (f.redOnly) {
            const GLint swz[4] = {GL_RED, GL_ONE, GL_ONE, GL_ONE};
            gl.TexParameteriv(target, GL_TEXTURE_SWIZZLE_RGBA, swz);
        }
    }
    for (u32 face = 0; face < t->Faces(); ++face) {
        const GLenum img = cube ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + face : GL_TEXTURE_2D;
        for (u32 l = 0; l < t->GetLevelCount(); ++l) {
            const std::vector<u8>& data = t->LevelData(face, l);
            const void* px = data.empty() ? nullptr : data.data();
            if (fresh) {
                gl.TexImage2D(img, static_cast<GLint>(l), static_cast<GLint>(f.internal),
                              static_cast<GLsizei>(t->LevelWidth(l)), static_cast<GLsizei>(t->LevelHeight(l)), 0,
                              f.format, f.type, px);
            } else if (px) {
                gl.TexSubImage2D(img, static_cast<GLint>(l), 0, 0, static_cast<GLsizei>(t->LevelWidth(l)),
                                 static_cast<GLsizei>(t->LevelHeight(l)), f.format, f.type, px);
            }
        }
    }
    t->native.uploaded = t->Version();
}

GLenum GlCompare(u32 c)
{
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

GLenum GlBlend(u32 b)
{
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

GLenum GlBlendOp(u32 op)
{
    switch (op) {
    case BlendOpSubtract: return GL_FUNC_SUBTRACT;
    case BlendOpRevSubtract: return GL_FUNC_REVERSE_SUBTRACT;
    case BlendOpMin: return GL_MIN;
    case BlendOpMax: return GL_MAX;
    default: return GL_FUNC_ADD;
    }
}

GLenum GlPrimitive(GfxPrimitive p)
{
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

// GL state an effect draw changes, read before and put back after.
struct SavedGlState {
    GLint program = 0, vao = 0, arrayBuffer = 0, drawFbo = 0, readFbo = 0, activeTexture = 0;
    GLint viewport[4] = {};
    GLfloat depthRange[2] = {};
    GLboolean depthTest = 0, blend = 0, cull = 0, stencil = 0, scissor = 0;
    GLint depthFunc = 0, blendSrc = 0, blendDst = 0, blendEq = 0, cullMode = 0;
    GLint polygonMode[2] = {};
    GLboolean depthMask = 0;
    GLboolean colorMask[4] = {};

    void Save()
    {
        gl.GetIntegerv(GL_CURRENT_PROGRAM, &program);
        gl.GetIntegerv(GL_VERTEX_ARRAY_BINDING, &vao);
        gl.GetIntegerv(GL_ARRAY_BUFFER_BINDING, &arrayBuffer);
        gl.GetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFbo);
        gl.GetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFbo);
        gl.GetIntegerv(GL_ACTIVE_TEXTURE, &activeTexture);
        gl.GetIntegerv(GL_VIEWPORT, viewport);
        gl.GetFloatv(GL_DEPTH_RANGE, depthRange);
        depthTest = gl.IsEnabled(GL_DEPTH_TEST);
        blend = gl.IsEnabled(GL_BLEND);
        cull = gl.IsEnabled(GL_CULL_FACE);
        stencil = gl.IsEnabled(GL_STENCIL_TEST);
        scissor = gl.IsEnabled(GL_SCISSOR_TEST);
        gl.GetIntegerv(GL_DEPTH_FUNC, &depthFunc);
        gl.GetIntegerv(GL_BLEND_SRC_RGB, &blendSrc);
        gl.GetIntegerv(GL_BLEND_DST_RGB, &blendDst);
        gl.GetIntegerv(GL_BLEND_EQUATION_RGB, &blendEq);
        gl.GetIntegerv(GL_CULL_FACE_MODE, &cullMode);
        gl.GetIntegerv(GL_POLYGON_MODE, polygonMode);
        gl.GetBooleanv(GL_DEPTH_WRITEMASK, &depthMask);
        gl.GetBooleanv(GL_COLOR_WRITEMASK, colorMask);
    }

    static void Set(GLenum cap, GLboolean on)
    {
        if (on) gl.Enable(cap);
        else gl.Disable(cap);
    }

    void Restore() const
    {
        gl.UseProgram(static_cast<GLuint>(program));
        gl.BindVertexArray(static_cast<GLuint>(vao));
        gl.BindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(arrayBuffer));
        gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(drawFbo));
        gl.BindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(readFbo));
        gl.ActiveTexture(static_cast<GLenum>(activeTexture));
        gl.Viewport(viewport[0], viewport[1], viewport[2], viewport[3]);
        gl.DepthRange(depthRange[0], depthRange[1]);
        Set(GL_DEPTH_TEST, depthTest);
        Set(GL_BLEND, blend);
        Set(GL_CULL_FACE, cull);
        Set(GL_STENCIL_TEST, stencil);
        Set(GL_SCISSOR_TEST, scissor);
        gl.DepthFunc(static_cast<GLenum>(depthFunc));
        gl.BlendFunc(static_cast<GLenum>(blendSrc), static_cast<GLenum>(blendDst));
        gl.BlendEquation(static_cast<GLenum>(blendEq));
        gl.CullFace(static_cast<GLenum>(cullMode));
        gl.PolygonMode(GL_FRONT_AND_BACK, static_cast<GLenum>(polygonMode[0]));
        gl.DepthMask(depthMask);
        gl.ColorMask(colorMask[0], colorMask[1], colorMask[2], colorMask[3]);
    }
};

// Objects shared by every effect draw.
struct DrawObjects {
    GLuint fbo = 0, vao = 0, streamVbo = 0;
    bool made = false;
    void Make()
    {
        if (made) return;
        gl.GenFramebuffers(1, &fbo);
        gl.GenVertexArrays(1, &vao);
        gl.GenBuffers(1, &streamVbo);
        made = true;
    }
};
DrawObjects g_objects;

}  // namespace

// ---- compiled passes --------------------------------------------------------------

class GlEffectProgram : public EffectProgram {
public:
    ~GlEffectProgram() override
    {
        if (!GlUsable()) return;
        if (program) gl.DeleteProgram(program);
        if (!samplers.empty()) gl.DeleteSamplers(static_cast<GLsizei>(samplers.size()), samplers.data());
    }
    GLuint program = 0;
    GLint viewportLoc = -1, alphaTestLoc = -1;
    std::vector<GLint> locations;   // per parameter
    std::vector<GLint> units;       // per parameter: texture unit, -1 for values
    std::vector<GLuint> samplers;   // per parameter (0 for values)
    std::vector<u32> sent;          // per parameter: serial last sent
};

// A pass on a device that draws nothing (the recording backend).
class NullEffectProgram : public EffectProgram {};

namespace {

GLuint CompileStage(GLenum type, const std::string& source, std::string* errors)
{
    const GLuint s = gl.CreateShader(type);
    const char* text = source.c_str();
    gl.ShaderSource(s, 1, &text, nullptr);
    gl.CompileShader(s);
    GLint ok = 0;
    gl.GetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[4096] = {};
        gl.GetShaderInfoLog(s, sizeof log - 1, nullptr, log);
        if (errors) *errors = std::string(type == GL_VERTEX_SHADER ? "vertex stage: " : "fragment stage: ") + log;
        gl.DeleteShader(s);
        return 0;
    }
    return s;
}

}  // namespace

std::unique_ptr<EffectProgram> CompileEffectPass(GfxDevice* device, const EffectFileDesc& desc,
                                                 const EffectPassDesc& pass, std::string* errors)
{
    if (!device || GetGfxBackend() != GfxBackend::OpenGL) return std::make_unique<NullEffectProgram>();
    DriverAllocations driver;
    if (!LoadGl(errors)) return nullptr;
    const GLuint vs = CompileStage(GL_VERTEX_SHADER, EffectStageSource(desc, pass, true), errors);
    if (!vs) return nullptr;
    const GLuint fs = CompileStage(GL_FRAGMENT_SHADER, EffectStageSource(desc, pass, false), errors);
    if (!fs) {
        gl.DeleteShader(vs);
        return nullptr;
    }
    auto p = std::make_unique<GlEffectProgram>();
    p->program = gl.CreateProgram();
    gl.AttachShader(p->program, vs);
    gl.AttachShader(p->program, fs);
    gl.LinkProgram(p->program);
    gl.DeleteShader(vs);
    gl.DeleteShader(fs);
    GLint ok = 0;
    gl.GetProgramiv(p->program, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[4096] = {};
        gl.GetProgramInfoLog(p->program, sizeof log - 1, nullptr, log);
        if (errors) *errors = std::string("link: ") + log;
        return nullptr;
    }
    GLint previous = 0;
    gl.GetIntegerv(GL_CURRENT_PROGRAM, &previous);
    gl.UseProgram(p->program);
    p->viewportLoc = gl.GetUniformLocation(p->program, "uTargetViewport");
    p->alphaTestLoc = gl.GetUniformLocation(p->program, "uAlphaTest");
    GLint nextUnit = static_cast<GLint>(kFirstUnit);
    for (const EffectParamDesc& d : desc.params) {
        const GLint loc = gl.GetUniformLocation(p->program, d.name.c_str());
        p->locations.push_back(loc);
        p->sent.push_back(0);
        const bool sampler = d.type == EffectParamType::Sampler2D || d.type == EffectParamType::SamplerCube;
        if (!sampler) {
            p->units.push_back(-1);
            p->samplers.push_back(0);
            continue;
        }
        const GLint unit = nextUnit++;
        p->units.push_back(unit);
        if (loc >= 0) gl.Uniform1i(loc, unit);
        GLuint s = 0;
        gl.GenSamplers(1, &s);
        const GLint wrap = d.clamp ? GL_CLAMP_TO_EDGE : GL_REPEAT;
        gl.SamplerParameteri(s, GL_TEXTURE_WRAP_S, wrap);
        gl.SamplerParameteri(s, GL_TEXTURE_WRAP_T, wrap);
        gl.SamplerParameteri(s, GL_TEXTURE_WRAP_R, wrap);
        gl.SamplerParameteri(s, GL_TEXTURE_MAG_FILTER, d.point ? GL_NEAREST : GL_LINEAR);
        gl.SamplerParameteri(s, GL_TEXTURE_MIN_FILTER, d.point ? GL_NEAREST : GL_LINEAR_MIPMAP_LINEAR);
        p->samplers.push_back(s);
    }
    gl.UseProgram(static_cast<GLuint>(previous));
    return p;
}

void ReleaseEffectMeshBuffers(MeshGpuCache* cache)
{
    if (!cache) return;
    std::lock_guard<std::mutex> lock(g_graveMutex);
    if (cache->glVertexBuffer) g_bufferGraves.push_back(cache->glVertexBuffer);
    if (cache->glIndexBuffer) g_bufferGraves.push_back(cache->glIndexBuffer);
    cache->glVertexBuffer = cache->glIndexBuffer = 0;
}

namespace {

// Points the vertex attributes at the bound array buffer from base.
void SetAttributes(const std::vector<VertexElement>& decl, u32 stride, uintptr_t base)
{
    bool on[9] = {};
    for (const VertexElement& e : decl) {
        GLuint loc = 0;
        switch (e.usage) {
        case UsagePosition: case UsagePositionT: loc = 0; break;
        case UsageBlendWeight: loc = 1; break;
        case UsageNormal: loc = 2; break;
        case UsageColor: loc = e.usageIndex == 0 ? 3 : 4; break;
        case UsageTexCoord:
            if (e.usageIndex > 1) continue;
            loc = 5 + e.usageIndex;
            break;
        case UsageBlendIndices: loc = 8; break;
        default: continue;
        }
        const void* ptr = reinterpret_cast<const void*>(base + e.offset);
        gl.EnableVertexAttribArray(loc);
        if (e.type <= DeclFloat4) {
            gl.VertexAttribPointer(loc, static_cast<GLint>(e.type - DeclFloat1 + 1), GL_FLOAT, GL_FALSE,
                                   static_cast<GLsizei>(stride), ptr);
        } else if (e.type == DeclColor) {
            gl.VertexAttribPointer(loc, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, static_cast<GLsizei>(stride), ptr);
        } else if (e.type == DeclUByte4) {
            gl.VertexAttribPointer(loc, 4, GL_UNSIGNED_BYTE, GL_FALSE, static_cast<GLsizei>(stride), ptr);
        }
        on[loc] = true;
    }
    const float defaults[9][4] = {{0, 0, 0, 1}, {0, 0, 0, 0}, {0, 0, 1, 0}, {1, 1, 1, 1}, {0, 0, 0, 0},
                                  {0, 0, 0, 1}, {0, 0, 0, 1}, {1, 0, 0, 1}, {0, 0, 0, 0}};
    for (GLuint loc = 0; loc < 9; ++loc) {
        if (on[loc] || loc == 7) continue;
        gl.DisableVertexAttribArray(loc);
        gl.VertexAttrib4f(loc, defaults[loc][0], defaults[loc][1], defaults[loc][2], defaults[loc][3]);
    }
}

void SendParams(GlEffectProgram& p, const std::vector<Effect::Param>& params)
{
    for (size_t i = 0; i < params.size(); ++i) {
        const Effect::Param& prm = params[i];
        const GLint loc = p.locations[i];
        if (p.units[i] >= 0) {
            const GLuint unit = static_cast<GLuint>(p.units[i]);
            GfxBaseTexture* t = prm.texture.get();
            const GLenum target = prm.desc.type == EffectParamType::SamplerCube ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
            if (t) {
                EnsureTexture(t, unit);
            } else {
                gl.ActiveTexture(GL_TEXTURE0 + unit);
                gl.BindTexture(target, 0);
            }
            gl.BindSampler(unit, p.samplers[i]);
            continue;
        }
        if (loc < 0 || p.sent[i] == prm.serial) continue;
        const GLsizei n = static_cast<GLsizei>(prm.desc.count);
        const GLfloat* f = reinterpret_cast<const GLfloat*>(prm.words.data());
        switch (prm.desc.type) {
        case EffectParamType::Float: gl.Uniform1fv(loc, n, f); break;
        case EffectParamType::Vec2: gl.Uniform2fv(loc, n, f); break;
        case EffectParamType::Vec3: gl.Uniform3fv(loc, n, f); break;
        case EffectParamType::Vec4: gl.Uniform4fv(loc, n, f); break;
        case EffectParamType::Int: gl.Uniform1iv(loc, n, reinterpret_cast<const GLint*>(prm.words.data())); break;
        case EffectParamType::Mat4: gl.UniformMatrix4fv(loc, n, GL_FALSE, f); break;
        default: break;
        }
        p.sent[i] = prm.serial;
    }
}

// Binds the device's current targets to our framebuffer, giving them GL
// storage as the device would. false when they cannot be drawn into.
bool BindTargets(const GfxPipelineState& s)
{
    GfxSurface* rt = s.renderTarget;
    if (!rt) return false;
    GLuint color = 0;
    GLenum target = GL_TEXTURE_2D;
    GLint level = 0;
    if (GfxBaseTexture* t = rt->Container()) {
        EnsureTexture(t, kFirstUnit - 1);
        color = t->native.name;
        target = t->Type() == GfxResourceType::CubeTexture ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + rt->Face()
                                                            : GL_TEXTURE_2D;
        level = static_cast<GLint>(rt->Level());
    } else {
        if (rt->native.name == 0) {
            const GlFormat f = GlFormatOf(rt->Desc().format);
            gl.GenTextures(1, &rt->native.name);
            rt->native.kind = kNativeTexture;
            gl.ActiveTexture(GL_TEXTURE0 + kFirstUnit - 1);
            gl.BindTexture(GL_TEXTURE_2D, rt->native.name);
            gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
            gl.TexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(f.internal), static_cast<GLsizei>(rt->Desc().width),
                          static_cast<GLsizei>(rt->Desc().height), 0, f.format, f.type, nullptr);
        }
        color = rt->native.name;
    }
    GLuint depth = 0;
    if (GfxSurface* ds = s.depthStencil) {
        if (ds->native.name == 0) {
            GLuint rb = 0;
            gl.GenRenderbuffers(1, &rb);
            gl.BindRenderbuffer(GL_RENDERBUFFER, rb);
            gl.RenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, static_cast<GLsizei>(ds->Desc().width),
                                   static_cast<GLsizei>(ds->Desc().height));
            ds->native.name = rb;
            ds->native.kind = kNativeRenderbuffer;
        }
        depth = ds->native.name;
    }
    gl.BindFramebuffer(GL_FRAMEBUFFER, g_objects.fbo);
    gl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, target, color, level);
    gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth);
    return gl.CheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

void ApplyStates(const GfxPipelineState& s, GlEffectProgram& p)
{
    const u32* rs = s.renderStates;
    auto R = [&](GfxRenderState st) { return rs[static_cast<u32>(st)]; };
    const GfxViewport& v = s.viewport;
    gl.Viewport(static_cast<GLint>(v.x), static_cast<GLint>(v.y), static_cast<GLsizei>(v.width),
                static_cast<GLsizei>(v.height));
    gl.DepthRange(v.minZ, v.maxZ);
    if (p.viewportLoc >= 0) {
        gl.Uniform4f(p.viewportLoc, static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.width),
                     static_cast<float>(v.height));
    }
    if (p.alphaTestLoc >= 0) {
        gl.Uniform4i(p.alphaTestLoc, R(GfxRenderState::AlphaTestEnable) != 0 ? 1 : 0,
                     static_cast<GLint>(R(GfxRenderState::AlphaFunc)),
                     static_cast<GLint>(R(GfxRenderState::AlphaRef) & 0xFF), 0);
    }
    SavedGlState::Set(GL_DEPTH_TEST, s.depthStencil && R(GfxRenderState::ZEnable) != 0);
    gl.DepthFunc(GlCompare(R(GfxRenderState::ZFunc)));
    gl.DepthMask(R(GfxRenderState::ZWriteEnable) != 0 ? GL_TRUE : GL_FALSE);
    gl.Disable(GL_STENCIL_TEST);
    gl.Disable(GL_SCISSOR_TEST);
    SavedGlState::Set(GL_BLEND, R(GfxRenderState::AlphaBlendEnable) != 0);
    gl.BlendFunc(GlBlend(R(GfxRenderState::SrcBlend)), GlBlend(R(GfxRenderState::DestBlend)));
    gl.BlendEquation(GlBlendOp(R(GfxRenderState::BlendOp)));
    // Same face rule as the device: clockwise on screen is GL's
    // counter-clockwise in our top-down targets.
    const u32 cull = R(GfxRenderState::CullMode);
    SavedGlState::Set(GL_CULL_FACE, cull == CullCW || cull == CullCCW);
    gl.CullFace(cull == CullCW ? GL_FRONT : GL_BACK);
    gl.PolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    const u32 cm = R(GfxRenderState::ColorWriteEnable) & 0xF;
    gl.ColorMask((cm & 1) != 0, (cm & 2) != 0, (cm & 4) != 0, (cm & 8) != 0);
}

// Whether the device can take a draw now; the recording device and a lost
// device take none.
GfxDeviceCommon* DrawableDevice(GfxDevice* device)
{
    if (!device || GetGfxBackend() != GfxBackend::OpenGL || !GlUsable()) return nullptr;
    auto* d = dynamic_cast<GfxDeviceCommon*>(device);
    if (!d || !d->InScene() || d->TestCooperativeLevel() != GfxResult::Ok) return nullptr;
    return d;
}

}  // namespace

Result Effect::DrawMeshSubset(BaseMesh* mesh, u32 attribId)
{
    if (!mesh || !activeProgram_) return ResultInvalidCall;
    GfxDeviceCommon* dev = DrawableDevice(device_);
    auto* program = dynamic_cast<GlEffectProgram*>(activeProgram_);
    if (!dev || !program) return ResultOk;
    MeshGpuCache* cache = mesh->gpu_;
    if (!cache) return ResultInvalidCall;
    cache->Refresh(*mesh);
    const MeshGpuCache::Range* range = cache->Find(attribId);
    if (!range || range->faceCount == 0) return ResultOk;

    DriverAllocations driver;
    SavedGlState saved;
    saved.Save();
    BuryBuffers();
    g_objects.Make();
    if (!BindTargets(dev->State())) {
        saved.Restore();
        return ResultFail;
    }
    gl.BindVertexArray(g_objects.vao);
    if (cache->glRevision != mesh->Revision() || !cache->glVertexBuffer) {
        if (!cache->glVertexBuffer) gl.GenBuffers(1, &cache->glVertexBuffer);
        if (!cache->glIndexBuffer) gl.GenBuffers(1, &cache->glIndexBuffer);
        gl.BindBuffer(GL_ARRAY_BUFFER, cache->glVertexBuffer);
        gl.BufferData(GL_ARRAY_BUFFER,
                      static_cast<GLsizeiptr>(static_cast<size_t>(mesh->GetNumVertices()) * mesh->GetNumBytesPerVertex()),
                      mesh->VertexData(), GL_STATIC_DRAW);
        gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, cache->glIndexBuffer);
        gl.BufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(cache->sortedIndices.size() * 2),
                      cache->sortedIndices.data(), GL_STATIC_DRAW);
        cache->glRevision = mesh->Revision();
    }
    gl.BindBuffer(GL_ARRAY_BUFFER, cache->glVertexBuffer);
    gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, cache->glIndexBuffer);
    gl.UseProgram(program->program);
    SetAttributes(mesh->GetDeclaration(), mesh->GetNumBytesPerVertex(), 0);
    ApplyStates(dev->State(), *program);
    SendParams(*program, params_);
    gl.DrawElements(GL_TRIANGLES, static_cast<GLsizei>(range->faceCount * 3), GL_UNSIGNED_SHORT,
                    reinterpret_cast<const void*>(static_cast<uintptr_t>(range->startIndex) * 2));
    saved.Restore();
    return ResultOk;
}

Result Effect::DrawPrimitiveUP(GfxPrimitive type, u32 primitiveCount, const void* vertices, u32 stride, u32 fvf)
{
    if (!vertices || !activeProgram_) return ResultInvalidCall;
    const std::vector<VertexElement> decl = DeclarationFromFvf(fvf);
    if (decl.empty() || stride < FvfVertexSize(fvf)) return ResultInvalidCall;
    GfxDeviceCommon* dev = DrawableDevice(device_);
    auto* program = dynamic_cast<GlEffectProgram*>(activeProgram_);
    if (!dev || !program) return ResultOk;
    const u32 count = GfxVertexCount(type, primitiveCount);
    if (count == 0) return ResultOk;

    DriverAllocations driver;
    SavedGlState saved;
    saved.Save();
    BuryBuffers();
    g_objects.Make();
    if (!BindTargets(dev->State())) {
        saved.Restore();
        return ResultFail;
    }
    gl.BindVertexArray(g_objects.vao);
    gl.BindBuffer(GL_ARRAY_BUFFER, g_objects.streamVbo);
    gl.BufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(static_cast<size_t>(count) * stride), vertices,
                  GL_STREAM_DRAW);
    gl.UseProgram(program->program);
    SetAttributes(decl, stride, 0);
    ApplyStates(dev->State(), *program);
    SendParams(*program, params_);
    gl.DrawArrays(GlPrimitive(type), 0, static_cast<GLsizei>(count));
    saved.Restore();
    return ResultOk;
}

}  // namespace plat
