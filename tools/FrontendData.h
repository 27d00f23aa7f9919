#pragma once
// Writes what the character selection and the ranking screens read: a
// "robo.hod" preview model, a "charaselect.sdt" text and the ranking face
// per robot folder where missing, the large and small "SelectImage"
// pictures of every stage, the headings, result, ranking and glyph
// pictures under Quillon, the selection's sounds, and one user music file.
// Robots and stages must have been written first. false (after a message
// on stderr) when a file fails.
bool MakeFrontendData(const char* runFolder);
