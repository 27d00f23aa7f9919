#pragma once
// The two Direct3D processor-pipeline values ("DisablePSGP" and
// "DisableD3DXPSGP" under "software\Microsoft\Direct3D") that the game sets
// while it runs and puts back when it ends. Failures are silent.

// Sets each value that reads 0 (or is missing) to 1.
void DisablePSGP();
// Sets each value that reads exactly 1 back to 0; other values stay.
void RestorePSGP();
