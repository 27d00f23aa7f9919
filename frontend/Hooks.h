#pragma once
// The front-end's side of the hook tables of the tiers below: the title
// menu's character selection, versus room and demonstration battle, and the ranking
// name entry and list the survival judge shows.
void RegisterFrontendHooks();
