// Lit meshes that mirror the environment cube: rigid ("Reflection") and
// palette-skinned ("Skin"). "Reflection" blends the mirrored colour over the
// lit colour (0 none, 1 a perfect mirror).

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
param float Reflection = 0.5;
param samplerCube EnvTex clamp;
param vec2 vFog;
param vec4 FogColor = 0.5 0.5 0.5 1;
param mat4 mWorldMatrixArray[26];
param int CurNumBones;

glsl {{
VARYING vec3 vWorldPos;
VARYING vec3 vNormal;
VARYING vec2 vUv;
VARYING float vEyeDistance;

#ifdef VERTEX
void SkinToWorld(out vec4 pos, out vec3 nrm) {
    ivec4 idx = D3DCOLORtoUBYTE4(aBlendIndices);
    vec4 p = vec4(aPosition.xyz, 1.0);
    float w[4] = float[4](aBlendWeight.x, aBlendWeight.y, aBlendWeight.z, aBlendWeight.w);
    float last = 1.0;
    pos = vec4(0.0);
    nrm = vec3(0.0);
    for (int i = 0; i < CurNumBones && i < 3; ++i) {
        pos += w[i] * (mWorldMatrixArray[idx[i]] * p);
        nrm += w[i] * (mat3(mWorldMatrixArray[idx[i]]) * aNormal);
        last -= w[i];
    }
    int l = clamp(CurNumBones, 0, 3);
    pos += last * (mWorldMatrixArray[idx[l]] * p);
    nrm += last * (mat3(mWorldMatrixArray[idx[l]]) * aNormal);
}

void VS_Reflection() {
    vec4 p = vec4(aPosition.xyz, 1.0);
    vWorldPos = (mW * p).xyz;
    vNormal = mat3(mW) * aNormal;
    vUv = aTexCoord0.xy;
    vEyeDistance = length((mWV * p).xyz);
    gl_Position = ToTarget(mWVP * p);
}

void VS_Skin() {
    vec4 world;
    vec3 n;
    SkinToWorld(world, n);
    vWorldPos = world.xyz;
    vNormal = n;
    vUv = aTexCoord0.xy;
    vEyeDistance = length(Eyepos.xyz - world.xyz);
    gl_Position = ToTarget(mVP * world);
}
#endif

#ifdef FRAGMENT
void PS_Reflection() {
    vec3 n = normalize(vNormal);
    vec3 l = -normalize(LightDir);
    vec3 v = normalize(Eyepos.xyz - vWorldPos);
    float nl = max(dot(n, l), 0.0);
    float shine = nl > 0.0 ? pow(max(dot(n, normalize(l + v)), 0.0), max(Power, 1.0)) : 0.0;
    vec4 tex = texture(MeshTex, vUv);
    vec3 lit = (Ambient.rgb + Diffuse.rgb * nl) * tex.rgb;
    vec3 mirrored = texture(EnvTex, reflect(-v, n)).rgb;
    vec3 color = mix(lit, mirrored, clamp(Reflection, 0.0, 1.0)) + Specular.rgb * shine;
    // vFog: the fog factor is vFog.x + vFog.y * distance (1 clear, 0 fogged).
    if (vFog.y < 0.0) {
        float f = clamp(vFog.x + vFog.y * vEyeDistance, 0.0, 1.0);
        color = mix(FogColor.rgb, color, f);
    }
    oColor = vec4(color, Diffuse.a * tex.a);
}
#endif
}}

technique Reflection {
    pass P0 {
        vertex VS_Reflection;
        fragment PS_Reflection;
    }
}

technique Skin {
    pass P0 {
        vertex VS_Skin;
        fragment PS_Reflection;
    }
}
