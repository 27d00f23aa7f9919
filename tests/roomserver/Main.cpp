// The test room server as a program, for playing online on one machine or a
// local network: quillon_roomserver [--rooms N] [--capacity N] [--rule N]
// [--game-base PORT] [--data-base PORT] [--seconds N]. Ports default to
// 2362 + room and 3362 + room; a base of 0 takes free ports.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/core/Time.h"
#include "support/RoomServer.h"

int main(int argc, char** argv)
{
    RoomServerConfig config;
    config.title = "Quillon room";
    config.lifetimeMs = 0;
    long rooms = 5, gameBase = 2362, dataBase = 3362, seconds = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const long v = std::strtol(argv[i + 1], nullptr, 10);
        if (!std::strcmp(argv[i], "--rooms")) rooms = v;
        else if (!std::strcmp(argv[i], "--capacity")) config.capacity = u32(v);
        else if (!std::strcmp(argv[i], "--rule")) config.rule = u8(v < 0 || v > 4 ? 0 : v);
        else if (!std::strcmp(argv[i], "--game-base")) gameBase = v;
        else if (!std::strcmp(argv[i], "--data-base")) dataBase = v;
        else if (!std::strcmp(argv[i], "--seconds")) seconds = v;
        else {
            std::fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
    }
    if (rooms < 1 || rooms > 5 || gameBase < 0 || gameBase > 65530 || dataBase < 0 || dataBase > 65530) {
        std::fprintf(stderr, "rooms 1..5, ports 0..65530\n");
        return 2;
    }
    RoomServer server(u32(rooms), config, u16(gameBase), u16(dataBase));
    if (!server.Listening()) {
        std::fprintf(stderr, "cannot listen on the room ports\n");
        return 1;
    }
    for (long r = 0; r < rooms; ++r)
        std::printf("room %ld: game port %u, data port %u\n", r, server.GamePort(u32(r)), server.DataPort(u32(r)));
    std::fflush(stdout);
    const u32 start = plat::TimeGetTime();
    while (seconds == 0 || plat::TimeGetTime() - start < u32(seconds) * 1000u) plat::Sleep(100);
    return 0;
}
