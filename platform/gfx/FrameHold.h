#pragma once
// Frames played without anyone looking (a game driven by an input script):
// while held, a scene's drawing to the back buffer lands in one pixel and
// nothing is presented, so the frame's work is done but the screen is not
// filled. Drawing into textures is untouched; the switch is read at each
// BeginScene.
namespace plat {

void HoldBackBufferFrames(bool held);
bool BackBufferFramesHeld();

}  // namespace plat
