// The data connection's dispatcher sits with the game connection's, in
// online play: the pair itself (app/net/) only carries the messages.
#include "app/net/NetClientPair.h"

void CDataClient::DispatchMessage(u16 id, const u8* body, u32 size)
{
    if (pair) pair->game.DispatchMessage(id, body, size);
}
