// The OpenGL side of effects: compiling passes, and drawing with the active
// pass into the device's current targets under its render states.
//
// Effect draws go straight to GL beside the device's own fixed-pipeline
// draws, so every piece of GL state touched here is read first and put back
// afterwards. The device's textures and targets get their GL objects from the
// device itself (GfxGLAccess), so both sides share them.
#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <new>

#include "platform/core/DriverAllocations.h"
#include "platform/gfx/Effect.h"
#include "platform/gfx/GfxDeviceCommon.h"
#include "platform/gfx/GfxGLAccess.h"
#include "platform/gfx/GfxGLApi.h"
#include "platform/mesh/MeshGpu.h"

namespace plat {

namespace {

bool LoadGl(std::string* error)
{
    if (gl::Loaded()) return true;
    if (!SDL_GL_GetCurrentContext()) {
        if (error) *error = "no GL context is current";
        return false;
    }
    const char* missing = "";
    if (!gl::LoadFunctions(&missing)) {
        if (error) *error = std::string("missing GL function ") + missing;
        return false;
    }
    return true;
}

bool GlUsable()
{
    return gl::Loaded() && SDL_GL_GetCurrentContext() != nullptr;
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
    if (!names.empty()) gl::DeleteBuffers(static_cast<GLsizei>(names.size()), names.data());
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
        gl::GetIntegerv(GL_CURRENT_PROGRAM, &program);
        gl::GetIntegerv(GL_VERTEX_ARRAY_BINDING, &vao);
        gl::GetIntegerv(GL_ARRAY_BUFFER_BINDING, &arrayBuffer);
        gl::GetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFbo);
        gl::GetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFbo);
        gl::GetIntegerv(GL_ACTIVE_TEXTURE, &activeTexture);
        gl::GetIntegerv(GL_VIEWPORT, viewport);
        gl::GetFloatv(GL_DEPTH_RANGE, depthRange);
        depthTest = gl::IsEnabled(GL_DEPTH_TEST);
        blend = gl::IsEnabled(GL_BLEND);
        cull = gl::IsEnabled(GL_CULL_FACE);
        stencil = gl::IsEnabled(GL_STENCIL_TEST);
        scissor = gl::IsEnabled(GL_SCISSOR_TEST);
        gl::GetIntegerv(GL_DEPTH_FUNC, &depthFunc);
        gl::GetIntegerv(GL_BLEND_SRC_RGB, &blendSrc);
        gl::GetIntegerv(GL_BLEND_DST_RGB, &blendDst);
        gl::GetIntegerv(GL_BLEND_EQUATION_RGB, &blendEq);
        gl::GetIntegerv(GL_CULL_FACE_MODE, &cullMode);
        gl::GetIntegerv(GL_POLYGON_MODE, polygonMode);
        gl::GetBooleanv(GL_DEPTH_WRITEMASK, &depthMask);
        gl::GetBooleanv(GL_COLOR_WRITEMASK, colorMask);
    }

    static void Set(GLenum cap, GLboolean on)
    {
        if (on) gl::Enable(cap);
        else gl::Disable(cap);
    }

    void Restore() const
    {
        gl::UseProgram(static_cast<GLuint>(program));
        gl::BindVertexArray(static_cast<GLuint>(vao));
        gl::BindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(arrayBuffer));
        gl::BindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(drawFbo));
        gl::BindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(readFbo));
        gl::ActiveTexture(static_cast<GLenum>(activeTexture));
        gl::Viewport(viewport[0], viewport[1], viewport[2], viewport[3]);
        gl::DepthRange(depthRange[0], depthRange[1]);
        Set(GL_DEPTH_TEST, depthTest);
        Set(GL_BLEND, blend);
        Set(GL_CULL_FACE, cull);
        Set(GL_STENCIL_TEST, stencil);
        Set(GL_SCISSOR_TEST, scissor);
        gl::DepthFunc(static_cast<GLenum>(depthFunc));
        gl::BlendFunc(static_cast<GLenum>(blendSrc), static_cast<GLenum>(blendDst));
        gl::BlendEquation(static_cast<GLenum>(blendEq));
        gl::CullFace(static_cast<GLenum>(cullMode));
        gl::PolygonMode(GL_FRONT_AND_BACK, static_cast<GLenum>(polygonMode[0]));
        gl::DepthMask(depthMask);
        gl::ColorMask(colorMask[0], colorMask[1], colorMask[2], colorMask[3]);
    }
};

// Objects shared by every effect draw in the device's GL context. A device
// made later has a context of its own, where the old names would mean
// nothing or name the device's own objects: they go with their context.
struct DrawObjects {
    GLuint vao = 0, streamVbo = 0;
    bool made = false;
    void Make()
    {
        if (made) return;
        gl::GenVertexArrays(1, &vao);
        gl::GenBuffers(1, &streamVbo);
        made = true;
    }
};
DrawObjects g_objects;

}  // namespace

void ReleaseEffectDrawObjects()
{
    if (!g_objects.made) return;
    gl::DeleteVertexArrays(1, &g_objects.vao);
    gl::DeleteBuffers(1, &g_objects.streamVbo);
    g_objects = DrawObjects{};
}

// ---- compiled passes --------------------------------------------------------------

// One GL program of a pass with its uniform locations and what it was last sent.
struct GlEffectVariant {
    GLuint program = 0;
    GLint viewportLoc = -1, alphaTestLoc = -1;
    std::vector<GLint> locations;  // per parameter
    std::vector<u32> sent;         // per parameter: serial last sent
};

// A pass is built twice: the variant draws take while the device's alpha
// test is off never discards. A 2D sampler left without a texture reads a
// white texel; a draw leaving just one such sampler takes a pair of variants
// that read no texture there at all.
class GlEffectProgram : public EffectProgram {
public:
    ~GlEffectProgram() override
    {
        if (!GlUsable()) return;
        for (auto& [key, v] : variants)
            if (v.program) gl::DeleteProgram(v.program);
        if (!samplers.empty()) gl::DeleteSamplers(static_cast<GLsizei>(samplers.size()), samplers.data());
        if (white) gl::DeleteTextures(1, &white);
    }
    static u64 Key(bool alphaTest, u32 unsetSamplers) { return u64(unsetSamplers) << 1 | (alphaTest ? 1u : 0u); }
    GlEffectVariant* Find(bool alphaTest, u32 unsetSamplers)
    {
        auto it = variants.find(Key(alphaTest, unsetSamplers));
        return it == variants.end() ? nullptr : &it->second;
    }
    std::map<u64, GlEffectVariant> variants;
    std::vector<GLint> units;       // per parameter: texture unit, -1 for values
    std::vector<GLuint> samplers;   // per parameter (0 for values)
    std::vector<u32> samplerBits;   // per parameter: its bit in an unset-sampler mask
    GLuint white = 0;  // what an unset 2D sampler reads
};

// A pass on a device that draws nothing (the recording backend).
class NullEffectProgram : public EffectProgram {};

namespace {

bool BuildVariant(const EffectFileDesc& desc, const EffectPassDesc& pass, bool alphaTest, u32 unsetSamplers,
                  GlEffectVariant* out, std::string* errors)
{
    const std::string vertex = EffectStageSource(desc, pass, true),
                      fragment = EffectStageSource(desc, pass, false, alphaTest, unsetSamplers);
    const char* vertexText = vertex.c_str();
    const char* fragmentText = fragment.c_str();
    GlBuildStep failed = GlBuildStep::None;
    std::string log;
    out->program = GlBuildProgram(&vertexText, 1, &fragmentText, 1, &failed, &log);
    if (!out->program) {
        const char* step = failed == GlBuildStep::VertexStage     ? "vertex stage: "
                           : failed == GlBuildStep::FragmentStage ? "fragment stage: "
                                                                  : "link: ";
        if (errors) *errors = step + log;
        return false;
    }
    out->viewportLoc = gl::GetUniformLocation(out->program, "uTargetViewport");
    out->alphaTestLoc = gl::GetUniformLocation(out->program, "uAlphaTest");
    for (const EffectParamDesc& d : desc.params) {
        out->locations.push_back(gl::GetUniformLocation(out->program, d.name.c_str()));
        out->sent.push_back(0);
    }
    return true;
}

}  // namespace

std::unique_ptr<EffectProgram> CompileEffectPass(GfxDevice* device, const EffectFileDesc& desc,
                                                 const EffectPassDesc& pass, std::string* errors)
{
    if (!device || GetGfxBackend() != GfxBackend::OpenGL) return std::make_unique<NullEffectProgram>();
    DriverAllocations driver;
    if (!LoadGl(errors)) return nullptr;
    auto p = std::make_unique<GlEffectProgram>();
    for (bool alphaTest : {false, true})
        if (!BuildVariant(desc, pass, alphaTest, 0, &p->variants[GlEffectProgram::Key(alphaTest, 0)], errors))
            return nullptr;
    // Programs for draws leaving one 2D sampler unset, built with the rest so
    // that no draw in a battle waits for a compile.
    p->samplerBits = Sampler2DBits(desc.params);
    for (u32 bit : p->samplerBits) {
        if (bit == 0) continue;
        for (bool alphaTest : {false, true}) {
            GlEffectVariant v;
            if (BuildVariant(desc, pass, alphaTest, bit, &v, nullptr))
                p->variants[GlEffectProgram::Key(alphaTest, bit)] = std::move(v);
            else if (v.program)
                gl::DeleteProgram(v.program);
        }
    }
    const u8 white[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    GLint activeUnit = 0, bound = 0;
    gl::GetIntegerv(GL_ACTIVE_TEXTURE, &activeUnit);
    gl::ActiveTexture(GL_TEXTURE0);
    gl::GetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    gl::GenTextures(1, &p->white);
    gl::BindTexture(GL_TEXTURE_2D, p->white);
    gl::TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, white);
    gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    gl::BindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
    gl::ActiveTexture(static_cast<GLenum>(activeUnit));
    GLint previous = 0;
    gl::GetIntegerv(GL_CURRENT_PROGRAM, &previous);
    GLint nextUnit = static_cast<GLint>(GfxGLAccess::kFirstFreeUnit);
    for (size_t i = 0; i < desc.params.size(); ++i) {
        const EffectParamDesc& d = desc.params[i];
        const bool sampler = d.type == EffectParamType::Sampler2D || d.type == EffectParamType::SamplerCube ||
                             d.type == EffectParamType::Sampler2DShadow;
        if (!sampler) {
            p->units.push_back(-1);
            p->samplers.push_back(0);
            continue;
        }
        const GLint unit = nextUnit++;
        p->units.push_back(unit);
        for (auto& [key, v] : p->variants) {
            if (v.locations[i] < 0) continue;
            gl::UseProgram(v.program);
            gl::Uniform1i(v.locations[i], unit);
        }
        GLuint s = 0;
        gl::GenSamplers(1, &s);
        const GLint wrap = d.clamp ? GL_CLAMP_TO_EDGE : GL_REPEAT;
        gl::SamplerParameteri(s, GL_TEXTURE_WRAP_S, wrap);
        gl::SamplerParameteri(s, GL_TEXTURE_WRAP_T, wrap);
        gl::SamplerParameteri(s, GL_TEXTURE_WRAP_R, wrap);
        gl::SamplerParameteri(s, GL_TEXTURE_MAG_FILTER, d.point ? GL_NEAREST : GL_LINEAR);
        gl::SamplerParameteri(s, GL_TEXTURE_MIN_FILTER, d.point ? GL_NEAREST : GL_LINEAR_MIPMAP_LINEAR);
        if (d.type == EffectParamType::Sampler2DShadow) {
            // One fetch compares and filters the four nearest texels; beyond
            // the edge lies the far plane, which shadows nothing.
            const float far[4] = {1.0f, 1.0f, 1.0f, 1.0f};
            gl::SamplerParameteri(s, GL_TEXTURE_COMPARE_MODE, GL_COMPARE_REF_TO_TEXTURE);
            gl::SamplerParameteri(s, GL_TEXTURE_COMPARE_FUNC, GL_LEQUAL);
            gl::SamplerParameteri(s, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_BORDER);
            gl::SamplerParameteri(s, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_BORDER);
            gl::SamplerParameterfv(s, GL_TEXTURE_BORDER_COLOR, far);
            gl::SamplerParameteri(s, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            gl::SamplerParameteri(s, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        }
        p->samplers.push_back(s);
    }
    gl::UseProgram(static_cast<GLuint>(previous));
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

// The bits of the pass's 2D samplers that have no texture.
u32 UnsetSamplerBits(const GlEffectProgram& program, const std::vector<Effect::Param>& params)
{
    u32 bits = 0;
    for (size_t i = 0; i < params.size() && i < program.samplerBits.size(); ++i)
        if (!params[i].texture) bits |= program.samplerBits[i];
    return bits;
}

// The pass's program for these switches; the one that samples every
// sampler (the white texel for unset ones) when there is none made for them.
GlEffectVariant& VariantFor(GlEffectProgram& p, bool alphaTest, u32 unsetSamplers)
{
    if (GlEffectVariant* v = p.Find(alphaTest, unsetSamplers)) return *v;
    return *p.Find(alphaTest, 0);
}

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
        gl::EnableVertexAttribArray(loc);
        if (e.type <= DeclFloat4) {
            gl::VertexAttribPointer(loc, static_cast<GLint>(e.type - DeclFloat1 + 1), GL_FLOAT, GL_FALSE,
                                    static_cast<GLsizei>(stride), ptr);
        } else if (e.type == DeclColor) {
            gl::VertexAttribPointer(loc, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, static_cast<GLsizei>(stride), ptr);
        } else if (e.type == DeclUByte4) {
            gl::VertexAttribPointer(loc, 4, GL_UNSIGNED_BYTE, GL_FALSE, static_cast<GLsizei>(stride), ptr);
        }
        on[loc] = true;
    }
    const float defaults[9][4] = {{0, 0, 0, 1}, {0, 0, 0, 0}, {0, 0, 1, 0}, {1, 1, 1, 1}, {0, 0, 0, 0},
                                  {0, 0, 0, 1}, {0, 0, 0, 1}, {1, 0, 0, 1}, {0, 0, 0, 0}};
    for (GLuint loc = 0; loc < 9; ++loc) {
        if (on[loc] || loc == 7) continue;
        gl::DisableVertexAttribArray(loc);
        gl::VertexAttrib4f(loc, defaults[loc][0], defaults[loc][1], defaults[loc][2], defaults[loc][3]);
    }
}

void SendParams(GfxGLAccess& access, const GlEffectProgram& p, GlEffectVariant& v,
                const std::vector<Effect::Param>& params)
{
    for (size_t i = 0; i < params.size(); ++i) {
        const Effect::Param& prm = params[i];
        const GLint loc = v.locations[i];
        if (p.units[i] >= 0) {
            const GLuint unit = static_cast<GLuint>(p.units[i]);
            if (GfxBaseTexture* t = prm.texture.get()) {
                access.BindTextureToUnit(t, unit);
            } else {
                gl::ActiveTexture(GL_TEXTURE0 + unit);
                const bool white = prm.desc.type == EffectParamType::Sampler2D;
                gl::BindTexture(prm.desc.type == EffectParamType::SamplerCube ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D,
                                white ? p.white : 0);
            }
            gl::BindSampler(unit, p.samplers[i]);
            continue;
        }
        if (loc < 0 || v.sent[i] == prm.serial) continue;
        const GLsizei n = static_cast<GLsizei>(prm.desc.count);
        const GLfloat* f = reinterpret_cast<const GLfloat*>(prm.words.data());
        switch (prm.desc.type) {
        case EffectParamType::Float: gl::Uniform1fv(loc, n, f); break;
        case EffectParamType::Vec2: gl::Uniform2fv(loc, n, f); break;
        case EffectParamType::Vec3: gl::Uniform3fv(loc, n, f); break;
        case EffectParamType::Vec4: gl::Uniform4fv(loc, n, f); break;
        case EffectParamType::Int: gl::Uniform1iv(loc, n, reinterpret_cast<const GLint*>(prm.words.data())); break;
        case EffectParamType::Mat4: gl::UniformMatrix4fv(loc, n, GL_FALSE, f); break;
        default: break;
        }
        v.sent[i] = prm.serial;
    }
}

void ApplyStates(const GfxPipelineState& s, const GlEffectVariant& p)
{
    const u32* rs = s.renderStates;
    auto R = [&](GfxRenderState st) { return rs[static_cast<u32>(st)]; };
    const GfxViewport& v = s.viewport;
    gl::Viewport(static_cast<GLint>(v.x), static_cast<GLint>(v.y), static_cast<GLsizei>(v.width),
                 static_cast<GLsizei>(v.height));
    gl::DepthRange(v.minZ, v.maxZ);
    if (p.viewportLoc >= 0) {
        gl::Uniform4f(p.viewportLoc, static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.width),
                      static_cast<float>(v.height));
    }
    if (p.alphaTestLoc >= 0) {
        gl::Uniform4i(p.alphaTestLoc, R(GfxRenderState::AlphaTestEnable) != 0 ? 1 : 0,
                      static_cast<GLint>(R(GfxRenderState::AlphaFunc)),
                      static_cast<GLint>(R(GfxRenderState::AlphaRef) & 0xFF), 0);
    }
    SavedGlState::Set(GL_DEPTH_TEST, s.depthStencil && R(GfxRenderState::ZEnable) != 0);
    gl::DepthFunc(GlCompare(R(GfxRenderState::ZFunc)));
    gl::DepthMask(R(GfxRenderState::ZWriteEnable) != 0 ? GL_TRUE : GL_FALSE);
    gl::Disable(GL_STENCIL_TEST);
    gl::Disable(GL_SCISSOR_TEST);
    SavedGlState::Set(GL_BLEND, R(GfxRenderState::AlphaBlendEnable) != 0);
    gl::BlendFunc(GlBlend(R(GfxRenderState::SrcBlend)), GlBlend(R(GfxRenderState::DestBlend)));
    gl::BlendEquation(GlBlendOp(R(GfxRenderState::BlendOp)));
    // Same face rule as the device: clockwise on screen is GL's
    // counter-clockwise in our top-down targets.
    const u32 cull = R(GfxRenderState::CullMode);
    SavedGlState::Set(GL_CULL_FACE, cull == CullCW || cull == CullCCW);
    gl::CullFace(cull == CullCW ? GL_FRONT : GL_BACK);
    gl::PolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    const u32 cm = R(GfxRenderState::ColorWriteEnable) & 0xF;
    gl::ColorMask((cm & 1) != 0, (cm & 2) != 0, (cm & 4) != 0, (cm & 8) != 0);
}

// The device when it can take a draw now, with its GL side; the recording
// device and a lost device take none.
struct DrawDevice {
    GfxDeviceCommon* common = nullptr;
    GfxGLAccess* access = nullptr;
    explicit operator bool() const { return common && access; }
};

DrawDevice DrawableDevice(GfxDevice* device)
{
    if (!device || GetGfxBackend() != GfxBackend::OpenGL || !GlUsable()) return {};
    auto* d = dynamic_cast<GfxDeviceCommon*>(device);
    if (!d || !d->InScene() || d->TestCooperativeLevel() != GfxResult::Ok) return {};
    return {d, dynamic_cast<GfxGLAccess*>(device)};
}

// One effect draw: the GL state is saved, our framebuffer takes the device's
// targets and our vertex array is bound; everything is put back at the end.
class EffectDraw {
public:
    explicit EffectDraw(const DrawDevice& dev) : dev_(dev)
    {
        saved_.Save();
        BuryBuffers();
        g_objects.Make();
        ready_ = dev_.access->BindCurrentTargets();
        if (ready_) gl::BindVertexArray(g_objects.vao);
    }
    ~EffectDraw() { saved_.Restore(); }
    EffectDraw(const EffectDraw&) = delete;
    EffectDraw& operator=(const EffectDraw&) = delete;

    // false when the device's targets cannot be drawn into.
    bool Ready() const { return ready_; }

    // Everything but the draw call, once the vertices are bound.
    void Prepare(GlEffectProgram& program, const std::vector<VertexElement>& decl, u32 stride,
                 const std::vector<Effect::Param>& params)
    {
        const GfxPipelineState& state = dev_.common->State();
        const bool alphaTest = state.renderStates[static_cast<u32>(GfxRenderState::AlphaTestEnable)] != 0;
        GlEffectVariant& v = VariantFor(program, alphaTest, UnsetSamplerBits(program, params));
        gl::UseProgram(v.program);
        SetAttributes(decl, stride, 0);
        ApplyStates(state, v);
        SendParams(*dev_.access, program, v, params);
    }

private:
    DriverAllocations driver_;  // first made, last gone
    DrawDevice dev_;
    SavedGlState saved_;
    bool ready_ = false;
};

}  // namespace

Result Effect::DrawMeshSubset(BaseMesh* mesh, u32 attribId)
{
    if (!mesh || !activeProgram_) return ResultInvalidCall;
    const DrawDevice dev = DrawableDevice(device_);
    auto* program = dynamic_cast<GlEffectProgram*>(activeProgram_);
    if (!dev || !program) return ResultOk;
    MeshGpuCache* cache = mesh->gpu_;
    if (!cache) return ResultInvalidCall;
    cache->Refresh(*mesh);
    const MeshGpuCache::Range* range = cache->Find(attribId);
    if (!range || range->faceCount == 0) return ResultOk;

    EffectDraw draw(dev);
    if (!draw.Ready()) return ResultFail;
    if (cache->glRevision != mesh->Revision() || !cache->glVertexBuffer) {
        if (!cache->glVertexBuffer) gl::GenBuffers(1, &cache->glVertexBuffer);
        if (!cache->glIndexBuffer) gl::GenBuffers(1, &cache->glIndexBuffer);
        gl::BindBuffer(GL_ARRAY_BUFFER, cache->glVertexBuffer);
        gl::BufferData(GL_ARRAY_BUFFER,
                       static_cast<GLsizeiptr>(static_cast<size_t>(mesh->GetNumVertices()) * mesh->GetNumBytesPerVertex()),
                       mesh->VertexData(), GL_STATIC_DRAW);
        gl::BindBuffer(GL_ELEMENT_ARRAY_BUFFER, cache->glIndexBuffer);
        gl::BufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(cache->sortedIndices.size() * 2),
                       cache->sortedIndices.data(), GL_STATIC_DRAW);
        cache->glRevision = mesh->Revision();
    }
    gl::BindBuffer(GL_ARRAY_BUFFER, cache->glVertexBuffer);
    gl::BindBuffer(GL_ELEMENT_ARRAY_BUFFER, cache->glIndexBuffer);
    draw.Prepare(*program, mesh->GetDeclaration(), mesh->GetNumBytesPerVertex(), params_);
    gl::DrawElements(GL_TRIANGLES, static_cast<GLsizei>(range->faceCount * 3), GL_UNSIGNED_SHORT,
                     reinterpret_cast<const void*>(static_cast<uintptr_t>(range->startIndex) * 2));
    return ResultOk;
}

Result Effect::DrawPrimitiveUP(GfxPrimitive type, u32 primitiveCount, const void* vertices, u32 stride, u32 fvf)
{
    if (!vertices || !activeProgram_) return ResultInvalidCall;
    const std::vector<VertexElement> decl = DeclarationFromFvf(fvf);
    if (decl.empty() || stride < FvfVertexSize(fvf)) return ResultInvalidCall;
    const DrawDevice dev = DrawableDevice(device_);
    auto* program = dynamic_cast<GlEffectProgram*>(activeProgram_);
    if (!dev || !program) return ResultOk;
    const u32 count = GfxVertexCount(type, primitiveCount);
    if (count == 0) return ResultOk;

    EffectDraw draw(dev);
    if (!draw.Ready()) return ResultFail;
    gl::BindBuffer(GL_ARRAY_BUFFER, g_objects.streamVbo);
    gl::BufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(static_cast<size_t>(count) * stride), vertices,
                   GL_STREAM_DRAW);
    draw.Prepare(*program, decl, stride, params_);
    gl::DrawArrays(GlPrimitive(type), 0, static_cast<GLsizei>(count));
    return ResultOk;
}

}  // namespace plat
