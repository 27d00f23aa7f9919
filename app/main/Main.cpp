// Entry point of the game executable: the one file that sees every layer.
// The layers above the application shell register their hooks here (the
// scenes of the title menu's entries, the demonstration battle, the story
// objects, the network dispatchers) before the program starts; a hook left
// unset keeps the behaviour written beside it.
#include "app/core/Startup.h"

int main() { return GameMain(); }
