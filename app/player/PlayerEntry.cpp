#include "app/player/PlayerEntry.h"

#include <cstring>

#include "app/player/GameItem.h"

PlayerEntry::PlayerEntry() { Reset(); }

PlayerEntry::~PlayerEntry()
{
    for (CGameItem_PowerUp*& part : parts) {
        delete part;
        part = nullptr;
    }
}

void PlayerEntry::Reset()
{
    idNumber = 0;
    std::memset(name, 0, sizeof name);
    slotState = 0;
    robot = 0;
    team = 0;
    computerLevel = 0;
    pilot = 0;
    colorSet = 0;
    readyState = 0;
    pendingRadio = -1;
    std::memset(pendingRadioText, 0, sizeof pendingRadioText);
    std::memset(chatText, 0, sizeof chatText);
    chatTimer = 0;
    leaveFrame = -100;
    departed = 0;
    leaveRun = 0;
    confirmedRuns = 0;
    returnMarker = -100;
    returnRun = 0;
    rankLevel = 0;
    joined = 0;
    inBattle = 0;
    sceneLoaded = 0;
    snapshotState = 0;
    awaitingNewRun = 0;
    peerFps = 0;
    peerPing = 0;
    ping = 0;
    receivedFrames = 0;
    frameMarker = -1;
    waitCounter = 0;
    syncTarget = -1;
    arcadeScore = 0;
    keyQueue.Init();
    for (CGameItem_PowerUp*& part : parts) {
        delete part;
        part = nullptr;
    }
    snapshot.clear();
    resyncRecord.clear();
    heldKeyStates.clear();
}

KEYRECVLIST* PlayerEntry::FindKeyRecord(u32 frame)
{
    if (!keyQueue.GetHead()) return nullptr;
    for (KEYRECVLIST* k = keyQueue.GetHead()->next; k && k != keyQueue.GetTail(); k = k->next)
        if (k->frame == frame && k->applied == 0) return k;
    return nullptr;
}
