#pragma once
// The minimal 3D object of the scenes: a mesh (may be null) and its world
// matrix.
#include "platform/math/MathTypes.h"

class MeshObject;
class ShaderBase;

class CObject {
public:
    CObject() = default;
    virtual ~CObject() = default;

    // The world matrix as the device's world transform.
    virtual void SetWorld();
    // Fixed-function draw of the mesh.
    virtual void Draw();
    // Draw of the mesh through an effect wrapper.
    virtual void DrawShader(ShaderBase* shader);

    MeshObject* mesh = nullptr;
    Mat4 world;
};
