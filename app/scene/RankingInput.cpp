#include "app/scene/RankingInput.h"

#include <cstdio>

#include "app/core/Application.h"
#include "app/player/RankingTable.h"
#include "app/scene/DigitDraw.h"
#include "app/scene/SharedPictures.h"
#include "app/scene/SceneDevice.h"
#include "engine/graphics/GraphicsDevice.h"
#include "platform/input/Keyboard.h"
#include "platform/math/Math.h"

namespace {

constexpr u32 DrawingPriority = 10000;

void DrawWhole(TextureHandle& picture, f32 x, f32 y)
{
    if (!picture.texture) return;
    SetSpriteAt(x, y);
    GetGraphicsDevice()->sprite->Draw(picture.texture, &picture.sourceRect, nullptr, nullptr, 0xFFFFFFFFu);
}

}  // namespace

void DrawRankingGlyph(TextureHandle& font, u8 code, f32 x, f32 y)
{
    if (!font.texture) return;
    const i32 c = code < RankingGlyphCount ? code : RankingGlyphCount - 1;
    const plat::GfxRect cell{(c % 8) * 64, (c / 8) * 64, (c % 8) * 64 + 64, (c / 8) * 64 + 64};
    SetSpriteAt(x, y);
    GetGraphicsDevice()->sprite->Draw(font.texture, &cell, nullptr, nullptr, 0xFFFFFFFFu);
}

TCB_RankingInput* TCB_RankingInput::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<TCB_RankingInput>(list, priority);
}

void TCB_RankingInput::Start(RankingTable* rankingTable, u32 robotType, i32 score, u32 count)
{
    table = rankingTable;
    const u8 name[3] = {0, 0, 0};
    place = table ? table->Insert(name, score, count, robotType) : 10;
    cursor = 0;
    // A score that misses the table gets no entry screen: a "new record"
    // with no place and no name to type would tell the player a lie. Its
    // owner goes on to the list at once.
    if (!Placed()) return;
    drawing = TCB_DrawSP_RankingInput::Create(static_cast<CList<TCB>*>(owner), DrawingPriority);
    if (drawing) {
        drawing->input = this;
        drawing->score = score;
        drawing->count = count;
    }
}

i32 TCB_RankingInput::Proc()
{
    CApplication& app = *GetApplication();
    if (table && place >= 0 && place < 10) {
        u8* name = table->entries[place].name;
        if (app.IsKeyRepeat(plat::vk::Left, 1000)) cursor = cursor == 0 ? 2 : cursor - 1;
        if (app.IsKeyRepeat(plat::vk::Right, 1000)) cursor = cursor == 2 ? 0 : cursor + 1;
        if (app.IsKeyRepeat(plat::vk::Up, 300))
            name[cursor] = name[cursor] == 0 || name[cursor] >= RankingGlyphCount ? RankingGlyphCount - 1
                                                                                  : u8(name[cursor] - 1);
        if (app.IsKeyRepeat(plat::vk::Down, 300))
            name[cursor] = name[cursor] >= RankingGlyphCount - 1 ? 0 : u8(name[cursor] + 1);
    }
    if (!done) return kTaskKeep;
    if (drawing) static_cast<CList<TCB>*>(owner)->Erase(drawing);
    drawing = nullptr;
    return kTaskRemove;
}

TCB_DrawSP_RankingInput::TCB_DrawSP_RankingInput()
{
    LoadPicture(resultPicture, "Quillon/result.png");
    LoadPicture(cursorPicture, "Quillon/RankCursor.png");
    LoadPicture(fontPicture, "Quillon/Font.png");
}

TCB_DrawSP_RankingInput::~TCB_DrawSP_RankingInput()
{
    resultPicture.Release();
    cursorPicture.Release();
    fontPicture.Release();
}

TCB_DrawSP_RankingInput* TCB_DrawSP_RankingInput::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<TCB_DrawSP_RankingInput>(list, priority);
}

void TCB_DrawSP_RankingInput::DrawSP()
{
    CApplication& app = *GetApplication();
    if (!GetGraphicsDevice()->sprite) return;
    DrawWhole(resultPicture, 0.0f, 0.0f);
    char text[16];
    std::snprintf(text, sizeof text, "%03u", count % 1000);
    DrawDigitString(app, text, 3, 405.0f, 218.0f, 1.0f, -10, 0xFFFFFFFFu);
    std::snprintf(text, sizeof text, "%09d", score);
    DrawDigitString(app, text, -1, 405.0f, 398.0f, 1.0f, -10, 0xFFFFFFFFu);
    if (!input || !input->table || input->place < 0 || input->place >= 10) return;
    std::snprintf(text, sizeof text, "%02d", input->place + 1);
    DrawDigitString(app, text, -1, 313.0f, 512.0f, 1.0f, -10, 0xFFFFFF00u);
    const u8* name = input->table->entries[input->place].name;
    for (i32 k = 0; k < 3; ++k) DrawRankingGlyph(fontPicture, name[k], 413.0f + 64.0f * f32(k), 512.0f);
    DrawWhole(cursorPicture, 413.0f + 64.0f * f32(input->cursor), 512.0f);
}

TCB_RankingInput* StartRankingInput(CList<TCB>* list, RankingTable* table, i32 robotType, i32 score, i32 kills)
{
    // The owner's tasks run at priority 1.
    TCB_RankingInput* input = TCB_RankingInput::Create(list, 1);
    if (input) input->Start(table, u32(robotType), score, u32(kills));
    if (!input || input->Placed()) return input;
    // Without a place there is no entry to finish: the owner shows the list.
    input->done = 1;
    return nullptr;
}
