#include "platform/gfx/Effect.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/core/FileSystem.h"
#include "platform/mesh/MeshGpu.h"

namespace plat {

namespace {
// The effect whose pass draws; only the main thread draws.
Effect* g_activeEffect = nullptr;
}  // namespace

struct EffectItem {
    enum Kind { Parameter, Technique } kind;
    u32 index;
};

namespace {

struct StateName {
    const char* name;
    GfxRenderState state;
};

const StateName kStates[] = {
    {"ZEnable", GfxRenderState::ZEnable},
    {"FillMode", GfxRenderState::FillMode},
    {"ZWriteEnable", GfxRenderState::ZWriteEnable},
    {"AlphaTestEnable", GfxRenderState::AlphaTestEnable},
    {"SrcBlend", GfxRenderState::SrcBlend},
    {"DestBlend", GfxRenderState::DestBlend},
    {"CullMode", GfxRenderState::CullMode},
    {"ZFunc", GfxRenderState::ZFunc},
    {"AlphaRef", GfxRenderState::AlphaRef},
    {"AlphaFunc", GfxRenderState::AlphaFunc},
    {"AlphaBlendEnable", GfxRenderState::AlphaBlendEnable},
    {"ColorWriteEnable", GfxRenderState::ColorWriteEnable},
    {"BlendOp", GfxRenderState::BlendOp},
};

// Float to int for values a file or a caller supplies: out-of-range values
// saturate (NaN gives 0) instead of being undefined.
i32 SaturateToInt(f32 f)
{
    if (!(f == f)) return 0;
    if (f <= -2147483648.0f) return INT32_MIN;
    if (f >= 2147483648.0f) return INT32_MAX;
    return static_cast<i32>(f);
}

bool TypeFromName(const std::string& s, EffectParamType* t)
{
    static const std::pair<const char*, EffectParamType> names[] = {
        {"float", EffectParamType::Float},       {"vec2", EffectParamType::Vec2},
        {"vec3", EffectParamType::Vec3},         {"vec4", EffectParamType::Vec4},
        {"int", EffectParamType::Int},           {"mat4", EffectParamType::Mat4},
        {"sampler2D", EffectParamType::Sampler2D}, {"samplerCube", EffectParamType::SamplerCube},
        {"sampler2DShadow", EffectParamType::Sampler2DShadow},
    };
    for (const auto& n : names) {
        if (s == n.first) {
            *t = n.second;
            return true;
        }
    }
    return false;
}

const char* GlslType(EffectParamType t)
{
    switch (t) {
    case EffectParamType::Float: return "float";
    case EffectParamType::Vec2: return "vec2";
    case EffectParamType::Vec3: return "vec3";
    case EffectParamType::Vec4: return "vec4";
    case EffectParamType::Int: return "int";
    case EffectParamType::Mat4: return "mat4";
    case EffectParamType::Sampler2D: return "sampler2D";
    case EffectParamType::SamplerCube: return "samplerCube";
    case EffectParamType::Sampler2DShadow: return "sampler2DShadow";
    }
    return "float";
}

// Words (4 bytes) one element of a type takes.
u32 ElementWords(EffectParamType t)
{
    switch (t) {
    case EffectParamType::Float: return 1;
    case EffectParamType::Vec2: return 2;
    case EffectParamType::Vec3: return 3;
    case EffectParamType::Vec4: return 4;
    case EffectParamType::Int: return 1;
    case EffectParamType::Mat4: return 16;
    default: return 0;
    }
}

bool IsSampler(EffectParamType t)
{
    return t == EffectParamType::Sampler2D || t == EffectParamType::SamplerCube || t == EffectParamType::Sampler2DShadow;
}

struct ParseFailure {
    std::string message;
};

class EffectParser {
public:
    EffectParser(const char* text, size_t size) : p_(text), end_(text + size) {}

    void Parse(EffectFileDesc& out)
    {
        while (true) {
            SkipSpace();
            if (p_ >= end_) break;
            const std::string word = Word("a declaration");
            if (word == "param") {
                ParseParam(out);
            } else if (word == "glsl") {
                ParseGlsl(out);
            } else if (word == "technique") {
                ParseTechnique(out);
            } else {
                Fail("unknown declaration '" + word + "'");
            }
        }
        if (out.techniques.empty()) Fail("the effect has no technique");
    }

private:
    [[noreturn]] void Fail(const std::string& what) const
    {
        throw ParseFailure{"line " + std::to_string(line_) + ": " + what};
    }

    void SkipSpace()
    {
        while (p_ < end_) {
            if (*p_ == '\n') {
                ++line_;
                ++p_;
            } else if (*p_ == ' ' || *p_ == '\t' || *p_ == '\r') {
                ++p_;
            } else if (*p_ == '/' && p_ + 1 < end_ && p_[1] == '/') {
                while (p_ < end_ && *p_ != '\n') ++p_;
            } else {
                break;
            }
        }
    }

    static bool NameChar(char c)
    {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    }

    std::string Word(const char* what)
    {
        SkipSpace();
        const char* s = p_;
        while (p_ < end_ && NameChar(*p_)) ++p_;
        if (p_ == s) Fail(std::string("expected ") + what);
        return std::string(s, p_);
    }

    bool Peek(char c)
    {
        SkipSpace();
        return p_ < end_ && *p_ == c;
    }

    void Expect(char c)
    {
        SkipSpace();
        if (p_ >= end_ || *p_ != c) Fail(std::string("expected '") + c + "'");
        ++p_;
    }

    f32 Number()
    {
        SkipSpace();
        const char* s = p_;
        if (p_ < end_ && (*p_ == '-' || *p_ == '+')) ++p_;
        while (p_ < end_ && ((*p_ >= '0' && *p_ <= '9') || *p_ == '.' || *p_ == 'e' || *p_ == 'E' ||
                             ((*p_ == '-' || *p_ == '+') && (p_[-1] == 'e' || p_[-1] == 'E')))) {
            ++p_;
        }
        if (p_ == s) Fail("expected a number");
        const std::string text(s, p_);
        char* e = nullptr;
        const float v = std::strtof(text.c_str(), &e);
        if (!e || *e != '\0' || !std::isfinite(v)) Fail("malformed number '" + text + "'");
        return v;
    }

    void ParseParam(EffectFileDesc& out)
    {
        EffectParamDesc d;
        const std::string type = Word("a parameter type");
        if (!TypeFromName(type, &d.type)) Fail("unknown parameter type '" + type + "'");
        d.name = Word("a parameter name");
        for (const EffectParamDesc& other : out.params)
            if (other.name == d.name) Fail("parameter '" + d.name + "' declared twice");
        if (Peek('[')) {
            ++p_;
            const f32 n = Number();
            if (n < 1 || n > 256 || n != std::floor(n)) Fail("array size must be 1 to 256");
            d.count = static_cast<u32>(n);
            Expect(']');
        }
        if (Peek('=')) {
            ++p_;
            if (IsSampler(d.type)) Fail("a sampler takes no value");
            while (!Peek(';')) {
                SkipSpace();
                if (p_ >= end_ || !(NameChar(*p_) || *p_ == '-' || *p_ == '+' || *p_ == '.')) break;
                const f32 v = Number();
                if (d.type == EffectParamType::Int && (v < -2147483648.0f || v >= 2147483648.0f)) {
                    Fail("value out of range for int '" + d.name + "'");
                }
                d.initial.push_back(v);
            }
            if (d.initial.size() > ElementWords(d.type) * d.count) Fail("too many values for '" + d.name + "'");
        }
        while (!Peek(';')) {
            const std::string opt = Word("';'");
            if (!IsSampler(d.type)) Fail("'" + opt + "' applies to samplers only");
            if (opt == "clamp") d.clamp = true;
            else if (opt == "wrap") d.clamp = false;
            else if (opt == "point") d.point = true;
            else if (opt == "linear") d.point = false;
            else Fail("unknown sampler option '" + opt + "'");
        }
        Expect(';');
        out.params.push_back(std::move(d));
    }

    void ParseGlsl(EffectFileDesc& out)
    {
        SkipSpace();
        if (end_ - p_ < 2 || p_[0] != '{' || p_[1] != '{') Fail("expected '{{' after glsl");
        p_ += 2;
        const int startLine = line_;
        const char* s = p_;
        while (p_ < end_ && !(p_ + 1 < end_ && p_[0] == '}' && p_[1] == '}')) {
            if (*p_ == '\n') ++line_;
            ++p_;
        }
        if (p_ >= end_) Fail("glsl block opened on line " + std::to_string(startLine) + " is not closed");
        out.glsl += "#line " + std::to_string(startLine) + "\n";
        out.glsl.append(s, p_);
        out.glsl += "\n";
        p_ += 2;
    }

    void ParseTechnique(EffectFileDesc& out)
    {
        EffectTechniqueDesc t;
        t.name = Word("a technique name");
        for (const EffectTechniqueDesc& other : out.techniques)
            if (other.name == t.name) Fail("technique '" + t.name + "' declared twice");
        Expect('{');
        while (!Peek('}')) {
            const std::string w = Word("'pass'");
            if (w != "pass") Fail("expected 'pass', found '" + w + "'");
            t.passes.push_back(ParsePass());
        }
        Expect('}');
        if (t.passes.empty()) Fail("technique '" + t.name + "' has no pass");
        out.techniques.push_back(std::move(t));
    }

    EffectPassDesc ParsePass()
    {
        EffectPassDesc pass;
        pass.name = Word("a pass name");
        Expect('{');
        while (!Peek('}')) {
            const std::string w = Word("a pass setting");
            if (w == "vertex") {
                pass.vertexEntry = Word("a vertex function");
            } else if (w == "fragment") {
                pass.fragmentEntry = Word("a fragment function");
            } else if (w == "state") {
                const std::string name = Word("a render state");
                const StateName* found = nullptr;
                for (const StateName& s : kStates)
                    if (name == s.name) found = &s;
                if (!found) Fail("unknown render state '" + name + "'");
                Expect('=');
                const f32 v = Number();
                if (v < 0 || v != std::floor(v)) Fail("a render state takes a whole number");
                if (v >= 4294967296.0f) Fail("render state value out of range");
                pass.states.push_back({found->state, static_cast<u32>(v)});
            } else {
                Fail("unknown pass setting '" + w + "'");
            }
            Expect(';');
        }
        Expect('}');
        if (pass.vertexEntry.empty() || pass.fragmentEntry.empty()) {
            Fail("pass '" + pass.name + "' needs a vertex and a fragment function");
        }
        return pass;
    }

    const char* p_;
    const char* end_;
    int line_ = 1;
};

}  // namespace

bool ParseEffectFile(const char* text, size_t size, EffectFileDesc& out, std::string& error)
{
    out = EffectFileDesc();
    error.clear();
    try {
        EffectParser(text, size).Parse(out);
    } catch (const ParseFailure& f) {
        error = f.message;
        out = EffectFileDesc();
        return false;
    } catch (const std::bad_alloc&) {
        error = "out of memory";
        out = EffectFileDesc();
        return false;
    }
    return true;
}

namespace {

bool IdentifierChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Replaces every "texture(name," (spaces allowed around the name) by
// "UnsetTexel(name,".
void ReadWhite(std::string& glsl, const std::string& name)
{
    static const std::string kCall = "texture";
    for (size_t at = glsl.find(kCall); at != std::string::npos; at = glsl.find(kCall, at + 1)) {
        if (at > 0 && IdentifierChar(glsl[at - 1])) continue;
        size_t i = at + kCall.size();
        while (i < glsl.size() && glsl[i] == ' ') ++i;
        if (i >= glsl.size() || glsl[i] != '(') continue;
        ++i;
        while (i < glsl.size() && glsl[i] == ' ') ++i;
        if (glsl.compare(i, name.size(), name) != 0) continue;
        i += name.size();
        while (i < glsl.size() && glsl[i] == ' ') ++i;
        if (i >= glsl.size() || glsl[i] != ',') continue;
        glsl.replace(at, kCall.size(), "UnsetTexel");
    }
}

}  // namespace

std::vector<u32> Sampler2DBits(const std::vector<EffectParamDesc>& params)
{
    std::vector<u32> bits(params.size(), 0);
    u32 k = 0;
    for (size_t i = 0; i < params.size(); ++i) {
        if (params[i].type != EffectParamType::Sampler2D) continue;
        if (k < 32) bits[i] = 1u << k;
        ++k;
    }
    return bits;
}

std::string EffectStageSource(const EffectFileDesc& desc, const EffectPassDesc& pass, bool vertex, bool alphaTest,
                              u32 unsetSamplers)
{
    std::string s = "#version 330 core\n";
    if (vertex) {
        s += "#define VERTEX 1\n#define VARYING out\n"
             "layout(location = 0) in vec4 aPosition;\n"
             "layout(location = 1) in vec4 aBlendWeight;\n"
             "layout(location = 2) in vec3 aNormal;\n"
             "layout(location = 3) in vec4 aColor;\n"
             "layout(location = 4) in vec4 aSpecular;\n"
             "layout(location = 5) in vec4 aTexCoord0;\n"
             "layout(location = 6) in vec4 aTexCoord1;\n"
             "layout(location = 8) in vec4 aBlendIndices;\n";
    } else {
        s += "#define FRAGMENT 1\n#define VARYING in\nout vec4 oColor;\n"
             "uniform ivec4 uAlphaTest;\n"  // enable, comparison, reference (the device's alpha test)
             "bool AlphaPasses(float a) {\n"
             "    int v = int(a * 255.0 + 0.5);\n"
             "    int f = uAlphaTest.y, r = uAlphaTest.z;\n"
             "    if (f == 1) return false;\n"
             "    if (f == 2) return v < r;\n"
             "    if (f == 3) return v == r;\n"
             "    if (f == 4) return v <= r;\n"
             "    if (f == 5) return v > r;\n"
             "    if (f == 6) return v != r;\n"
             "    if (f == 7) return v >= r;\n"
             "    return true;\n"
             "}\n";
    }
    // The target's size for the half-pixel shift of the fixed pipeline.
    s += "uniform vec4 uTargetViewport;\n"
         "vec4 ToTarget(vec4 clip) {\n"
         "    return vec4(clip.x + clip.w / uTargetViewport.z, -clip.y + clip.w / uTargetViewport.w,\n"
         "                clip.z * 2.0 - clip.w, clip.w);\n"
         "}\n"
         "ivec4 D3DCOLORtoUBYTE4(vec4 c) { return ivec4(c.zyxw * 255.001953); }\n"
         // Pre-transformed vertices: pixel coordinates (centres on integers), z, 1/w.
         "vec4 FromPixels(vec4 p) {\n"
         "    float w = p.w > 0.0 ? 1.0 / p.w : 1.0;\n"
         "    vec2 ndc = vec2((p.x + 0.5 - uTargetViewport.x) / uTargetViewport.z * 2.0 - 1.0,\n"
         "                    (p.y + 0.5 - uTargetViewport.y) / uTargetViewport.w * 2.0 - 1.0);\n"
         "    return vec4(ndc * w, (p.z * 2.0 - 1.0) * w, w);\n"
         "}\n";
    for (const EffectParamDesc& p : desc.params) {
        s += std::string("uniform ") + GlslType(p.type) + " " + p.name;
        if (p.count > 1) s += "[" + std::to_string(p.count) + "]";
        s += ";\n";
    }
    if (vertex || unsetSamplers == 0) {
        s += desc.glsl;
    } else {
        std::string glsl = desc.glsl;
        const std::vector<u32> bits = Sampler2DBits(desc.params);
        for (size_t i = 0; i < bits.size(); ++i)
            if ((unsetSamplers & bits[i]) != 0) ReadWhite(glsl, desc.params[i].name);
        s += "vec4 UnsetTexel(sampler2D s, vec2 c) { return vec4(1.0); }\n" + glsl;
    }
    if (vertex) {
        s += "void main() { " + pass.vertexEntry + "(); }\n";
    } else if (alphaTest) {
        s += "void main() {\n    " + pass.fragmentEntry +
             "();\n    if (uAlphaTest.x != 0 && !AlphaPasses(oColor.a)) discard;\n}\n";
    } else {
        s += "void main() { " + pass.fragmentEntry + "(); }\n";
    }
    return s;
}

// ---- Effect ---------------------------------------------------------------------

Effect::~Effect()
{
    if (g_activeEffect == this) g_activeEffect = nullptr;
}

Effect* ActiveEffectPass()
{
    return g_activeEffect;
}

Result Effect::CreateFromMemory(GfxDevice* device, const char* text, size_t size, const char* fileName,
                                std::unique_ptr<Effect>* out, std::string* errors)
{
    if (!out) return ResultInvalidCall;
    out->reset();
    std::unique_ptr<Effect> e(new (std::nothrow) Effect());
    if (!e) return ResultOutOfMemory;
    std::string err;
    if (!ParseEffectFile(text, size, e->desc_, err)) {
        if (errors) *errors = std::string(fileName ? fileName : "effect") + ": " + err;
        return ResultFail;
    }
    e->device_ = device;
    e->fileName_ = fileName ? fileName : "";
    for (u32 i = 0; i < e->desc_.params.size(); ++i) {
        Param p;
        p.desc = e->desc_.params[i];
        p.words.assign(ElementWords(p.desc.type) * p.desc.count, 0);
        if (p.desc.type == EffectParamType::Mat4) {
            for (u32 k = 0; k < p.desc.count; ++k)
                for (u32 d = 0; d < 4; ++d) {
                    const f32 one = 1.0f;
                    std::memcpy(&p.words[k * 16 + d * 5], &one, 4);
                }
        }
        for (size_t k = 0; k < p.desc.initial.size(); ++k) {
            if (p.desc.type == EffectParamType::Int) {
                const i32 v = SaturateToInt(p.desc.initial[k]);
                std::memcpy(&p.words[k], &v, 4);
            } else {
                std::memcpy(&p.words[k], &p.desc.initial[k], 4);
            }
        }
        e->params_.push_back(std::move(p));
        e->items_.push_back(std::make_unique<EffectItem>(EffectItem{EffectItem::Parameter, i}));
    }
    for (u32 t = 0; t < e->desc_.techniques.size(); ++t) {
        e->items_.push_back(std::make_unique<EffectItem>(EffectItem{EffectItem::Technique, t}));
        std::vector<std::unique_ptr<EffectProgram>> passes;
        for (const EffectPassDesc& pass : e->desc_.techniques[t].passes) {
            std::string compileErrors;
            std::unique_ptr<EffectProgram> program = CompileEffectPass(device, e->desc_, pass, &compileErrors);
            if (!program) {
                if (errors) {
                    *errors = e->fileName_ + ": technique '" + e->desc_.techniques[t].name + "' pass '" + pass.name +
                              "': " + compileErrors;
                }
                return ResultFail;
            }
            passes.push_back(std::move(program));
        }
        e->programs_.push_back(std::move(passes));
    }
    *out = std::move(e);
    return ResultOk;
}

Result Effect::CreateFromFile(GfxDevice* device, const char* fileName, std::unique_ptr<Effect>* out,
                              std::string* errors)
{
    if (!out) return ResultInvalidCall;
    out->reset();
    std::string text;
    if (!fileName || !ReadWholeFile(fileName, text)) {
        ReportLoadFailure(fileName, "cannot be read");
        if (errors) *errors = std::string("cannot read '") + (fileName ? fileName : "") + "'";
        return ResultFail;
    }
    std::string why;
    const Result r = CreateFromMemory(device, text.data(), text.size(), fileName, out, &why);
    if (r != ResultOk) ReportLoadFailure(fileName, why.empty() ? "does not compile" : why.c_str());
    if (errors) *errors = why;
    return r;
}

EffectHandle Effect::GetTechniqueByName(const char* name) const
{
    if (!name) return nullptr;
    for (u32 t = 0; t < desc_.techniques.size(); ++t)
        if (desc_.techniques[t].name == name) return items_[params_.size() + t].get();
    return nullptr;
}

EffectHandle Effect::GetParameterByName(EffectHandle parent, const char* name) const
{
    if (parent || !name) return nullptr;  // parameters have no members
    for (u32 i = 0; i < params_.size(); ++i)
        if (params_[i].desc.name == name) return items_[i].get();
    return nullptr;
}

Result Effect::SetTechnique(EffectHandle technique)
{
    if (!technique || technique->kind != EffectItem::Technique || technique->index >= desc_.techniques.size())
        return ResultInvalidCall;
    if (items_[params_.size() + technique->index].get() != technique) return ResultInvalidCall;
    technique_ = technique->index;
    return ResultOk;
}

EffectHandle Effect::GetCurrentTechnique() const
{
    return items_[params_.size() + technique_].get();
}

Effect::Param* Effect::ParamOf(EffectHandle h)
{
    if (!h || h->kind != EffectItem::Parameter || h->index >= params_.size()) return nullptr;
    if (items_[h->index].get() != h) return nullptr;  // a handle of another effect
    return &params_[h->index];
}

const Effect::Param* Effect::ParamOf(EffectHandle h) const
{
    return const_cast<Effect*>(this)->ParamOf(h);
}

void Effect::Touch(Param& p)
{
    ++p.serial;
}

Result Effect::SetMatrix(EffectHandle h, const Mat4* m)
{
    return SetMatrixArray(h, m, 1);
}

Result Effect::SetMatrixArray(EffectHandle h, const Mat4* m, u32 count)
{
    Param* p = ParamOf(h);
    if (!p || !m || p->desc.type != EffectParamType::Mat4) return ResultInvalidCall;
    const u32 n = std::min(count, p->desc.count);
    std::memcpy(p->words.data(), m, static_cast<size_t>(n) * 64);
    Touch(*p);
    return ResultOk;
}

Result Effect::SetVector(EffectHandle h, const Vec4* v)
{
    Param* p = ParamOf(h);
    if (!p || !v || IsSampler(p->desc.type) || p->desc.type == EffectParamType::Mat4) return ResultInvalidCall;
    const f32 c[4] = {v->x, v->y, v->z, v->w};
    if (p->desc.type == EffectParamType::Int) {
        const i32 i = SaturateToInt(c[0]);
        std::memcpy(p->words.data(), &i, 4);
    } else {
        std::memcpy(p->words.data(), c, ElementWords(p->desc.type) * 4);
    }
    Touch(*p);
    return ResultOk;
}

Result Effect::SetFloat(EffectHandle h, f32 f)
{
    Param* p = ParamOf(h);
    if (!p || IsSampler(p->desc.type)) return ResultInvalidCall;
    if (p->desc.type == EffectParamType::Int) {
        const i32 i = SaturateToInt(f);
        std::memcpy(p->words.data(), &i, 4);
    } else {
        std::memcpy(p->words.data(), &f, 4);
    }
    Touch(*p);
    return ResultOk;
}

Result Effect::SetInt(EffectHandle h, i32 i)
{
    Param* p = ParamOf(h);
    if (!p || IsSampler(p->desc.type)) return ResultInvalidCall;
    if (p->desc.type == EffectParamType::Int) {
        std::memcpy(p->words.data(), &i, 4);
    } else {
        const f32 f = static_cast<f32>(i);
        std::memcpy(p->words.data(), &f, 4);
    }
    Touch(*p);
    return ResultOk;
}

Result Effect::SetValue(EffectHandle h, const void* data, u32 bytes)
{
    Param* p = ParamOf(h);
    if (!p || !data || IsSampler(p->desc.type)) return ResultInvalidCall;
    const size_t n = std::min<size_t>(bytes, p->words.size() * 4);
    std::memcpy(p->words.data(), data, n);
    Touch(*p);
    return ResultOk;
}

Result Effect::SetTexture(EffectHandle h, GfxBaseTexture* texture)
{
    Param* p = ParamOf(h);
    if (!p || !IsSampler(p->desc.type)) return ResultInvalidCall;
    if (texture) {
        const bool cube = texture->Type() == GfxResourceType::CubeTexture;
        if (cube != (p->desc.type == EffectParamType::SamplerCube)) return ResultInvalidCall;
        // Comparing against colour texels means nothing.
        const bool depth = GfxFormatIsDepth(texture->Format());
        if (depth != (p->desc.type == EffectParamType::Sampler2DShadow)) return ResultInvalidCall;
        texture->AddRef();
    }
    p->texture = GfxRef<GfxBaseTexture>(texture);
    Touch(*p);
    return ResultOk;
}

Result Effect::GetFloatArray(EffectHandle h, f32* out, u32 count) const
{
    const Param* p = ParamOf(h);
    if (!p || !out || IsSampler(p->desc.type) || p->desc.type == EffectParamType::Int) return ResultInvalidCall;
    std::memcpy(out, p->words.data(), std::min<size_t>(count, p->words.size()) * 4);
    return ResultOk;
}

Result Effect::GetInt(EffectHandle h, i32* out) const
{
    const Param* p = ParamOf(h);
    if (!p || !out || p->desc.type != EffectParamType::Int) return ResultInvalidCall;
    std::memcpy(out, p->words.data(), 4);
    return ResultOk;
}

Result Effect::GetMatrix(EffectHandle h, Mat4* out) const
{
    const Param* p = ParamOf(h);
    if (!p || !out || p->desc.type != EffectParamType::Mat4) return ResultInvalidCall;
    std::memcpy(out->m, p->words.data(), 64);
    return ResultOk;
}

GfxBaseTexture* Effect::GetTexture(EffectHandle h) const
{
    const Param* p = ParamOf(h);
    return p ? p->texture.get() : nullptr;
}

Result Effect::Begin(u32* passes, u32)
{
    if (begun_) return ResultInvalidCall;
    begun_ = true;
    if (passes) *passes = static_cast<u32>(desc_.techniques[technique_].passes.size());
    return ResultOk;
}

Result Effect::BeginPass(u32 pass)
{
    if (!begun_ || activePass_ || pass >= desc_.techniques[technique_].passes.size()) return ResultInvalidCall;
    activePass_ = &desc_.techniques[technique_].passes[pass];
    activeProgram_ = programs_[technique_][pass].get();
    savedStates_.clear();
    if (device_) {
        for (const auto& s : activePass_->states) {
            u32 old = 0;
            device_->GetRenderState(s.first, &old);
            savedStates_.push_back({s.first, old});
            device_->SetRenderState(s.first, s.second);
        }
    }
    g_activeEffect = this;
    return ResultOk;
}

Result Effect::CommitChanges()
{
    if (!activePass_) return ResultInvalidCall;
    return ResultOk;
}

Result Effect::EndPass()
{
    if (!activePass_) return ResultInvalidCall;
    if (device_) {
        for (auto it = savedStates_.rbegin(); it != savedStates_.rend(); ++it) device_->SetRenderState(it->first, it->second);
    }
    savedStates_.clear();
    activePass_ = nullptr;
    activeProgram_ = nullptr;
    if (g_activeEffect == this) g_activeEffect = nullptr;
    return ResultOk;
}

Result Effect::End()
{
    if (!begun_) return ResultInvalidCall;
    if (activePass_) EndPass();
    begun_ = false;
    return ResultOk;
}

EffectProgram* Effect::ActiveProgram() const
{
    return activeProgram_;
}

}  // namespace plat
