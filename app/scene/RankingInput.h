#pragma once
// The three-letter name entry of a new ranking place, typed with the arrow
// keys as glyph codes 0..31 of "Quillon/Font.png". The owner (the survival
// judge, the arcade mode) creates it, ends it with done and saves the table.
#include "app/player/RankingTable.h"
#include "engine/core/TaskList.h"
#include "engine/graphics/TextureManager.h"
#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"

class TCB_DrawSP_RankingInput;

class TCB_RankingInput : public TCB {
public:
    static TCB_RankingInput* Create(CList<TCB>* list, u32 priority);
    // Inserts a nameless entry into the table and shows the entry screen;
    // a score that misses the table shows nothing (its owner ends it at once).
    void Start(RankingTable* table, u32 robotType, i32 score, u32 count);
    bool Placed() const { return place >= 0 && place < 10; }
    // Edits the name; removes itself and its drawing once done is set.
    i32 Proc() override;

    TCB_DrawSP_RankingInput* drawing = nullptr;
    i32 place = 10;
    i32 cursor = 0;
    RankingTable* table = nullptr;
    u8 done = 0;
};

class TCB_DrawSP_RankingInput : public TCB {
public:
    TCB_DrawSP_RankingInput();
    ~TCB_DrawSP_RankingInput() override;
    static TCB_DrawSP_RankingInput* Create(CList<TCB>* list, u32 priority);
    void DrawSP() override;

    TCB_RankingInput* input = nullptr;
    Mat4 transform;
    u32 count = 0;
    i32 score = 0;
    TextureHandle resultPicture;
    TextureHandle cursorPicture;
    TextureHandle fontPicture;
};

// A new place's entry (robot type, score, kills) on list; null, with
// nothing to finish, when the score misses the table. Its owner ends it by
// setting done.
TCB_RankingInput* StartRankingInput(CList<TCB>* list, RankingTable* table, i32 robotType, i32 score, i32 kills);

// One glyph cell of "Quillon/Font.png" at (x, y) of the layout; codes from
// a score file beyond the 32 cells are drawn as the last one.
void DrawRankingGlyph(TextureHandle& font, u8 code, f32 x, f32 y);
