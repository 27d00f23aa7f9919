#pragma once
// Inside platform/ only: the SDL events themselves, for the dialog's UI.
union SDL_Event;

namespace plat {

// Sees every SDL event as it is taken (the dialog's UI reads them); null
// removes the observer.
using RawEventObserver = void (*)(const SDL_Event& event);
void SetRawEventObserver(RawEventObserver observer);

}  // namespace plat
