#pragma once
// What the OpenGL device lends to code that draws straight to GL beside it
// (the effects): its resources' GL objects, made exactly as its own draws
// make them, so the caller never needs the device's naming of GL objects.
// Only the OpenGL device implements it; reach it with a dynamic_cast from
// the GfxDevice.
#include "platform/gfx/Gfx.h"

namespace plat {

class GfxGLAccess {
public:
    // Texture units from here on are the caller's; the device's stages and
    // its upload unit lie below.
    static constexpr u32 kFirstFreeUnit = 4;

    virtual ~GfxGLAccess() = default;

    // Gives the texture GL storage and its current pixels, then binds it to
    // texture unit `unit`, which is left active.
    virtual void BindTextureToUnit(GfxBaseTexture* texture, u32 unit) = 0;

    // Gives the current render target and depth surface GL storage and
    // binds the device's own framebuffer with them attached, as its draws
    // do: a framebuffer of the caller's holding the same pictures would make
    // the driver finish everything drawn so far at every switch between the
    // two. false when there is no target or they cannot be drawn into
    // together.
    virtual bool BindCurrentTargets() = 0;
};

// The effects' own GL objects of the current context go with it; called by
// the device while its context, about to be deleted, is current.
void ReleaseEffectDrawObjects();

static_assert(GfxGLAccess::kFirstFreeUnit > kGfxStages, "the device's upload unit follows its stages");

}  // namespace plat
