#pragma once
// GLSL of the emulated fixed-function pipeline and the uniform blocks it reads.
#include <cstring>
#include <string>

#include "platform/core/Types.h"

namespace plat::glsl {

// Which branches of the pipeline a draw takes. The general program reads
// them from the block; a program made for one combination has them built in
// as constants (SwitchConstants), so the compiler drops every branch the
// draw does not take. Only the alpha-test reference is always read from the
// block.
struct FixedFunctionSwitches {
    i32 vertex[4];               // pre-transformed, blend weights, lighting, light count
    i32 vertex2[4];              // has diffuse, has specular, has point size, specular enable
    i32 fog[4];                  // enable, vertex mode, table mode, range fog
    i32 materialSource[4];       // diffuse, specular, ambient, emissive (0 material, 1 colour 1, 2 colour 2)
    i32 stageColor[2][4];        // op, arg1, arg2, has texture
    i32 stageAlpha[2][4];        // op, arg1, arg2, texture coordinate set
    i32 alphaTest[4];            // enable, function, reference
    i32 misc[4];                 // normalize normals, local viewer, depth-based table fog, texture matrices (bit per stage)
};
static_assert(sizeof(FixedFunctionSwitches) == 10 * 16, "FixedFunctionSwitches is ten ivec4 rows");

// Mirrors the std140 block "FixedFunction" below: every member is a whole
// number of 16-byte rows, so the C++ layout matches without padding rules.
struct FixedFunctionBlock {
    float world[4][16];
    float view[16];
    float projection[16];
    float texture[2][16];        // the stages' texture matrices
    float matDiffuse[4], matAmbient[4], matSpecular[4], matEmissive[4];
    float matPower[4];           // x: specular power
    float globalAmbient[4];
    float lightDir[4][4];        // world-space directions of the enabled directional lights
    float lightDiffuse[4][4];
    float lightSpecular[4][4];
    float lightAmbient[4][4];
    float fogColor[4];
    float fogParams[4];          // start, end, density, point size
    float textureFactor[4];
    float viewport[4];           // x, y, width, height in target pixels
    FixedFunctionSwitches switches;
};
static_assert(sizeof(FixedFunctionBlock) == 8 * 64 + 6 * 16 + 16 * 16 + 4 * 16 + 4 * 16 + 2 * 32 + 2 * 16,
              "FixedFunctionBlock must match the std140 layout");

// What the pixel stage reads, in a block of its own: a software rasterizer
// keeps a copy of the pixel stage's constants for every draw whose constants
// differ, so draws that change only what the vertex stage reads (the world
// matrix of each billboard, say) must leave this block as it was.
struct FixedFunctionPixelBlock {
    float fogColor[4];
    float fogParams[4];
    float textureFactor[4];
    i32 vertex2[4];
    i32 fog[4];
    i32 stageColor[2][4];
    i32 stageAlpha[2][4];
    i32 alphaTest[4];
};
static_assert(sizeof(FixedFunctionPixelBlock) == 10 * 16, "FixedFunctionPixelBlock is ten std140 rows");

inline void FillPixelBlock(const FixedFunctionBlock& b, FixedFunctionPixelBlock& p) {
    std::memcpy(p.fogColor, b.fogColor, sizeof p.fogColor);
    std::memcpy(p.fogParams, b.fogParams, sizeof p.fogParams);
    std::memcpy(p.textureFactor, b.textureFactor, sizeof p.textureFactor);
    std::memcpy(p.vertex2, b.switches.vertex2, sizeof p.vertex2);
    std::memcpy(p.fog, b.switches.fog, sizeof p.fog);
    std::memcpy(p.stageColor, b.switches.stageColor, sizeof p.stageColor);
    std::memcpy(p.stageAlpha, b.switches.stageAlpha, sizeof p.stageAlpha);
    std::memcpy(p.alphaTest, b.switches.alphaTest, sizeof p.alphaTest);
}

inline constexpr const char* kBlock = R"(
layout(std140) uniform FixedFunction {
    mat4 uWorld[4];
    mat4 uView;
    mat4 uProj;
    mat4 uTexMatrix[2];
    vec4 uMatDiffuse;
    vec4 uMatAmbient;
    vec4 uMatSpecular;
    vec4 uMatEmissive;
    vec4 uMatPower;
    vec4 uGlobalAmbient;
    vec4 uLightDir[4];
    vec4 uLightDiffuse[4];
    vec4 uLightSpecular[4];
    vec4 uLightAmbient[4];
    vec4 uFogColor;
    vec4 uFogParams;
    vec4 uTFactor;
    vec4 uViewport;
    ivec4 uVtx;
    ivec4 uVtx2;
    ivec4 uFog;
    ivec4 uMatSrc;
    ivec4 uStageColor[2];
    ivec4 uStageAlpha[2];
    ivec4 uAlphaTest;
    ivec4 uMisc;
};

)";

// The pixel stage's block; its names stand in for the vertex block's, which
// the pixel stage does not declare.
inline constexpr const char* kPixelBlock = R"(
layout(std140) uniform FixedFunctionPixel {
    vec4 pFogColor;
    vec4 pFogParams;
    vec4 pTFactor;
    ivec4 pVtx2;
    ivec4 pFog;
    ivec4 pStageColor[2];
    ivec4 pStageAlpha[2];
    ivec4 pAlphaTest;
};
#define uFogColor pFogColor
#define uFogParams pFogParams
#define uTFactor pTFactor
#define uAlphaTest pAlphaTest
)";

inline constexpr const char* kFogFactor = R"(
float FogFactor(int mode, float d) {
    if (mode == 3) {
        float span = uFogParams.y - uFogParams.x;
        if (span == 0.0) return d < uFogParams.y ? 1.0 : 0.0;
        return clamp((uFogParams.y - d) / span, 0.0, 1.0);
    }
    if (mode == 1) return clamp(exp(-uFogParams.z * d), 0.0, 1.0);
    if (mode == 2) { float t = uFogParams.z * d; return clamp(exp(-t * t), 0.0, 1.0); }
    return 1.0;
}
)";

inline constexpr const char* kVertex = R"(
layout(location = 0) in vec4 aPosition;
layout(location = 1) in vec4 aWeights;
layout(location = 2) in vec3 aNormal;
layout(location = 3) in vec4 aDiffuse;
layout(location = 4) in vec4 aSpecular;
layout(location = 5) in vec4 aTex0;
layout(location = 6) in vec4 aTex1;
layout(location = 7) in float aPointSize;

out vec4 vDiffuse;
out vec4 vSpecular;
out vec4 vTex0;
out vec4 vTex1;
out float vFog;
out float vEyeDepth;

// The coordinates a stage samples with, through its texture matrix when on.
vec4 StageCoord(int stage) {
    vec4 c = sStageAlpha[stage].w == 0 ? aTex0 : aTex1;
    if (((sMisc.w >> stage) & 1) != 0) c = vec4((uTexMatrix[stage] * vec4(c.xy, 1.0, 0.0)).xy, c.zw);
    return c;
}

vec4 MaterialColor(int source, vec4 material) {
    if (source == 1 && sVtx2.x != 0) return aDiffuse;
    if (source == 2 && sVtx2.y != 0) return aSpecular;
    return material;
}

void main() {
    vec4 diffuse = sVtx2.x != 0 ? aDiffuse : vec4(1.0);
    vec4 specular = sVtx2.y != 0 ? aSpecular : vec4(0.0);
    vFog = 1.0;
    if (sVtx.x != 0) {
        // Pre-transformed: pixel coordinates with pixel centres on integers.
        float w = aPosition.w > 0.0 ? 1.0 / aPosition.w : 1.0;
        vec2 ndc = vec2((aPosition.x + 0.5 - uViewport.x) / uViewport.z * 2.0 - 1.0,
                        (aPosition.y + 0.5 - uViewport.y) / uViewport.w * 2.0 - 1.0);
        gl_Position = vec4(ndc * w, (aPosition.z * 2.0 - 1.0) * w, w);
        vEyeDepth = w;
    } else {
        vec4 p = vec4(aPosition.xyz, 1.0);
        vec4 wp;
        vec3 wn;
        int n = sVtx.y;
        if (n == 0) {
            wp = uWorld[0] * p;
            wn = mat3(uWorld[0]) * aNormal;
        } else {
            float sum = 0.0;
            wp = vec4(0.0);
            wn = vec3(0.0);
            for (int i = 0; i < n; ++i) {
                float weight = aWeights[i];
                sum += weight;
                wp += weight * (uWorld[i] * p);
                wn += weight * (mat3(uWorld[i]) * aNormal);
            }
            float last = 1.0 - sum;
            wp += last * (uWorld[n] * p);
            wn += last * (mat3(uWorld[n]) * aNormal);
        }
        vec4 vp = uView * wp;
        vec3 vn = mat3(uView) * wn;
        vec4 clip = uProj * vp;
        vEyeDepth = sMisc.z != 0 ? clip.z / clip.w : clip.w;
        if (sVtx.z != 0) {
            vec4 mD = MaterialColor(sMatSrc.x, uMatDiffuse);
            vec4 mS = MaterialColor(sMatSrc.y, uMatSpecular);
            vec4 mA = MaterialColor(sMatSrc.z, uMatAmbient);
            vec4 mE = MaterialColor(sMatSrc.w, uMatEmissive);
            vec3 N = vn;
            if (sMisc.x != 0 && dot(N, N) > 0.0) N = normalize(N);
            vec3 V = vec3(0.0, 0.0, -1.0);
            if (sMisc.y != 0 && dot(vp.xyz, vp.xyz) > 0.0) V = -normalize(vp.xyz);
            vec3 accD = vec3(0.0);
            vec3 accS = vec3(0.0);
            vec3 accA = vec3(0.0);
            for (int i = 0; i < sVtx.w; ++i) {
                vec3 L = -(mat3(uView) * uLightDir[i].xyz);
                if (dot(L, L) > 0.0) L = normalize(L);
                accA += uLightAmbient[i].rgb;
                float nl = dot(N, L);
                if (nl > 0.0) {
                    accD += uLightDiffuse[i].rgb * nl;
                    if (sVtx2.w != 0 && uMatPower.x > 0.0) {
                        vec3 H = normalize(L + V);
                        accS += uLightSpecular[i].rgb * pow(max(dot(N, H), 0.0), uMatPower.x);
                    }
                }
            }
            diffuse = vec4(clamp(mE.rgb + mA.rgb * (uGlobalAmbient.rgb + accA) + mD.rgb * accD, 0.0, 1.0),
                           clamp(mD.a, 0.0, 1.0));
            specular = vec4(clamp(mS.rgb * accS, 0.0, 1.0), clamp(mS.a, 0.0, 1.0));
        }
        if (sFog.x != 0 && sFog.z == 0 && sFog.y != 0)
            vFog = FogFactor(sFog.y, sFog.w != 0 ? length(vp.xyz) : abs(vp.z));
        // Depth 0..1 becomes GL's -1..1; rows run top-down in our targets; the
        // half-pixel shift puts pixel centres on integers, as Direct3D 9 has them.
        gl_Position = vec4(clip.x + clip.w / uViewport.z, -clip.y + clip.w / uViewport.w,
                           clip.z * 2.0 - clip.w, clip.w);
    }
    vDiffuse = diffuse;
    vSpecular = specular;
    vTex0 = StageCoord(0);
    vTex1 = StageCoord(1);
    gl_PointSize = sVtx2.z != 0 ? aPointSize : uFogParams.w;
}
)";

inline constexpr const char* kFragment = R"(
in vec4 vDiffuse;
in vec4 vSpecular;
in vec4 vTex0;
in vec4 vTex1;
in float vFog;
in float vEyeDepth;
out vec4 fragColor;
uniform sampler2D uTex0;
uniform sampler2D uTex1;

vec4 Arg(int a, vec4 current, vec4 tex) {
    int base = a & 15;
    vec4 v = current;
    if (base == 0) v = vDiffuse;
    else if (base == 2) v = tex;
    else if (base == 3) v = uTFactor;
    else if (base == 4) v = vSpecular;
    if ((a & 32) != 0) v = vec4(v.a);
    if ((a & 16) != 0) v = vec4(1.0) - v;
    return v;
}

vec4 Op(int op, vec4 a1, vec4 a2, vec4 tex) {
    if (op == 2) return a1;
    if (op == 3) return a2;
    if (op == 4) return a1 * a2;
    if (op == 5) return clamp(a1 * a2 * 2.0, 0.0, 1.0);
    if (op == 6) return clamp(a1 * a2 * 4.0, 0.0, 1.0);
    if (op == 7) return clamp(a1 + a2, 0.0, 1.0);
    if (op == 8) return clamp(a1 + a2 - 0.5, 0.0, 1.0);
    if (op == 9) return clamp((a1 + a2 - 0.5) * 2.0, 0.0, 1.0);
    if (op == 10) return clamp(a1 - a2, 0.0, 1.0);
    if (op == 11) return clamp(a1 + a2 - a1 * a2, 0.0, 1.0);
    if (op == 12) return mix(a2, a1, vDiffuse.a);
    if (op == 13) return mix(a2, a1, tex.a);
    if (op == 14) return mix(a2, a1, uTFactor.a);
    return a1 * a2;
}

vec4 Sample(int stage) {
    if (sStageColor[stage].w == 0) return vec4(1.0);  // no texture reads as white
    return stage == 0 ? texture(uTex0, vTex0.xy) : texture(uTex1, vTex1.xy);
}

bool Compare(int func, int a, int ref) {
    if (func == 1) return false;
    if (func == 2) return a < ref;
    if (func == 3) return a == ref;
    if (func == 4) return a <= ref;
    if (func == 5) return a > ref;
    if (func == 6) return a != ref;
    if (func == 7) return a >= ref;
    return true;
}

void main() {
    vec4 current = vDiffuse;
    for (int i = 0; i < 2; ++i) {
        int colorOp = sStageColor[i].x;
        if (colorOp == 1) break;
        vec4 tex = Sample(i);
        vec3 rgb = Op(colorOp, Arg(sStageColor[i].y, current, tex), Arg(sStageColor[i].z, current, tex), tex).rgb;
        int alphaOp = sStageAlpha[i].x;
        float a = alphaOp == 1 ? current.a
                               : Op(alphaOp, Arg(sStageAlpha[i].y, current, tex), Arg(sStageAlpha[i].z, current, tex), tex).a;
        current = vec4(rgb, a);
    }
    if (sVtx2.w != 0) current.rgb = clamp(current.rgb + vSpecular.rgb, 0.0, 1.0);
    if (sAlphaTest.x != 0 && !Compare(sAlphaTest.y, int(current.a * 255.0 + 0.5), uAlphaTest.z)) discard;
    float f = 1.0;
    if (sFog.x != 0) f = sFog.z != 0 ? FogFactor(sFog.z, vEyeDepth) : vFog;
    fragColor = vec4(mix(uFogColor.rgb, current.rgb, f), current.a);
}
)";

// The switch names the shader bodies read, taken from the block.
inline constexpr const char* kBlockSwitches =
    "#define sVtx uVtx\n#define sVtx2 uVtx2\n#define sFog uFog\n#define sMatSrc uMatSrc\n"
    "#define sStageColor uStageColor\n#define sStageAlpha uStageAlpha\n#define sAlphaTest uAlphaTest\n"
    "#define sMisc uMisc\n";

// The pixel stage's switch names, read from its own block.
inline constexpr const char* kPixelBlockSwitches =
    "#define sVtx2 pVtx2\n#define sFog pFog\n#define sStageColor pStageColor\n#define sStageAlpha pStageAlpha\n"
    "#define sAlphaTest pAlphaTest\n";

// The same names as the constants of one combination; goes between a block
// and a body in place of kBlockSwitches and kPixelBlockSwitches.
inline std::string SwitchConstants(const FixedFunctionSwitches& s) {
    auto v = [](const i32(&x)[4]) {
        return "ivec4(" + std::to_string(x[0]) + ", " + std::to_string(x[1]) + ", " + std::to_string(x[2]) + ", " +
               std::to_string(x[3]) + ")";
    };
    return "#define sVtx " + v(s.vertex) + "\n#define sVtx2 " + v(s.vertex2) + "\n#define sFog " + v(s.fog) +
           "\n#define sMatSrc " + v(s.materialSource) + "\n#define sStageColor ivec4[2](" + v(s.stageColor[0]) +
           ", " + v(s.stageColor[1]) + ")\n#define sStageAlpha ivec4[2](" + v(s.stageAlpha[0]) + ", " +
           v(s.stageAlpha[1]) + ")\n#define sAlphaTest " + v(s.alphaTest) + "\n#define sMisc " + v(s.misc) + "\n";
}

}  // namespace plat::glsl

namespace plat {

// Test hooks of the OpenGL device's programs, counted over the process.
u32 GfxGLProgramsBuilt();              // programs built for single combinations
void GfxGLUseGeneralProgram(bool on);  // later draws all use the general program

}  // namespace plat
