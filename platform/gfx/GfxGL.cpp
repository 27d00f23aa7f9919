// The OpenGL 3.3 core backend. All drawing goes into our own framebuffer
// objects with rows top-down (row 0 at the top, as textures are stored), so
// render targets read back as textures without flipping; Present blits the
// back buffer into the window upside down to match GL's bottom-up window.
#include <SDL.h>
#include <malloc.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "platform/core/DriverAllocations.h"
#include "platform/gfx/GfxDeviceCommon.h"
#include "platform/gfx/GfxGLAccess.h"
#include "platform/gfx/GfxGLApi.h"
#include "platform/gfx/GfxGLShaders.h"
#include "platform/gfx/GfxPixel.h"
#include "platform/gfx/NativeWindow.h"
#include "platform/gfx/Window.h"

namespace plat {

GfxSystem* CreateGfxGLSystem();

namespace {

enum NativeKind : u32 { kTexture = 1, kBuffer = 2, kRenderbuffer = 3 };

struct GlFormat {
    GLenum internal = 0, format = 0, type = 0;
    bool alphaOne = false;   // X8R8G8B8 and R8G8B8 read alpha as 1
    bool redOnly = false;    // R32F reads as (r, 1, 1, 1)
};

GlFormat GlFormatOf(GfxFormat f) {
    switch (f) {
        case GfxFormat::A8R8G8B8: return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, false, false};
        case GfxFormat::X8R8G8B8: return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, true, false};
        case GfxFormat::R8G8B8: return {GL_RGBA8, GL_BGR, GL_UNSIGNED_BYTE, true, false};
        case GfxFormat::A16B16G16R16F: return {GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT, false, false};
        case GfxFormat::R32F: return {GL_R32F, GL_RED, GL_FLOAT, false, true};
        case GfxFormat::D24X8: return {GL_DEPTH_COMPONENT24, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, false, false};
        default: return {};
    }
}

GLenum GlStencilOp(u32 op) {
    switch (op) {
        case StencilZero: return GL_ZERO;
        case StencilReplace: return GL_REPLACE;
        case StencilIncrSat: return GL_INCR;
        case StencilDecrSat: return GL_DECR;
        case StencilInvert: return GL_INVERT;
        case StencilIncr: return GL_INCR_WRAP;
        case StencilDecr: return GL_DECR_WRAP;
        default: return GL_KEEP;
    }
}

GLenum GlAddress(u32 a) {
    switch (a) {
        case AddressMirror: return GL_MIRRORED_REPEAT;
        case AddressClamp: return GL_CLAMP_TO_EDGE;
        case AddressBorder: return GL_CLAMP_TO_BORDER;
        default: return GL_REPEAT;
    }
}

void ColorToFloats(u32 c, float out[4]) {
    out[0] = u8(c >> 16) / 255.0f;
    out[1] = u8(c >> 8) / 255.0f;
    out[2] = u8(c) / 255.0f;
    out[3] = u8(c >> 24) / 255.0f;
}

void CopyColor(const ColorF& c, float out[4]) {
    out[0] = c.r;
    out[1] = c.g;
    out[2] = c.b;
    out[3] = c.a;
}

// What a colour or depth attachment refers to.
struct Attachment {
    GLuint name = 0;
    GLenum target = 0;  // GL_TEXTURE_2D or a cube face; 0 for a depth renderbuffer
    GLint level = 0;
    bool operator==(const Attachment&) const = default;
};

// Matches no attachment: the next bind attaches afresh.
constexpr Attachment kUnknownAttachment{~0u, 0, -1};

// GL state as last set, so only changes reach the driver.
struct GlCache {
    bool valid = false;
    bool depthTest = false, depthMask = true, stencilTest = false, blend = false, cull = false;
    GLenum depthFunc = 0, cullFace = 0, blendSrc = 0, blendDst = 0, blendOp = 0, polygonMode = 0;
    GLenum stencilFunc = 0, stencilFail = 0, stencilZFail = 0, stencilPass = 0;
    GLint stencilRef = 0;
    GLuint stencilMask = 0, stencilWriteMask = 0;
    u32 colorMask = 0xF;
    GfxViewport viewport{~0u, ~0u, 0, 0, -1.0f, -1.0f};
    u32 sampler[kGfxStages][kGfxSamplerStateCount] = {};
    bool samplerValid[kGfxStages] = {};
};

u32 g_programsBuilt = 0;
bool g_generalProgramOnly = false;

// The switches of a draw with everything its branches never read cleared,
// so draws that run the same code share one program. The general program
// reading the raw switches gives the same result as the one built from these.
glsl::FixedFunctionSwitches ProgramKey(glsl::FixedFunctionSwitches k) {
    k.alphaTest[2] = 0;  // the reference stays in the block
    if (k.alphaTest[0] == 0 || k.alphaTest[1] < i32(CmpNever) || k.alphaTest[1] >= i32(CmpAlways))
        k.alphaTest[0] = k.alphaTest[1] = 0;
    if (k.vertex[0] != 0) {  // pre-transformed: no world, lighting or vertex fog
        k.vertex[1] = k.vertex[2] = 0;
        k.fog[1] = k.fog[3] = 0;
        k.misc[0] = k.misc[1] = k.misc[2] = 0;
    }
    if (k.vertex[2] == 0) {
        k.vertex[3] = 0;
        std::memset(k.materialSource, 0, sizeof k.materialSource);
        k.misc[0] = k.misc[1] = 0;
    } else {
        for (i32& m : k.materialSource)
            if ((m == 1 && k.vertex2[0] == 0) || (m == 2 && k.vertex2[1] == 0)) m = 0;
    }
    if (k.fog[0] == 0) k.fog[1] = k.fog[2] = k.fog[3] = 0;
    if (k.fog[2] != 0) k.fog[1] = k.fog[3] = 0;  // table fog replaces vertex fog
    else k.misc[2] = 0;                         // eye depth feeds table fog only
    if (k.fog[1] == 0) k.fog[3] = 0;
    bool disabled = false;
    for (u32 i = 0; i < kGfxStages; ++i) {
        i32* c = k.stageColor[i];
        i32* a = k.stageAlpha[i];
        if (disabled) c[0] = i32(TopDisable);
        if (c[0] == i32(TopDisable)) {  // this stage and all after it are skipped
            disabled = true;
            c[1] = c[2] = c[3] = 0;
            std::memset(a, 0, 4 * sizeof(i32));
            continue;
        }
        if (c[0] == i32(TopSelectArg1)) c[2] = 0;
        if (c[0] == i32(TopSelectArg2)) c[1] = 0;
        if (a[0] == i32(TopDisable) || a[0] == i32(TopSelectArg2)) a[1] = 0;
        if (a[0] == i32(TopDisable) || a[0] == i32(TopSelectArg1)) a[2] = 0;
        if (c[3] == 0) a[3] = 0;  // no texture, no coordinates
    }
    for (u32 i = 0; i < kGfxStages; ++i)
        if (k.stageColor[i][3] == 0) k.misc[3] &= ~(1 << i);  // nothing sampled, nothing to move
    return k;
}

class GfxGLDevice : public GfxDeviceCommon, public GfxGLAccess {
public:
    GfxGLDevice(const GfxPresentParams& params, const GfxCaps& caps, SDL_GLContext context, Window* window)
        : GfxDeviceCommon(params, caps), context_(context), window_(window) {}

    ~GfxGLDevice() override {
        SDL_GL_MakeCurrent(NativeOf(window_), context_);
        if (!loaded_) {
            SDL_GL_DeleteContext(context_);
            return;
        }
        ReleaseBindings();
        ReleaseEffectDrawObjects();
        if (backBuffer_) DropNative(backBuffer_);
        if (autoDepth_) DropNative(autoDepth_);
        BuryNow();
        for (const auto& [key, program] : programs_)
            if (program != program_) gl::DeleteProgram(program);
        if (program_) gl::DeleteProgram(program_);
        GLuint buffers[4] = {ubo_, streamVbo_, streamIbo_, pixelUbo_};
        gl::DeleteBuffers(4, buffers);
        gl::DeleteVertexArrays(1, &vao_);
        GLuint fbos[3] = {fbo_, copySrc_, copyDst_};
        gl::DeleteFramebuffers(3, fbos);
        gl::DeleteSamplers(kGfxStages, samplers_);
        SDL_GL_DeleteContext(context_);
    }

    bool Init(std::string* error) {
        const char* missing = nullptr;
        if (!gl::LoadFunctions(&missing)) {
            *error = std::string("missing ") + missing;
            return false;
        }
        loaded_ = true;
        if (!BuildProgram(error)) return false;
        gl::GenVertexArrays(1, &vao_);
        gl::BindVertexArray(vao_);
        GLuint buffers[4];
        gl::GenBuffers(4, buffers);
        ubo_ = buffers[0];
        streamVbo_ = buffers[1];
        streamIbo_ = buffers[2];
        pixelUbo_ = buffers[3];
        gl::BindBuffer(GL_UNIFORM_BUFFER, ubo_);
        gl::BufferData(GL_UNIFORM_BUFFER, sizeof(glsl::FixedFunctionBlock), nullptr, GL_DYNAMIC_DRAW);
        gl::BindBufferBase(GL_UNIFORM_BUFFER, 0, ubo_);
        gl::BindBuffer(GL_UNIFORM_BUFFER, pixelUbo_);
        gl::BufferData(GL_UNIFORM_BUFFER, sizeof(glsl::FixedFunctionPixelBlock), nullptr, GL_DYNAMIC_DRAW);
        gl::BindBufferBase(GL_UNIFORM_BUFFER, 1, pixelUbo_);
        GLuint fbos[3];
        gl::GenFramebuffers(3, fbos);
        fbo_ = fbos[0];
        copySrc_ = fbos[1];
        copyDst_ = fbos[2];
        gl::GenSamplers(kGfxStages, samplers_);
        for (u32 i = 0; i < kGfxStages; ++i) gl::BindSampler(i, samplers_[i]);
        gl::Enable(GL_PROGRAM_POINT_SIZE);
        gl::FrontFace(GL_CCW);
        gl::PixelStorei(GL_UNPACK_ALIGNMENT, 1);
        gl::PixelStorei(GL_PACK_ALIGNMENT, 1);
        MakeBackBuffers();
        SetDefaultStates();
        return true;
    }

protected:
    // ---- resources --------------------------------------------------------

    void DropNative(GfxResource* r) {
        if (r->native.name == 0) return;
        if (r->native.kind == kTexture) gl::DeleteTextures(1, &r->native.name);
        if (r->native.kind == kRenderbuffer) {
            GLuint n = r->native.name;
            gl::DeleteRenderbuffers(1, &n);
        }
        r->native = GfxNative();
    }

    void BuryNow() {
        for (const auto& g : home_->TakeGraves()) {
            GLuint n = g.name;
            if (g.kind == kTexture) {
                gl::DeleteTextures(1, &n);
            } else if (g.kind == kBuffer) {
                gl::DeleteBuffers(1, &n);
            } else if (g.kind == kRenderbuffer) {
                gl::DeleteRenderbuffers(1, &n);
            }
        }
        // A deleted texture may have been attached; attach afresh next draw.
        attachedColor_ = kUnknownAttachment;
        attachedDepth_ = kUnknownAttachment;
    }

    // Makes or refreshes the GL copy of a texture through texture unit
    // `unit` (by default one the draws never use); true when that left it
    // bound there.
    bool EnsureTexture(GfxBaseTexture* t, GLuint unit = kGfxStages) {
        const bool cube = t->Type() == GfxResourceType::CubeTexture;
        const GLenum target = cube ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
        const GlFormat f = GlFormatOf(t->Format());
        const bool fresh = t->native.name == 0;
        if (!fresh && (t->IsRenderTarget() || t->native.uploaded == t->Version())) return false;
        if (fresh) {
            gl::GenTextures(1, &t->native.name);
            t->native.kind = kTexture;
        }
        gl::ActiveTexture(GL_TEXTURE0 + unit);
        gl::BindTexture(target, t->native.name);
        if (fresh) {
            gl::TexParameteri(target, GL_TEXTURE_BASE_LEVEL, 0);
            gl::TexParameteri(target, GL_TEXTURE_MAX_LEVEL, GLint(t->GetLevelCount() - 1));
            if (f.alphaOne) gl::TexParameteri(target, GL_TEXTURE_SWIZZLE_A, GL_ONE);
            if (f.redOnly) {
                const GLint swz[4] = {GL_RED, GL_ONE, GL_ONE, GL_ONE};
                gl::TexParameteriv(target, GL_TEXTURE_SWIZZLE_RGBA, swz);
            }
        }
        for (u32 face = 0; face < t->Faces(); ++face) {
            const GLenum img = cube ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + face : GL_TEXTURE_2D;
            for (u32 l = 0; l < t->GetLevelCount(); ++l) {
                const std::vector<u8>& data = t->LevelData(face, l);
                const void* px = data.empty() ? nullptr : data.data();
                if (fresh)
                    gl::TexImage2D(img, GLint(l), GLint(f.internal), GLsizei(t->LevelWidth(l)),
                                   GLsizei(t->LevelHeight(l)), 0, f.format, f.type, px);
                else if (px)
                    gl::TexSubImage2D(img, GLint(l), 0, 0, GLsizei(t->LevelWidth(l)), GLsizei(t->LevelHeight(l)),
                                      f.format, f.type, px);
            }
        }
        t->native.uploaded = t->Version();
        return true;
    }

    // The colour attachment of a surface, making its storage if needed.
    Attachment ColorOf(GfxSurface* s) {
        Attachment a;
        if (GfxBaseTexture* t = s->Container()) {
            EnsureTexture(t);
            a.name = t->native.name;
            a.target = t->Type() == GfxResourceType::CubeTexture ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + s->Face()
                                                                  : GL_TEXTURE_2D;
            a.level = GLint(s->Level());
            return a;
        }
        if (s->native.name == 0) {
            const GlFormat f = GlFormatOf(s->Desc().format);
            gl::GenTextures(1, &s->native.name);
            s->native.kind = kTexture;
            gl::ActiveTexture(GL_TEXTURE0 + kGfxStages);
            gl::BindTexture(GL_TEXTURE_2D, s->native.name);
            gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
            gl::TexImage2D(GL_TEXTURE_2D, 0, GLint(f.internal), GLsizei(s->Desc().width), GLsizei(s->Desc().height),
                           0, f.format, f.type, nullptr);
        }
        a.name = s->native.name;
        a.target = GL_TEXTURE_2D;
        return a;
    }

    Attachment DepthOf(GfxSurface* s) {
        if (s == nullptr) return {};
        if (GfxBaseTexture* t = s->Container()) {
            EnsureTexture(t);
            return {t->native.name, GL_TEXTURE_2D, 0};
        }
        if (s->native.name == 0) {
            GLuint rb = 0;
            gl::GenRenderbuffers(1, &rb);
            gl::BindRenderbuffer(GL_RENDERBUFFER, rb);
            gl::RenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, GLsizei(s->Desc().width),
                                    GLsizei(s->Desc().height));
            s->native.name = rb;
            s->native.kind = kRenderbuffer;
        }
        return {s->native.name, 0, 0};
    }

    // ---- what effects borrow ----------------------------------------------

    void BindTextureToUnit(GfxBaseTexture* t, u32 unit) override {
        if (EnsureTexture(t, unit)) return;
        gl::ActiveTexture(GL_TEXTURE0 + unit);
        gl::BindTexture(t->Type() == GfxResourceType::CubeTexture ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D,
                        t->native.name);
    }

    bool BindCurrentTargets() override {
        if (state_.renderTarget == nullptr && state_.depthStencil == nullptr) return false;
        return BindTargets();
    }

    void EnsureBuffer(GfxResource* r, GLenum target, const u8* data, u32 size) {
        if (r->native.name == 0) {
            gl::GenBuffers(1, &r->native.name);
            r->native.kind = kBuffer;
            r->native.uploaded = 0;
        }
        gl::BindBuffer(target, r->native.name);
        if (r->native.uploaded != r->Version()) {
            gl::BufferData(target, size, data, GL_STATIC_DRAW);
            r->native.uploaded = r->Version();
        }
    }

    // ---- targets and state --------------------------------------------

    bool BindTargets() {
        gl::BindFramebuffer(GL_FRAMEBUFFER, fbo_);
        const Attachment color = state_.renderTarget ? ColorOf(state_.renderTarget) : Attachment{};
        const Attachment depth = DepthOf(state_.depthStencil);
        if (!(color == attachedColor_)) {
            // Without a colour target only depth is drawn: nothing is
            // shaded into colour, which halves what a shadow map costs.
            if (color.name == 0) {
                gl::FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
                gl::DrawBuffer(GL_NONE);
            } else {
                gl::FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, color.target, color.name,
                                         color.level);
                gl::DrawBuffer(GL_COLOR_ATTACHMENT0);
            }
            attachedColor_ = color;
            targetsChecked_ = false;
        }
        if (!(depth == attachedDepth_)) {
            // A depth texture has no stencil: whatever was attached goes first.
            gl::FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
            if (depth.target != 0)
                gl::FramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, depth.target, depth.name, 0);
            else
                gl::FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth.name);
            attachedDepth_ = depth;
            targetsChecked_ = false;
        }
        if (!targetsChecked_) {
            targetsComplete_ = gl::CheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
            targetsChecked_ = true;
        }
        return targetsComplete_;
    }

    void ApplyViewport() {
        const GfxViewport& v = state_.viewport;
        GfxViewport& c = cache_.viewport;
        if (v.x != c.x || v.y != c.y || v.width != c.width || v.height != c.height) {
            // Rows are top-down in our targets, so the viewport's y is used as is.
            gl::Viewport(GLint(v.x), GLint(v.y), GLsizei(v.width), GLsizei(v.height));
        }
        if (v.minZ != c.minZ || v.maxZ != c.maxZ) gl::DepthRange(v.minZ, v.maxZ);
        c = v;
    }

    static void Toggle(GLenum cap, bool on, bool& cached, bool force) {
        if (force || on != cached) {
            if (on) gl::Enable(cap);
            else gl::Disable(cap);
            cached = on;
        }
    }

    void ApplyRenderStates() {
        const u32* rs = state_.renderStates;
        auto R = [&](GfxRenderState s) { return rs[u32(s)]; };
        GlCache& c = cache_;
        const bool force = !c.valid;
        const bool hasDepth = state_.depthStencil != nullptr;

        Toggle(GL_DEPTH_TEST, hasDepth && R(GfxRenderState::ZEnable) != 0, c.depthTest, force);
        const GLenum df = GlCompare(R(GfxRenderState::ZFunc));
        if (force || df != c.depthFunc) gl::DepthFunc(c.depthFunc = df);
        const bool dm = R(GfxRenderState::ZWriteEnable) != 0;
        if (force || dm != c.depthMask) gl::DepthMask((c.depthMask = dm) ? GL_TRUE : GL_FALSE);

        Toggle(GL_STENCIL_TEST, hasDepth && R(GfxRenderState::StencilEnable) != 0, c.stencilTest, force);
        const GLenum sf = GlCompare(R(GfxRenderState::StencilFunc));
        const GLint sref = GLint(R(GfxRenderState::StencilRef) & 0xFF);
        const GLuint smask = R(GfxRenderState::StencilMask);
        if (force || sf != c.stencilFunc || sref != c.stencilRef || smask != c.stencilMask)
            gl::StencilFunc(c.stencilFunc = sf, c.stencilRef = sref, c.stencilMask = smask);
        const GLenum so1 = GlStencilOp(R(GfxRenderState::StencilFail));
        const GLenum so2 = GlStencilOp(R(GfxRenderState::StencilZFail));
        const GLenum so3 = GlStencilOp(R(GfxRenderState::StencilPass));
        if (force || so1 != c.stencilFail || so2 != c.stencilZFail || so3 != c.stencilPass)
            gl::StencilOp(c.stencilFail = so1, c.stencilZFail = so2, c.stencilPass = so3);
        const GLuint swm = R(GfxRenderState::StencilWriteMask);
        if (force || swm != c.stencilWriteMask) gl::StencilMask(c.stencilWriteMask = swm);

        Toggle(GL_BLEND, R(GfxRenderState::AlphaBlendEnable) != 0, c.blend, force);
        const GLenum bs = GlBlend(R(GfxRenderState::SrcBlend)), bd = GlBlend(R(GfxRenderState::DestBlend));
        if (force || bs != c.blendSrc || bd != c.blendDst) gl::BlendFunc(c.blendSrc = bs, c.blendDst = bd);
        const GLenum bo = GlBlendOp(R(GfxRenderState::BlendOp));
        if (force || bo != c.blendOp) gl::BlendEquation(c.blendOp = bo);

        // Front faces are clockwise on screen; with our top-down rows that is
        // GL's counter-clockwise, so culling Direct3D 9's counter-clockwise
        // faces culls GL's back faces.
        const u32 cull = R(GfxRenderState::CullMode);
        Toggle(GL_CULL_FACE, cull == CullCW || cull == CullCCW, c.cull, force);
        const GLenum face = cull == CullCW ? GL_FRONT : GL_BACK;
        if (force || face != c.cullFace) gl::CullFace(c.cullFace = face);

        const u32 fill = R(GfxRenderState::FillMode);
        const GLenum pm = fill == FillPoint ? GL_POINT : fill == FillWireframe ? GL_LINE : GL_FILL;
        if (force || pm != c.polygonMode) gl::PolygonMode(GL_FRONT_AND_BACK, c.polygonMode = pm);

        const u32 cm = R(GfxRenderState::ColorWriteEnable) & 0xF;
        if (force || cm != c.colorMask) {
            gl::ColorMask((cm & 1) != 0, (cm & 2) != 0, (cm & 4) != 0, (cm & 8) != 0);
            c.colorMask = cm;
        }
        c.valid = true;
    }

    void ApplySampler(u32 stage) {
        const u32* s = state_.samplerStates[stage];
        u32* c = cache_.sampler[stage];
        if (cache_.samplerValid[stage] && std::equal(s, s + kGfxSamplerStateCount, c)) return;
        const GLuint smp = samplers_[stage];
        gl::SamplerParameteri(smp, GL_TEXTURE_WRAP_S, GLint(GlAddress(s[u32(GfxSamplerState::AddressU)])));
        gl::SamplerParameteri(smp, GL_TEXTURE_WRAP_T, GLint(GlAddress(s[u32(GfxSamplerState::AddressV)])));
        gl::SamplerParameteri(smp, GL_TEXTURE_WRAP_R, GLint(GlAddress(s[u32(GfxSamplerState::AddressW)])));
        float border[4];
        ColorToFloats(s[u32(GfxSamplerState::BorderColor)], border);
        gl::SamplerParameterfv(smp, GL_TEXTURE_BORDER_COLOR, border);
        const bool magLinear = s[u32(GfxSamplerState::MagFilter)] >= FilterLinear;
        gl::SamplerParameteri(smp, GL_TEXTURE_MAG_FILTER, magLinear ? GL_LINEAR : GL_NEAREST);
        const bool minLinear = s[u32(GfxSamplerState::MinFilter)] >= FilterLinear;
        const u32 mip = s[u32(GfxSamplerState::MipFilter)];
        GLint min = minLinear ? GL_LINEAR : GL_NEAREST;
        if (mip == FilterPoint) min = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
        if (mip >= FilterLinear) min = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
        gl::SamplerParameteri(smp, GL_TEXTURE_MIN_FILTER, min);
        gl::SamplerParameterf(smp, GL_TEXTURE_LOD_BIAS, GfxBitsFloat(s[u32(GfxSamplerState::MipMapLodBias)]));
        std::copy(s, s + kGfxSamplerStateCount, c);
        cache_.samplerValid[stage] = true;
    }

    // Binds stage textures; returns per stage whether a 2D texture is there.
    void BindTextures(bool has[kGfxStages]) {
        for (u32 i = 0; i < kGfxStages; ++i) {
            GfxBaseTexture* t = state_.textures[i];
            has[i] = false;
            GLuint name = 0;
            // Cube textures are for effects; a texture being drawn into cannot be read.
            if (t != nullptr && t->Type() == GfxResourceType::Texture &&
                !(state_.renderTarget && state_.renderTarget->Container() == t) &&
                !(state_.depthStencil && state_.depthStencil->Container() == t)) {
                EnsureTexture(t);
                name = t->native.name;
                has[i] = true;
            }
            // Bound every draw: the effect layer uses the same units.
            gl::ActiveTexture(GL_TEXTURE0 + i);
            gl::BindTexture(GL_TEXTURE_2D, name);
            gl::BindSampler(i, samplers_[i]);
            ApplySampler(i);
        }
    }

    void FillBlock(const GfxDrawCall& call, const bool has[kGfxStages], glsl::FixedFunctionBlock& b) {
        std::memset(&b, 0, sizeof b);
        const GfxPipelineState& s = state_;
        const u32* rs = s.renderStates;
        auto R = [&](GfxRenderState st) { return rs[u32(st)]; };
        for (int i = 0; i < 4; ++i) std::memcpy(b.world[i], s.world[i].m, 64);
        std::memcpy(b.view, s.view.m, 64);
        std::memcpy(b.projection, s.projection.m, 64);
        for (u32 i = 0; i < kGfxStages; ++i)
            if (s.stageStates[i][u32(GfxStageState::TextureTransformFlags)] != TtfDisable)
                std::memcpy(b.texture[i], s.texture[i].m, 64);
        CopyColor(s.material.diffuse, b.matDiffuse);
        CopyColor(s.material.ambient, b.matAmbient);
        CopyColor(s.material.specular, b.matSpecular);
        CopyColor(s.material.emissive, b.matEmissive);
        b.matPower[0] = s.material.power;
        ColorToFloats(R(GfxRenderState::Ambient), b.globalAmbient);
        u32 lights = 0;
        for (u32 i = 0; i < 8 && lights < 4; ++i) {
            if (!s.lightOn[i] || s.lights[i].type != GfxLightType::Directional) continue;
            const GfxLight& l = s.lights[i];
            b.lightDir[lights][0] = l.direction.x;
            b.lightDir[lights][1] = l.direction.y;
            b.lightDir[lights][2] = l.direction.z;
            CopyColor(l.diffuse, b.lightDiffuse[lights]);
            CopyColor(l.specular, b.lightSpecular[lights]);
            CopyColor(l.ambient, b.lightAmbient[lights]);
            ++lights;
        }
        ColorToFloats(R(GfxRenderState::FogColor), b.fogColor);
        b.fogParams[0] = GfxBitsFloat(R(GfxRenderState::FogStart));
        b.fogParams[1] = GfxBitsFloat(R(GfxRenderState::FogEnd));
        b.fogParams[2] = GfxBitsFloat(R(GfxRenderState::FogDensity));
        b.fogParams[3] = std::max(1.0f, GfxBitsFloat(R(GfxRenderState::PointSize)));
        ColorToFloats(R(GfxRenderState::TextureFactor), b.textureFactor);
        b.viewport[0] = float(s.viewport.x);
        b.viewport[1] = float(s.viewport.y);
        b.viewport[2] = float(s.viewport.width);
        b.viewport[3] = float(s.viewport.height);

        const GfxVertexLayout& l = call.layout;
        glsl::FixedFunctionSwitches& w = b.switches;
        w.vertex[0] = l.pretransformed ? 1 : 0;
        const u32 blend = R(GfxRenderState::VertexBlend);
        w.vertex[1] = blend <= 3 ? i32(blend) : 0;
        w.vertex[2] = (!l.pretransformed && R(GfxRenderState::Lighting) != 0) ? 1 : 0;
        w.vertex[3] = i32(lights);
        w.vertex2[0] = l.diffuse >= 0;
        w.vertex2[1] = l.specular >= 0;
        w.vertex2[2] = l.psize >= 0;
        w.vertex2[3] = R(GfxRenderState::SpecularEnable) != 0;
        w.fog[0] = R(GfxRenderState::FogEnable) != 0;
        w.fog[1] = i32(R(GfxRenderState::FogVertexMode) & 3);
        w.fog[2] = i32(R(GfxRenderState::FogTableMode) & 3);
        w.fog[3] = R(GfxRenderState::RangeFogEnable) != 0;
        if (R(GfxRenderState::ColorVertex) != 0) {
            w.materialSource[0] = i32(R(GfxRenderState::DiffuseMaterialSource) % 3);
            w.materialSource[1] = i32(R(GfxRenderState::SpecularMaterialSource) % 3);
            w.materialSource[2] = i32(R(GfxRenderState::AmbientMaterialSource) % 3);
            w.materialSource[3] = i32(R(GfxRenderState::EmissiveMaterialSource) % 3);
        }
        for (u32 i = 0; i < kGfxStages; ++i) {
            const u32* t = s.stageStates[i];
            w.stageColor[i][0] = i32(t[u32(GfxStageState::ColorOp)]);
            w.stageColor[i][1] = i32(t[u32(GfxStageState::ColorArg1)]);
            w.stageColor[i][2] = i32(t[u32(GfxStageState::ColorArg2)]);
            w.stageColor[i][3] = has[i] ? 1 : 0;
            w.stageAlpha[i][0] = i32(t[u32(GfxStageState::AlphaOp)]);
            w.stageAlpha[i][1] = i32(t[u32(GfxStageState::AlphaArg1)]);
            w.stageAlpha[i][2] = i32(t[u32(GfxStageState::AlphaArg2)]);
            w.stageAlpha[i][3] = (t[u32(GfxStageState::TexCoordIndex)] & 0xFFFF) == 0 ? 0 : 1;
        }
        w.alphaTest[0] = R(GfxRenderState::AlphaTestEnable) != 0;
        w.alphaTest[1] = i32(R(GfxRenderState::AlphaFunc));
        w.alphaTest[2] = i32(R(GfxRenderState::AlphaRef) & 0xFF);
        w.misc[0] = R(GfxRenderState::NormalizeNormals) != 0;
        w.misc[1] = R(GfxRenderState::LocalViewer) != 0;
        // An orthographic projection has no eye depth in w: fog by depth then.
        w.misc[2] = (s.projection.m[2][3] == 0.0f && s.projection.m[3][3] == 1.0f) ? 1 : 0;
        for (u32 i = 0; i < kGfxStages; ++i)
            if (s.stageStates[i][u32(GfxStageState::TextureTransformFlags)] != TtfDisable) w.misc[3] |= 1 << i;
    }

    void SetAttributes(const GfxVertexLayout& l, u32 stride, uintptr_t base) {
        auto ptr = [&](i32 off) { return reinterpret_cast<const void*>(base + uintptr_t(off)); };
        auto on = [&](GLuint loc, GLint size, GLenum type, bool norm, i32 off) {
            gl::EnableVertexAttribArray(loc);
            gl::VertexAttribPointer(loc, size, type, norm ? GL_TRUE : GL_FALSE, GLsizei(stride), ptr(off));
        };
        auto off = [&](GLuint loc, float x, float y, float z, float w) {
            gl::DisableVertexAttribArray(loc);
            gl::VertexAttrib4f(loc, x, y, z, w);
        };
        on(0, GLint(l.positionFloats), GL_FLOAT, false, 0);
        const u32 weights = l.weights - (l.lastBetaUByte4 ? 1 : 0);
        if (weights > 0) on(1, GLint(std::min(weights, 4u)), GL_FLOAT, false, i32(l.positionFloats * 4));
        else off(1, 0, 0, 0, 0);
        if (l.normal >= 0) on(2, 3, GL_FLOAT, false, l.normal);
        else off(2, 0, 0, 0, 1);
        if (l.diffuse >= 0) on(3, GL_BGRA, GL_UNSIGNED_BYTE, true, l.diffuse);
        else off(3, 1, 1, 1, 1);
        if (l.specular >= 0) on(4, GL_BGRA, GL_UNSIGNED_BYTE, true, l.specular);
        else off(4, 0, 0, 0, 0);
        if (l.texCount > 0) on(5, GLint(l.texSize[0]), GL_FLOAT, false, l.texOffset[0]);
        else off(5, 0, 0, 0, 1);
        if (l.texCount > 1) on(6, GLint(l.texSize[1]), GL_FLOAT, false, l.texOffset[1]);
        else off(6, 0, 0, 0, 1);
        if (l.psize >= 0) on(7, 1, GL_FLOAT, false, l.psize);
        else off(7, 1, 0, 0, 1);
    }

    void DoDraw(const GfxDrawCall& call) override {
        // The driver compiles and keeps shader variants on first draws.
        DriverAllocations driver;
        if (!BindTargets()) return;
        ApplyViewport();
        ApplyRenderStates();
        bool has[kGfxStages];
        BindTextures(has);
        glsl::FixedFunctionBlock block;
        FillBlock(call, has, block);
        UseProgramFor(block.switches);
        if (!blockValid_ || std::memcmp(&block, &lastBlock_, sizeof block) != 0) {
            gl::BindBuffer(GL_UNIFORM_BUFFER, ubo_);
            gl::BufferSubData(GL_UNIFORM_BUFFER, 0, sizeof block, &block);
            lastBlock_ = block;
            blockValid_ = true;
            glsl::FixedFunctionPixelBlock pixel;
            glsl::FillPixelBlock(block, pixel);
            if (!pixelBlockValid_ || std::memcmp(&pixel, &lastPixelBlock_, sizeof pixel) != 0) {
                gl::BindBuffer(GL_UNIFORM_BUFFER, pixelUbo_);
                gl::BufferSubData(GL_UNIFORM_BUFFER, 0, sizeof pixel, &pixel);
                lastPixelBlock_ = pixel;
                pixelBlockValid_ = true;
            }
        }
        const GLenum mode = GlPrimitive(call.type);
        const GLenum indexType = call.indexFormat == GfxFormat::Index32 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
        const u32 indexSize = GfxFormatBytes(call.indexFormat);
        if (call.userVertices != nullptr) {
            // Only the vertices the draw uses travel to the driver.
            const u32 first = call.indexed ? 0 : call.firstVertex;
            const u32 count = call.indexed ? call.minIndex + call.numVertices : call.vertexCount;
            gl::BindBuffer(GL_ARRAY_BUFFER, streamVbo_);
            gl::BufferData(GL_ARRAY_BUFFER, GLsizeiptr(u64(count) * call.stride),
                           call.userVertices + size_t(first) * call.stride, GL_STREAM_DRAW);
            SetAttributes(call.layout, call.stride, 0);
            if (call.indexed) {
                gl::BindBuffer(GL_ELEMENT_ARRAY_BUFFER, streamIbo_);
                gl::BufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(u64(call.vertexCount) * indexSize),
                               call.userIndices, GL_STREAM_DRAW);
                gl::DrawElementsBaseVertex(mode, GLsizei(call.vertexCount), indexType, nullptr, 0);
            } else {
                gl::DrawArrays(mode, 0, GLsizei(call.vertexCount));
            }
            return;
        }
        EnsureBuffer(call.buffer, GL_ARRAY_BUFFER, call.buffer->Data(), call.buffer->Size());
        SetAttributes(call.layout, call.stride, call.vertexOffset);
        if (call.indexed) {
            EnsureBuffer(call.indexBuffer, GL_ELEMENT_ARRAY_BUFFER, call.indexBuffer->Data(),
                         call.indexBuffer->Size());
            gl::DrawElementsBaseVertex(mode, GLsizei(call.vertexCount), indexType,
                                       reinterpret_cast<const void*>(uintptr_t(call.startIndex) * indexSize),
                                       call.baseVertex);
        } else {
            gl::DrawArrays(mode, GLint(call.firstVertex), GLsizei(call.vertexCount));
        }
    }

    // Clears ignore the write masks, as in Direct3D 9.
    void OpenMasks() {
        gl::ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        gl::DepthMask(GL_TRUE);
        gl::StencilMask(0xFF);
        cache_.valid = false;
    }

    void DoClear(u32 flags, u32 color, float z, u32 stencil) override {
        if (!BindTargets()) return;
        ApplyViewport();
        OpenMasks();
        const GfxViewport& v = state_.viewport;
        gl::Enable(GL_SCISSOR_TEST);
        gl::Scissor(GLint(v.x), GLint(v.y), GLsizei(v.width), GLsizei(v.height));
        GLbitfield bits = 0;
        if (flags & ClearTarget) {
            float c[4];
            ColorToFloats(color, c);
            gl::ClearColor(c[0], c[1], c[2], c[3]);
            bits |= GL_COLOR_BUFFER_BIT;
        }
        if (flags & ClearZBuffer) {
            gl::ClearDepth(z);
            bits |= GL_DEPTH_BUFFER_BIT;
        }
        if (flags & ClearStencil) {
            gl::ClearStencil(GLint(stencil & 0xFF));
            bits |= GL_STENCIL_BUFFER_BIT;
        }
        gl::Clear(bits);
        gl::Disable(GL_SCISSOR_TEST);
    }

    void BlitBackBufferTo(SDL_Window* w) {
        int dw = 0, dh = 0;
        SDL_GL_GetDrawableSize(w, &dw, &dh);
        gl::BindFramebuffer(GL_READ_FRAMEBUFFER, copySrc_);
        const Attachment a = ColorOf(backBuffer_);
        gl::FramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, a.target, a.name, a.level);
        gl::BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        gl::DrawBuffer(GL_BACK);
        // Our rows run top-down, the window's bottom-up: flip while copying.
        // Filtering only matters when the window's size differs (and costs a
        // software renderer dearly when it does not).
        const bool sameSize = dw == GLint(params_.backBufferWidth) && dh == GLint(params_.backBufferHeight);
        gl::BlitFramebuffer(0, 0, GLint(params_.backBufferWidth), GLint(params_.backBufferHeight), 0, dh, dw, 0,
                            GL_COLOR_BUFFER_BIT, sameSize ? GL_NEAREST : GL_LINEAR);
        SDL_GL_SwapWindow(w);
        gl::BindFramebuffer(GL_FRAMEBUFFER, fbo_);
    }

    GfxResult DoPresent(Window* dest) override {
        DriverAllocations driver;
        if (dest != nullptr && dest != window_ && NativeOf(dest) != nullptr) {
            if (SDL_GL_MakeCurrent(NativeOf(dest), context_) == 0) {
                BlitBackBufferTo(NativeOf(dest));
                SDL_GL_MakeCurrent(NativeOf(window_), context_);
            }
        } else {
            BlitBackBufferTo(NativeOf(window_));
        }
        BuryNow();
        return GfxResult::Ok;
    }

    void AttachCopy(GLenum target, GLuint fbo, GfxSurface* s) {
        const Attachment a = ColorOf(s);
        gl::BindFramebuffer(target, fbo);
        gl::FramebufferTexture2D(target, GL_COLOR_ATTACHMENT0, a.target, a.name, a.level);
    }

    void DoStretchRect(GfxSurface* src, const GfxRect& s, GfxSurface* dst, const GfxRect& d,
                       GfxFilter filter) override {
        AttachCopy(GL_READ_FRAMEBUFFER, copySrc_, src);
        AttachCopy(GL_DRAW_FRAMEBUFFER, copyDst_, dst);
        gl::BlitFramebuffer(s.left, s.top, s.right, s.bottom, d.left, d.top, d.right, d.bottom, GL_COLOR_BUFFER_BIT,
                            filter >= FilterLinear ? GL_LINEAR : GL_NEAREST);
        gl::BindFramebuffer(GL_FRAMEBUFFER, fbo_);
    }

    void DoColorFill(GfxSurface* surface, const GfxRect& r, u32 color) override {
        DriverAllocations driver;  // as a draw: the driver may build a clear program
        AttachCopy(GL_FRAMEBUFFER, copyDst_, surface);
        OpenMasks();
        gl::Enable(GL_SCISSOR_TEST);
        gl::Scissor(r.left, r.top, r.Width(), r.Height());
        float c[4];
        ColorToFloats(color, c);
        gl::ClearColor(c[0], c[1], c[2], c[3]);
        gl::Clear(GL_COLOR_BUFFER_BIT);
        gl::Disable(GL_SCISSOR_TEST);
        gl::BindFramebuffer(GL_FRAMEBUFFER, fbo_);
    }

    void DoReadPixels(GfxSurface* surface, const GfxRect& r, std::vector<u32>* out) override {
        AttachCopy(GL_READ_FRAMEBUFFER, copySrc_, surface);
        gl::ReadBuffer(GL_COLOR_ATTACHMENT0);
        const GfxFormat f = surface->Desc().format;
        const size_t n = size_t(r.Width()) * r.Height();
        if (f == GfxFormat::A8R8G8B8 || f == GfxFormat::X8R8G8B8 || f == GfxFormat::R8G8B8) {
            gl::ReadPixels(r.left, r.top, r.Width(), r.Height(), GL_BGRA, GL_UNSIGNED_BYTE, out->data());
            if (f != GfxFormat::A8R8G8B8)
                for (u32& p : *out) p |= 0xFF000000u;
        } else {
            std::vector<float> px(n * 4);
            gl::ReadPixels(r.left, r.top, r.Width(), r.Height(), GL_RGBA, GL_FLOAT, px.data());
            for (size_t i = 0; i < n; ++i) {
                float rgba[4] = {px[i * 4], px[i * 4 + 1], px[i * 4 + 2], px[i * 4 + 3]};
                if (f == GfxFormat::R32F) rgba[1] = rgba[2] = rgba[3] = 1.0f;
                u8 bgra[4];
                Float4ToPixel(GfxFormat::A8R8G8B8, rgba, bgra);
                (*out)[i] = PixelToArgb(GfxFormat::A8R8G8B8, bgra);
            }
        }
        gl::BindFramebuffer(GL_FRAMEBUFFER, fbo_);
    }

    void OnBackBufferMade() override { attachedColor_ = kUnknownAttachment; }

private:
    // Texture units and the uniform block of a freshly linked program; leaves it in use.
    void SetUpProgram(GLuint program) {
        gl::UseProgram(program);
        current_ = program;
        const GLuint block = gl::GetUniformBlockIndex(program, "FixedFunction");
        if (block != GL_INVALID_INDEX) gl::UniformBlockBinding(program, block, 0);
        const GLuint pixel = gl::GetUniformBlockIndex(program, "FixedFunctionPixel");
        if (pixel != GL_INVALID_INDEX) gl::UniformBlockBinding(program, pixel, 1);
        gl::Uniform1i(gl::GetUniformLocation(program, "uTex0"), 0);
        gl::Uniform1i(gl::GetUniformLocation(program, "uTex1"), 1);
    }

    static GLuint LinkFixedFunction(const char* switches, const char* pixelSwitches, std::string* error) {
        const char* vertex[5] = {"#version 330 core\n", glsl::kBlock, switches, glsl::kFogFactor, glsl::kVertex};
        const char* fragment[5] = {"#version 330 core\n", glsl::kPixelBlock, pixelSwitches, glsl::kFogFactor,
                                   glsl::kFragment};
        return GlBuildProgram(vertex, 5, fragment, 5, nullptr, error);
    }

    // The general program, reading every switch from the block: what draws
    // use when a combination's own program cannot be had.
    bool BuildProgram(std::string* error) {
        program_ = LinkFixedFunction(glsl::kBlockSwitches, glsl::kPixelBlockSwitches, error);
        if (!program_) return false;
        SetUpProgram(program_);
        return true;
    }

    // Each combination of switches gets its own program, made on its first
    // draw: the software rasterizer runs every branch for every pixel, and a
    // discard anywhere in the program costs early depth testing.
    void UseProgramFor(const glsl::FixedFunctionSwitches& switches) {
        GLuint wanted = program_;
        if (!g_generalProgramOnly) {
            const glsl::FixedFunctionSwitches key = ProgramKey(switches);
            if (!keyValid_ || std::memcmp(&key, &lastKey_, sizeof key) != 0) {
                lastKey_ = key;
                keyValid_ = true;
                keyProgram_ = ProgramOf(key);
            }
            wanted = keyProgram_;
        }
        if (wanted != current_) {
            gl::UseProgram(wanted);
            current_ = wanted;
        }
    }

    GLuint ProgramOf(const glsl::FixedFunctionSwitches& key) {
        ProgramKeyBytes bytes;
        std::memcpy(bytes.data(), &key, sizeof key);
        const auto found = programs_.find(bytes);
        if (found != programs_.end()) return found->second;
        // A frame never needs this many; past it the general program serves.
        if (programs_.size() >= kMaxPrograms) return program_;
        std::string error;
        const std::string constants = glsl::SwitchConstants(key);
        GLuint program = LinkFixedFunction(constants.c_str(), constants.c_str(), &error);
        if (program) {
            SetUpProgram(program);
            ++g_programsBuilt;
        } else {
            std::fprintf(stderr, "OpenGL device: fixed-function program: %s\n", error.c_str());
            program = program_;  // remembered, so the failure is not retried every draw
        }
        programs_.emplace(bytes, program);
        return program;
    }

    SDL_GLContext context_;
    Window* window_;
    bool loaded_ = false;
    GLuint program_ = 0, vao_ = 0, ubo_ = 0, pixelUbo_ = 0, streamVbo_ = 0, streamIbo_ = 0;
    GLuint fbo_ = 0, copySrc_ = 0, copyDst_ = 0;
    GLuint samplers_[kGfxStages] = {};
    Attachment attachedColor_ = kUnknownAttachment;
    Attachment attachedDepth_ = kUnknownAttachment;
    bool targetsChecked_ = false, targetsComplete_ = false;
    GlCache cache_;
    glsl::FixedFunctionBlock lastBlock_;
    bool blockValid_ = false;
    glsl::FixedFunctionPixelBlock lastPixelBlock_;
    bool pixelBlockValid_ = false;
    static constexpr size_t kMaxPrograms = 256;
    using ProgramKeyBytes = std::array<i32, sizeof(glsl::FixedFunctionSwitches) / sizeof(i32)>;
    std::map<ProgramKeyBytes, GLuint> programs_;
    GLuint current_ = 0, keyProgram_ = 0;
    glsl::FixedFunctionSwitches lastKey_{};
    bool keyValid_ = false;
};

// A software driver allocates and frees its per-frame working memory (tens
// of megabytes of draw records) every frame. Returning it to the system at
// each free and faulting it back in at the next frame cost a core several
// milliseconds a frame; keeping it in the process costs nothing.
void KeepFreedMemory()
{
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    mallopt(M_TOP_PAD, 16 << 20);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
}

class GfxGLSystem : public GfxSystem {
public:
    GfxGLSystem() {
        DriverAllocations driver;
        started_ = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    }
    ~GfxGLSystem() override {
        if (started_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    bool Started() const { return started_; }

    GfxResult GetDisplayMode(GfxDisplayMode* out) override {
        if (out == nullptr) return GfxResult::InvalidCall;
        SDL_DisplayMode mode;
        if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return GfxResult::NotAvailable;
        *out = GfxDisplayMode{u32(mode.w), u32(mode.h), u32(mode.refresh_rate), GfxFormat::X8R8G8B8};
        return GfxResult::Ok;
    }

    GfxResult CreateDevice(GfxDeviceType type, Window* focus, u32 behavior, GfxPresentParams* params,
                           GfxDevice** out) override {
        if (out == nullptr || params == nullptr) return GfxResult::InvalidCall;
        *out = nullptr;
        Window* window = params->deviceWindow ? params->deviceWindow : focus;
        if (window == nullptr || NativeOf(window) == nullptr) return GfxResult::NotAvailable;
        DriverAllocations driver;
        KeepFreedMemory();
        // The three requests of the start-up: a hardware context, then any
        // context, then explicitly a software one.
        SDL_GL_ResetAttributes();
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
        SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
        if (type == GfxDeviceType::Ref) SDL_GL_SetAttribute(SDL_GL_ACCELERATED_VISUAL, 0);
        else if (behavior & GfxBehaviorHardwareVertexProcessing) SDL_GL_SetAttribute(SDL_GL_ACCELERATED_VISUAL, 1);
        SDL_GLContext ctx = SDL_GL_CreateContext(NativeOf(window));
        if (ctx == nullptr) return GfxResult::NotAvailable;
        if (SDL_GL_MakeCurrent(NativeOf(window), ctx) != 0) {
            SDL_GL_DeleteContext(ctx);
            return GfxResult::NotAvailable;
        }
        SDL_GL_SetSwapInterval(params->presentImmediately ? 0 : 1);
        // Full screen keeps the desktop's mode; Present scales the back buffer to it.
        if (!params->windowed) SDL_SetWindowFullscreen(NativeOf(window), SDL_WINDOW_FULLSCREEN_DESKTOP);
        GfxCaps caps;
        caps.maxVertexBlendMatrices = 4;
        caps.vertexShaderVersion = GfxVertexShaderVersion(3, 0);
        caps.pixelShaderVersion = GfxPixelShaderVersion(3, 0);
        caps.maxTextureWidth = caps.maxTextureHeight = GfxDeviceCommon::kMaxTextureSize;
        GfxPresentParams p = *params;
        p.deviceWindow = window;
        auto* device = new GfxGLDevice(p, caps, ctx, window);
        std::string error;
        if (!device->Init(&error)) {
            std::fprintf(stderr, "OpenGL device: %s\n", error.c_str());
            device->Release();
            return GfxResult::NotAvailable;
        }
        *params = device->GetPresentParams();
        *out = device;
        return GfxResult::Ok;
    }

private:
    bool started_ = false;
};

}  // namespace

u32 GfxGLProgramsBuilt() { return g_programsBuilt; }

void GfxGLUseGeneralProgram(bool on) { g_generalProgramOnly = on; }

GfxSystem* CreateGfxGLSystem() {
    auto* s = new GfxGLSystem();
    if (!s->Started()) {
        s->Release();
        return nullptr;
    }
    return s;
}

}  // namespace plat
