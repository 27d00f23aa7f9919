#include "app/player/RoomState.h"

RoomState& GetRoomState()
{
    static RoomState state;
    return state;
}
