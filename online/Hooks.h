#pragma once
// Online play's side of the hook tables of the tiers below: the network
// step of the main loop (receive queues and dispatchers), the client pair's
// getter and the battle's message senders.
void RegisterOnlineHooks();
