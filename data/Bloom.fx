// Glow. "SpecluarOnly" draws only the bright part of a lit mesh (its
// specular highlight and what is brighter than white) into the HDR target;
// each pass of "Bloom" blurs one image into the next with three taps along
// SampleOffset, weighted by SampleWeight.

param mat4 mW;
param mat4 mP;
param mat4 mWVP;
param mat4 mWV;
param vec3 LightDir = 0 -1 0;
param vec4 Eyepos;
param vec4 Ambient = 0.2 0.2 0.2 1;
param vec4 Diffuse = 0.8 0.8 0.8 1;
param vec4 Specular;
param float Power = 16;
param sampler2D MeshTex;
param vec2 SampleOffset[3];
param float SampleWeight[3] = 0.3 0.45 0.3;
param sampler2D InputTex clamp;

glsl {{
VARYING vec3 vWorldPos;
VARYING vec3 vNormal;
VARYING vec2 vUv;

#ifdef VERTEX
void VS_Specular() {
    vec4 p = vec4(aPosition.xyz, 1.0);
    vWorldPos = (mW * p).xyz;
    vNormal = mat3(mW) * aNormal;
    vUv = aTexCoord0.xy;
    gl_Position = ToTarget(mWVP * p);
}

// The post-process draws a pre-transformed quad over the target.
void VS_Quad() {
    vWorldPos = vec3(0.0);
    vNormal = vec3(0.0, 0.0, 1.0);
    vUv = aTexCoord0.xy;
    gl_Position = FromPixels(aPosition);
}
#endif

#ifdef FRAGMENT
void PS_Specular() {
    vec3 n = normalize(vNormal);
    vec3 l = -normalize(LightDir);
    vec3 v = normalize(Eyepos.xyz - vWorldPos);
    float nl = max(dot(n, l), 0.0);
    float shine = nl > 0.0 ? pow(max(dot(n, normalize(l + v)), 0.0), max(Power, 1.0)) : 0.0;
    vec3 lit = Ambient.rgb + Diffuse.rgb * nl;
    vec3 over = max(lit - vec3(1.0), vec3(0.0));
    oColor = vec4(Specular.rgb * shine + over, 1.0);
}

void PS_Blur() {
    vec4 sum = vec4(0.0);
    for (int k = 0; k < 3; ++k) sum += SampleWeight[k] * texture(InputTex, vUv + SampleOffset[k]);
    oColor = vec4(sum.rgb, 1.0);
}
#endif
}}

technique Bloom {
    pass Blur0 {
        vertex VS_Quad;
        fragment PS_Blur;
        state ZEnable = 0;
        state AlphaBlendEnable = 0;
        state CullMode = 1;
    }
    pass Blur1 {
        vertex VS_Quad;
        fragment PS_Blur;
        state ZEnable = 0;
        state AlphaBlendEnable = 0;
        state CullMode = 1;
    }
    pass Blur2 {
        vertex VS_Quad;
        fragment PS_Blur;
        state ZEnable = 0;
        state AlphaBlendEnable = 0;
        state CullMode = 1;
    }
    pass Blur3 {
        vertex VS_Quad;
        fragment PS_Blur;
        state ZEnable = 0;
        state AlphaBlendEnable = 0;
        state CullMode = 1;
    }
}

technique SpecluarOnly {
    pass P0 {
        vertex VS_Specular;
        fragment PS_Specular;
    }
}
