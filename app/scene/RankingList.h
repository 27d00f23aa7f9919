#pragma once
// The ten places of a ranking table as a list that slides in from the right:
// place, name glyphs, score, count and the robot's face strip.
#include <memory>
#include <string>
#include <vector>

#include "engine/core/TaskList.h"
#include "engine/graphics/TextureManager.h"
#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"

class RankingTable;
class TCB_DrawSP_RankingList;

class TCB_RankingList : public TCB {
public:
    static TCB_RankingList* Create(CList<TCB>* list, u32 priority);
    // Shows the table with its rows x layout units to the right.
    void Start(RankingTable* table, f32 startX);
    // Removes itself and its drawing once closing is set.
    i32 Proc() override;

    TCB_DrawSP_RankingList* drawing = nullptr;
    RankingTable* table = nullptr;
    u8 closing = 0;
    f32 x = 0.0f;
    std::string title;
};

// The list of table sliding in from x under title, at priority 1 on list;
// null when it cannot be made.
TCB_RankingList* StartRankingList(CList<TCB>* list, RankingTable* table, float x, const char* title);

class TCB_DrawSP_RankingList : public TCB {
public:
    // Loads the list and font pictures; a robot type's face strip loads the
    // first time the table shows it, so only the types in the table do.
    TCB_DrawSP_RankingList();
    static TCB_DrawSP_RankingList* Create(CList<TCB>* list, u32 priority);
    void DrawSP() override;
    // The face strip of a robot type below faces.size().
    TextureHandle& Face(u32 robotType);

    TextureHandle listPicture;
    TextureHandle fontPicture;
    std::vector<std::unique_ptr<TextureHandle>> faces;  // one per robot type, empty until shown
    std::vector<bool> faceTried;
    std::string folder;  // where the robot folders are
    Mat4 transform;
    TCB_RankingList* list = nullptr;
};
