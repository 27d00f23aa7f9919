#pragma once
// One line of the chat log shown in rooms and battles; the log is the
// application's CList<ChatNode>, newest line first.
#include <string>

#include "engine/core/TaskList.h"
#include "platform/core/Types.h"

class ChatNode : public CListNode<ChatNode> {
public:
    u32 colour = 0xFFFFFFFFu; // ARGB
    std::string text;
};
