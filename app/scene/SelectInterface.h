#pragma once
// A horizontally wrapping ring of pictures with names: the entry at the
// target glides to the middle of the screen the short way round. The
// creating scene fills the arrays, the count, the geometry and the target.
#include <string>

#include "engine/core/TaskList.h"
#include "engine/graphics/TextureManager.h"
#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"

class TCB_SelectInterface : public TCB {
public:
    TCB_SelectInterface() = default;
    // Frees both arrays (not the pictures they point to).
    ~TCB_SelectInterface() override;
    static TCB_SelectInterface* Create(CList<TCB>* list, u32 priority);
    // Makes both arrays afresh for count entries (no pictures, empty labels)
    // and sets the geometry, the target and the position. A negative count
    // makes an empty ring.
    void Setup(i32 n, i32 top, i32 width, i32 height, i32 selected, f32 shown);
    // Moves the target by delta, wrapping round the ring; nothing on an empty ring.
    void Move(i32 delta);

    // Moves the position a tenth of the way toward the target each frame.
    i32 Proc() override;
    void DrawSP() override;

    TextureHandle** pictures = nullptr;  // n entries, each may be null; new[]
    std::string* labels = nullptr;       // n entries; new[]
    i32 count = 0;
    i32 target = 0;
    f32 position = 0.0f;
    i32 active = 1;
    i32 visible = 1;
    i32 y = 0;
    i32 cellWidth = 0;
    i32 cellHeight = 0;
    i32 showIndex = 1;
    Mat4 transform;
};

// One step of the ring's position toward the target on a ring of n entries.
f32 StepRingPosition(f32 position, i32 target, i32 n);
