#pragma once
// Writes the sample battleship under runFolder/robo/senkan00 and, for the
// second ship number, runFolder/robo/senkan01: hull, turrets with barrels,
// weapon points 0-15, burners, a missile mesh, the hit hull "hit.x",
// "Script.spt" and "Script.ani" with the model. false (after a message on
// stderr) on failure.
bool MakeShipData(const char* runFolder);
