#include "engine/graphics/WindowSize.h"

#include "platform/gfx/Window.h"

void ResizeWindowClient(plat::Window* window, i32 width, i32 height)
{
    if (!window || width < 1 || height < 1) return;
    window->SetClientSize(width, height);
}
