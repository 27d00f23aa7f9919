#pragma once
// The front-end's side of the hook tables of the tiers below: the title
// menu's scenes and demonstration battle, the arcade stories, and the scenes
// a battle returns to.
void RegisterFrontendHooks();
