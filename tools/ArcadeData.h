#pragma once
// Writes the arcade screen's pictures: the failed picture of a lost stage,
// the two streak pictures, each stage's "SelectImage2.png" and each robot's
// "Select2.png" (the new-robot screen). Robots and stages must have been
// written first. false (after a message on stderr) when a file fails.
bool MakeArcadeData(const char* runFolder);
