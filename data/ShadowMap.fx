// Shadows. "ShadowMap", "ShadowMapSkin" and "ShadowMapAlphaTest" draw the
// light-space depth (0 near .. 1 far) into the shadow map, a depth texture
// drawn without colour; "ShadowMapScene" draws lit meshes darkened by
// ShadowPow where the map shows something nearer to the light (Margin keeps
// surfaces from shadowing themselves).
// The scene lights and fogs per vertex, as the fixed pipeline does for the
// cells further out, so only the shadow taps are paid per pixel: the cells
// near the camera cover most of the screen.

param mat4 mW;
param mat4 mP;
param mat4 mWVP;
param mat4 mWV;
param mat4 mVP;
param vec3 LightDir = 0 -1 0;
param vec4 Eyepos;
param vec4 Ambient = 0.2 0.2 0.2 1;
param vec4 Diffuse = 0.8 0.8 0.8 1;
param vec4 Specular;
param float Power = 16;
param sampler2D MeshTex;
param mat4 mLightVP;
param sampler2DShadow ShadowTex;
param mat4 mLightWVP;
param mat4 mLightWVPB;
param float ShadowTexel = 0.0009765625;
param int SHADOW_TEX_SIZE = 1024;
param float Margin = 0.002;
param float ShadowPow = 0.5;
param vec2 vFog;
param vec4 FogColor = 0.5 0.5 0.5 1;
param mat4 mWorldMatrixArray[26];
param int CurNumBones;

glsl {{
VARYING vec3 vLit;
VARYING vec3 vShine;
VARYING vec2 vUv;
VARYING vec4 vLightClip;
VARYING vec4 vShadowCoord;
VARYING float vFogFactor;

#ifdef VERTEX
void SkinToWorld(out vec4 pos) {
    ivec4 idx = D3DCOLORtoUBYTE4(aBlendIndices);
    vec4 p = vec4(aPosition.xyz, 1.0);
    float w[4] = float[4](aBlendWeight.x, aBlendWeight.y, aBlendWeight.z, aBlendWeight.w);
    float last = 1.0;
    pos = vec4(0.0);
    for (int i = 0; i < CurNumBones && i < 3; ++i) {
        pos += w[i] * (mWorldMatrixArray[idx[i]] * p);
        last -= w[i];
    }
    pos += last * (mWorldMatrixArray[idx[clamp(CurNumBones, 0, 3)]] * p);
}

void Clear() {
    vLit = vec3(0.0);
    vShine = vec3(0.0);
    vShadowCoord = vec4(0.0);
    vFogFactor = 1.0;
}

void VS_Depth() {
    Clear();
    vec4 p = vec4(aPosition.xyz, 1.0);
    vLightClip = mLightWVP * p;
    vUv = aTexCoord0.xy;
    gl_Position = ToTarget(vLightClip);
}

void VS_DepthSkin() {
    Clear();
    vec4 world;
    SkinToWorld(world);
    vLightClip = mLightVP * world;
    vUv = aTexCoord0.xy;
    gl_Position = ToTarget(vLightClip);
}

void VS_Scene() {
    vec4 p = vec4(aPosition.xyz, 1.0);
    vec3 world = (mW * p).xyz;
    vec3 n = normalize(mat3(mW) * aNormal);
    vec3 l = -normalize(LightDir);
    vec3 v = normalize(Eyepos.xyz - world);
    float nl = max(dot(n, l), 0.0);
    float shine = nl > 0.0 ? pow(max(dot(n, normalize(l + v)), 0.0), max(Power, 1.0)) : 0.0;
    vLit = Ambient.rgb + Diffuse.rgb * nl;
    vShine = Specular.rgb * shine;
    vUv = aTexCoord0.xy;
    vLightClip = mLightWVP * p;
    vShadowCoord = mLightWVPB * p;
    // The depth compared with the map's, in the same projection as its
    // coordinates (the bias keeps w).
    vShadowCoord.z = vLightClip.z - Margin * vLightClip.w;
    // vFog: the fog factor is vFog.x + vFog.y * distance (1 clear, 0 fogged).
    vFogFactor = vFog.y < 0.0 ? clamp(vFog.x + vFog.y * length((mWV * p).xyz), 0.0, 1.0) : 1.0;
    gl_Position = ToTarget(mWVP * p);
}
#endif

#ifdef FRAGMENT
void PS_Depth() {
    float d = vLightClip.z / vLightClip.w;
    oColor = vec4(d, d, d, 1.0);
}

void PS_DepthAlphaTest() {
    if (texture(MeshTex, vUv).a < 0.5) discard;
    float d = vLightClip.z / vLightClip.w;
    oColor = vec4(d, d, d, 1.0);
}

// Share of the four nearest texels that see something nearer the light;
// nothing off the map or beyond its far plane is shadowed.
float ShadowAmount() {
    if (vShadowCoord.w <= 0.0 || vShadowCoord.z > vShadowCoord.w) return 0.0;
    return 1.0 - textureProj(ShadowTex, vShadowCoord);
}

void PS_Scene() {
    vec4 tex = texture(MeshTex, vUv);
    vec3 color = vLit * tex.rgb + vShine;
    color *= mix(1.0, clamp(ShadowPow, 0.0, 1.0), ShadowAmount());
    color = mix(FogColor.rgb, color, vFogFactor);
    oColor = vec4(color, Diffuse.a * tex.a);
}
#endif
}}

technique ShadowMap {
    pass P0 {
        vertex VS_Depth;
        fragment PS_Depth;
    }
}

technique ShadowMapSkin {
    pass P0 {
        vertex VS_DepthSkin;
        fragment PS_Depth;
    }
}

technique ShadowMapAlphaTest {
    pass P0 {
        vertex VS_Depth;
        fragment PS_DepthAlphaTest;
    }
}

technique ShadowMapScene {
    pass P0 {
        vertex VS_Scene;
        fragment PS_Scene;
    }
}
