#pragma once
// What a scene frame asks of the graphics device: whether it may draw
// (lost-device recovery) and one frame of drawing between begin-scene and
// present.

// False while the device is lost and could not be recovered this pass.
bool SceneDeviceReady();

// Clears the back buffer, runs the 3D pass and the sprite pass on ctx, and
// presents. Sets the application's frame-drawn flag when a frame reached
// the screen.
void SceneDrawFrame(void (*drawPass)(void* ctx), void (*spritePass)(void* ctx), void* ctx);
