#pragma once
// The OpenGL 3.3 core functions the GL backend and the effects use, fetched
// through SDL's loader once a context exists, and the GL values of the
// device's states. Only platform/GfxGL*.cpp and platform/gfx/EffectGL.cpp
// include this.
#include <GL/glcorearb.h>

#include <string>

#include "platform/gfx/Gfx.h"

namespace plat::gl {

#define QUILLON_GL_FUNCTIONS(X)                                                \
    X(PFNGLGETSTRINGPROC, GetString)                                           \
    X(PFNGLGETINTEGERVPROC, GetIntegerv)                                       \
    X(PFNGLGETBOOLEANVPROC, GetBooleanv)                                       \
    X(PFNGLGETFLOATVPROC, GetFloatv)                                           \
    X(PFNGLISENABLEDPROC, IsEnabled)                                           \
    X(PFNGLGETERRORPROC, GetError)                                             \
    X(PFNGLENABLEPROC, Enable)                                                 \
    X(PFNGLDISABLEPROC, Disable)                                               \
    X(PFNGLVIEWPORTPROC, Viewport)                                             \
    X(PFNGLDEPTHRANGEPROC, DepthRange)                                         \
    X(PFNGLSCISSORPROC, Scissor)                                               \
    X(PFNGLCLEARPROC, Clear)                                                   \
    X(PFNGLCLEARCOLORPROC, ClearColor)                                         \
    X(PFNGLCLEARDEPTHPROC, ClearDepth)                                         \
    X(PFNGLCLEARSTENCILPROC, ClearStencil)                                     \
    X(PFNGLCOLORMASKPROC, ColorMask)                                           \
    X(PFNGLDEPTHMASKPROC, DepthMask)                                           \
    X(PFNGLSTENCILMASKPROC, StencilMask)                                       \
    X(PFNGLDEPTHFUNCPROC, DepthFunc)                                           \
    X(PFNGLSTENCILFUNCPROC, StencilFunc)                                       \
    X(PFNGLSTENCILOPPROC, StencilOp)                                           \
    X(PFNGLBLENDFUNCPROC, BlendFunc)                                           \
    X(PFNGLBLENDEQUATIONPROC, BlendEquation)                                   \
    X(PFNGLCULLFACEPROC, CullFace)                                             \
    X(PFNGLFRONTFACEPROC, FrontFace)                                           \
    X(PFNGLPOLYGONMODEPROC, PolygonMode)                                       \
    X(PFNGLPIXELSTOREIPROC, PixelStorei)                                       \
    X(PFNGLREADPIXELSPROC, ReadPixels)                                         \
    X(PFNGLREADBUFFERPROC, ReadBuffer)                                         \
    X(PFNGLDRAWBUFFERPROC, DrawBuffer)                                         \
    X(PFNGLFINISHPROC, Finish)                                                 \
    X(PFNGLGENTEXTURESPROC, GenTextures)                                       \
    X(PFNGLDELETETEXTURESPROC, DeleteTextures)                                 \
    X(PFNGLBINDTEXTUREPROC, BindTexture)                                       \
    X(PFNGLTEXIMAGE2DPROC, TexImage2D)                                         \
    X(PFNGLTEXSUBIMAGE2DPROC, TexSubImage2D)                                   \
    X(PFNGLTEXPARAMETERIPROC, TexParameteri)                                   \
    X(PFNGLTEXPARAMETERIVPROC, TexParameteriv)                                 \
    X(PFNGLACTIVETEXTUREPROC, ActiveTexture)                                   \
    X(PFNGLGENSAMPLERSPROC, GenSamplers)                                       \
    X(PFNGLDELETESAMPLERSPROC, DeleteSamplers)                                 \
    X(PFNGLBINDSAMPLERPROC, BindSampler)                                       \
    X(PFNGLSAMPLERPARAMETERIPROC, SamplerParameteri)                           \
    X(PFNGLSAMPLERPARAMETERFPROC, SamplerParameterf)                           \
    X(PFNGLSAMPLERPARAMETERFVPROC, SamplerParameterfv)                         \
    X(PFNGLGENBUFFERSPROC, GenBuffers)                                         \
    X(PFNGLDELETEBUFFERSPROC, DeleteBuffers)                                   \
    X(PFNGLBINDBUFFERPROC, BindBuffer)                                         \
    X(PFNGLBUFFERDATAPROC, BufferData)                                         \
    X(PFNGLBUFFERSUBDATAPROC, BufferSubData)                                   \
    X(PFNGLBINDBUFFERBASEPROC, BindBufferBase)                                 \
    X(PFNGLGENVERTEXARRAYSPROC, GenVertexArrays)                               \
    X(PFNGLDELETEVERTEXARRAYSPROC, DeleteVertexArrays)                         \
    X(PFNGLBINDVERTEXARRAYPROC, BindVertexArray)                               \
    X(PFNGLENABLEVERTEXATTRIBARRAYPROC, EnableVertexAttribArray)               \
    X(PFNGLDISABLEVERTEXATTRIBARRAYPROC, DisableVertexAttribArray)             \
    X(PFNGLVERTEXATTRIBPOINTERPROC, VertexAttribPointer)                       \
    X(PFNGLVERTEXATTRIB4FPROC, VertexAttrib4f)                                 \
    X(PFNGLCREATESHADERPROC, CreateShader)                                     \
    X(PFNGLSHADERSOURCEPROC, ShaderSource)                                     \
    X(PFNGLCOMPILESHADERPROC, CompileShader)                                   \
    X(PFNGLGETSHADERIVPROC, GetShaderiv)                                       \
    X(PFNGLGETSHADERINFOLOGPROC, GetShaderInfoLog)                             \
    X(PFNGLDELETESHADERPROC, DeleteShader)                                     \
    X(PFNGLCREATEPROGRAMPROC, CreateProgram)                                   \
    X(PFNGLATTACHSHADERPROC, AttachShader)                                     \
    X(PFNGLLINKPROGRAMPROC, LinkProgram)                                       \
    X(PFNGLGETPROGRAMIVPROC, GetProgramiv)                                     \
    X(PFNGLGETPROGRAMINFOLOGPROC, GetProgramInfoLog)                           \
    X(PFNGLUSEPROGRAMPROC, UseProgram)                                         \
    X(PFNGLDELETEPROGRAMPROC, DeleteProgram)                                   \
    X(PFNGLGETUNIFORMLOCATIONPROC, GetUniformLocation)                         \
    X(PFNGLUNIFORM1IPROC, Uniform1i)                                           \
    X(PFNGLUNIFORM1IVPROC, Uniform1iv)                                         \
    X(PFNGLUNIFORM4IPROC, Uniform4i)                                           \
    X(PFNGLUNIFORM4FPROC, Uniform4f)                                           \
    X(PFNGLUNIFORM1FVPROC, Uniform1fv)                                         \
    X(PFNGLUNIFORM2FVPROC, Uniform2fv)                                         \
    X(PFNGLUNIFORM3FVPROC, Uniform3fv)                                         \
    X(PFNGLUNIFORM4FVPROC, Uniform4fv)                                         \
    X(PFNGLUNIFORMMATRIX4FVPROC, UniformMatrix4fv)                             \
    X(PFNGLGETUNIFORMBLOCKINDEXPROC, GetUniformBlockIndex)                     \
    X(PFNGLUNIFORMBLOCKBINDINGPROC, UniformBlockBinding)                       \
    X(PFNGLGENFRAMEBUFFERSPROC, GenFramebuffers)                               \
    X(PFNGLDELETEFRAMEBUFFERSPROC, DeleteFramebuffers)                         \
    X(PFNGLBINDFRAMEBUFFERPROC, BindFramebuffer)                               \
    X(PFNGLFRAMEBUFFERTEXTURE2DPROC, FramebufferTexture2D)                     \
    X(PFNGLFRAMEBUFFERRENDERBUFFERPROC, FramebufferRenderbuffer)               \
    X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, CheckFramebufferStatus)                 \
    X(PFNGLBLITFRAMEBUFFERPROC, BlitFramebuffer)                               \
    X(PFNGLGENRENDERBUFFERSPROC, GenRenderbuffers)                             \
    X(PFNGLDELETERENDERBUFFERSPROC, DeleteRenderbuffers)                       \
    X(PFNGLBINDRENDERBUFFERPROC, BindRenderbuffer)                             \
    X(PFNGLRENDERBUFFERSTORAGEPROC, RenderbufferStorage)                       \
    X(PFNGLDRAWARRAYSPROC, DrawArrays)                                         \
    X(PFNGLDRAWELEMENTSPROC, DrawElements)                                     \
    X(PFNGLDRAWELEMENTSBASEVERTEXPROC, DrawElementsBaseVertex)

#define QUILLON_GL_DECLARE(type, name) extern type name;
QUILLON_GL_FUNCTIONS(QUILLON_GL_DECLARE)
#undef QUILLON_GL_DECLARE

// Fetches every function for the current context; false (with the missing
// name in *missing) when one is absent.
bool LoadFunctions(const char** missing);

// Whether LoadFunctions has fetched every function.
bool Loaded();

}  // namespace plat::gl

namespace plat {

// GL values of the device's comparison, blend, blend operation and
// primitive kinds; unknown values map to the device's defaults.
GLenum GlCompare(u32 cmp);
GLenum GlBlend(u32 blend);
GLenum GlBlendOp(u32 op);
GLenum GlPrimitive(GfxPrimitive type);

// Which step of GlBuildProgram failed.
enum class GlBuildStep { None, VertexStage, FragmentStage, Link };

// A program from a vertex and a fragment stage, each given as source parts.
// 0 when a stage does not compile or the program does not link, with the
// step in *failed and the driver's log in *log; nothing is left behind.
GLuint GlBuildProgram(const char* const* vertexParts, GLsizei vertexCount, const char* const* fragmentParts,
                      GLsizei fragmentCount, GlBuildStep* failed, std::string* log);

}  // namespace plat
