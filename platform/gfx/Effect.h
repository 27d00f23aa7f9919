#pragma once
// Effects: our own small file format holding GLSL code, named parameters and
// named techniques of one or more passes. The engine's effect wrappers look
// techniques and parameters up by name once, set values between Begin and
// End, and draw meshes while a pass is active.
//
// File format (UTF-8 text; "//" starts a comment outside GLSL blocks):
//
//   param <type> <Name>[<count>] [= <numbers>] [<sampler options>];
//       types: float vec2 vec3 vec4 int mat4 sampler2D samplerCube
//       sampler options: wrap | clamp, linear | point
//   glsl {{ ...GLSL shared by every stage of every pass... }}
//   technique <Name> {
//       pass <Name> {
//           vertex <function>;      fragment <function>;
//           state <RenderStateName> = <number>;   (applied for the pass)
//       }
//   }
//
// Each stage is compiled from the parameters (as uniforms of the same names),
// every glsl block in file order, and a main() calling the pass's function.
// Stages see VERTEX or FRAGMENT defined; "VARYING" declares a value passed
// from the vertex to the fragment stage. The vertex stage reads aPosition,
// aBlendWeight, aBlendIndices (a colour: D3DCOLORtoUBYTE4 recovers the four
// indices), aNormal, aColor, aSpecular, aTexCoord0 and aTexCoord1, and writes
// gl_Position through ToTarget(clip) so depth, row order and pixel centres
// match the fixed pipeline (FromPixels(aPosition) for pre-transformed
// vertices). The fragment stage writes oColor; the device's alpha test
// applies to it.
//
// Matrices are stored as the game writes them (row vectors, v × M); in GLSL
// the same product is M * v.
//
// While a pass is active, mesh subsets (BaseMesh::DrawSubset) and quads given
// to Effect::DrawPrimitiveUP draw through it; draws made on the device itself
// keep using its fixed pipeline.
#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/Gfx.h"
#include "platform/mesh/Mesh.h"

namespace plat {

class Effect;
struct EffectItem;  // a parameter or a technique
// Names a parameter or technique; null when the effect lacks the name. Every
// call given a null handle (or one of the wrong kind) does nothing.
using EffectHandle = const EffectItem*;

// A "sampler2DShadow" reads a depth texture as the share of the texels
// around a point that lie no nearer than the depth it is given (filtered
// over the four nearest; outside the texture, none).
enum class EffectParamType : u8 { Float, Vec2, Vec3, Vec4, Int, Mat4, Sampler2D, SamplerCube, Sampler2DShadow };

struct EffectParamDesc {
    std::string name;
    EffectParamType type = EffectParamType::Float;
    u32 count = 1;       // array elements (1 for a single value)
    bool clamp = false;  // samplers: clamp instead of wrap
    bool point = false;  // samplers: nearest instead of linear
    std::vector<f32> initial;  // numbers given after '=' (floats and ints alike)
};

struct EffectPassDesc {
    std::string name;
    std::string vertexEntry;
    std::string fragmentEntry;
    std::vector<std::pair<GfxRenderState, u32>> states;
};

struct EffectTechniqueDesc {
    std::string name;
    std::vector<EffectPassDesc> passes;
};

struct EffectFileDesc {
    std::vector<EffectParamDesc> params;
    std::vector<EffectTechniqueDesc> techniques;
    std::string glsl;  // every glsl block, with "#line" marks back to the file
};

// Reads an effect file's text. false with "line N: ..." when malformed.
bool ParseEffectFile(const char* text, size_t size, EffectFileDesc& out, std::string& error);
// The GLSL source of one stage of one pass; a pixel stage built without the
// device's alpha test never discards, which spares a software rasterizer the
// test's code and lets it write depth as it tests it.
// A 2D sampler with no texture set reads opaque white, as a fixed-function
// stage without a texture does. Bit k of unsetSamplers, for the k-th 2D
// sampler parameter, builds the pixel stage with its "texture(name, ...)"
// reads replaced by that white, so a software rasterizer samples nothing.
std::string EffectStageSource(const EffectFileDesc& desc, const EffectPassDesc& pass, bool vertex,
                              bool alphaTest = true, u32 unsetSamplers = 0);
// Per parameter, its bit in an unsetSamplers mask: bit k for the k-th 2D
// sampler (k < 32), 0 for every other parameter.
std::vector<u32> Sampler2DBits(const std::vector<EffectParamDesc>& params);

// The compiled form of one pass (made by the graphics layer).
class EffectProgram {
public:
    virtual ~EffectProgram() = default;
};

class Effect {
public:
    ~Effect();
    Effect(const Effect&) = delete;
    Effect& operator=(const Effect&) = delete;

    // Reads and compiles an effect file for device. On failure *out stays
    // null and errors (when given) holds the parse or compile messages.
    static Result CreateFromFile(GfxDevice* device, const char* fileName, std::unique_ptr<Effect>* out,
                                 std::string* errors = nullptr);
    static Result CreateFromMemory(GfxDevice* device, const char* text, size_t size, const char* fileName,
                                   std::unique_ptr<Effect>* out, std::string* errors = nullptr);

    EffectHandle GetTechniqueByName(const char* name) const;
    EffectHandle GetParameterByName(EffectHandle parent, const char* name) const;

    Result SetTechnique(EffectHandle technique);
    EffectHandle GetCurrentTechnique() const;

    // Starts the current technique; *passes receives its pass count.
    Result Begin(u32* passes, u32 flags);
    // Makes pass p the one that draws; its render states are applied (and
    // put back by EndPass) and every parameter is sent.
    Result BeginPass(u32 pass);
    // Marks the values set so far as the ones the next draws use. (Values
    // travel to the program at each draw, so this only checks the state.)
    Result CommitChanges();
    Result EndPass();
    Result End();
    bool InPass() const { return activePass_ != nullptr; }

    Result SetMatrix(EffectHandle h, const Mat4* m);
    Result SetMatrixArray(EffectHandle h, const Mat4* m, u32 count);
    Result SetVector(EffectHandle h, const Vec4* v);
    Result SetFloat(EffectHandle h, f32 f);
    Result SetInt(EffectHandle h, i32 i);
    // Raw bytes over the parameter's storage (at most its size).
    Result SetValue(EffectHandle h, const void* data, u32 bytes);
    // A 2D texture for a sampler2D, a cube texture for a samplerCube; null
    // unbinds. The effect keeps a reference.
    Result SetTexture(EffectHandle h, GfxBaseTexture* texture);

    // The same by name.
    Result SetMatrix(const char* name, const Mat4* m) { return SetMatrix(GetParameterByName(nullptr, name), m); }
    Result SetMatrixArray(const char* name, const Mat4* m, u32 count)
    {
        return SetMatrixArray(GetParameterByName(nullptr, name), m, count);
    }
    Result SetVector(const char* name, const Vec4* v) { return SetVector(GetParameterByName(nullptr, name), v); }
    Result SetFloat(const char* name, f32 f) { return SetFloat(GetParameterByName(nullptr, name), f); }
    Result SetInt(const char* name, i32 i) { return SetInt(GetParameterByName(nullptr, name), i); }
    Result SetValue(const char* name, const void* data, u32 bytes)
    {
        return SetValue(GetParameterByName(nullptr, name), data, bytes);
    }
    Result SetTexture(const char* name, GfxBaseTexture* t) { return SetTexture(GetParameterByName(nullptr, name), t); }

    // Read-back of what was set (tests and debugging).
    Result GetFloatArray(EffectHandle h, f32* out, u32 count) const;
    Result GetInt(EffectHandle h, i32* out) const;
    Result GetMatrix(EffectHandle h, Mat4* out) const;
    GfxBaseTexture* GetTexture(EffectHandle h) const;

    const EffectFileDesc& Desc() const { return desc_; }
    const std::string& FileName() const { return fileName_; }
    GfxDevice* Device() const { return device_; }

    // For the graphics layer: what the active pass needs.
    struct Param {
        EffectParamDesc desc;
        std::vector<u32> words;  // floats or ints, 4 bytes each, 16 per matrix
        GfxRef<GfxBaseTexture> texture;
        u32 serial = 1;          // grows with every change
    };
    const std::vector<Param>& Params() const { return params_; }
    EffectProgram* ActiveProgram() const;
    // Draws with the active pass (through the graphics layer).
    Result DrawMeshSubset(BaseMesh* mesh, u32 attribId);
    Result DrawPrimitiveUP(GfxPrimitive type, u32 primitiveCount, const void* vertices, u32 stride, u32 fvf);

private:
    Effect() = default;
    Param* ParamOf(EffectHandle h);
    const Param* ParamOf(EffectHandle h) const;
    void Touch(Param& p);

    GfxDevice* device_ = nullptr;
    std::string fileName_;
    EffectFileDesc desc_;
    std::vector<Param> params_;
    std::vector<std::unique_ptr<EffectItem>> items_;  // one per param, then one per technique
    // Compiled passes, per technique in file order.
    std::vector<std::vector<std::unique_ptr<EffectProgram>>> programs_;
    u32 technique_ = 0;
    bool begun_ = false;
    const EffectPassDesc* activePass_ = nullptr;
    EffectProgram* activeProgram_ = nullptr;
    std::vector<std::pair<GfxRenderState, u32>> savedStates_;
};

// ---- the graphics layer's side (platform/gfx/EffectGL.cpp) ------------------------
// Compiles one pass; null with errors filled when the driver refuses it. On
// a device that draws nothing (the recorder) every pass "compiles".
std::unique_ptr<EffectProgram> CompileEffectPass(GfxDevice* device, const EffectFileDesc& desc,
                                                 const EffectPassDesc& pass, std::string* errors);

}  // namespace plat
