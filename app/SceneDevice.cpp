#include "app/SceneDevice.h"

#include "app/Application.h"

bool SceneDeviceReady() { return true; }

void SceneDrawFrame(void (*drawPass)(void*), void (*spritePass)(void*), void* ctx)
{
    // TODO(graphics device): begin-scene, clear and present around the passes.
    if (drawPass) drawPass(ctx);
    if (spritePass) spritePass(ctx);
    GetApplication()->frameDrawn = 0;
}
