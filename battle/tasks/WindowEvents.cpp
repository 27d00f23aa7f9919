// Kept apart from the scene's headers: the window event and the thread
// event share a name in the platform layer.
#include "app/core/Application.h"
#include "app/core/MainLoop.h"
#include "battle/tasks/SystemTasks.h"
#include "platform/input/Events.h"

void ServeWindowEvents()
{
    CApplication& app = *GetApplication();
    plat::Event event;
    while (plat::PollEvent(event)) {
        if (event.kind == plat::EventKind::Quit) {
            app.quit = 1;
            continue;
        }
        AppWndProc(app, event);
    }
}
