#pragma once
// What the room server's tests share beside the wire: a room of four seats
// that lives as long as the test, and a player kept heard while it waits.
#include "roomserver/RoomServer.h"
#include "support/RoomWire.h"

namespace roomwire {

inline RoomServerConfig FourSeatRoom()
{
    RoomServerConfig config;
    config.capacity = 4;
    config.lifetimeMs = 0;
    return config;
}

// A ping on the data connection, as a game keeps its seat, without waiting
// for the echo.
inline void KeepHeard(Client& c)
{
    c.data->Send(Msg(12, 2));
    c.data->Pump();
    c.data->got.clear();
}

}  // namespace roomwire
