#pragma once
// The battle camera a robot drives (CRobot_Normal::UpdateCamera lives in
// RobotCamera.cpp) and the two small matrix operations it shares with the
// battleship's control.
#include "platform/core/Types.h"
#include "platform/math/MathTypes.h"

// Turns a matrix about Y by degrees on the right, keeping its translation row.
void RotateMatrixYInPlace(Mat4* m, float degrees);

// The camera shake: one step of the scene's counter and phase applied to the
// camera position's height (counter 0 leaves everything alone).
void StepCameraShake(Mat4* camera, i32* counter, i32* phase);

// Where the spectator cameras' own keys and fly offsets are kept between
// frames; a new battle starts them over.
void ResetFreeCameras();
