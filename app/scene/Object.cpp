#include "app/scene/Object.h"

#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/MeshObject.h"

void CObject::SetWorld()
{
    if (plat::GfxDevice* d = GetGraphicsDevice()->device) d->SetTransform(plat::GfxTransform::World, world);
}

void CObject::Draw()
{
    if (mesh) mesh->Draw();
}

void CObject::DrawShader(ShaderBase* shader)
{
    if (mesh) mesh->DrawShader(shader);
}
