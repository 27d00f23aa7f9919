// quillon_roomserver: the room server for playing online on one machine or a
// local network. It logs a line per connection and per dropped message and
// stops cleanly on SIGTERM or Ctrl+C.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/core/Time.h"
#include "roomserver/RoomServer.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnStopSignal(int) { g_stop = 1; }

void Usage(FILE* to)
{
    std::fprintf(to,
                 "usage: quillon_roomserver [options]\n"
                 "  --address IP      address to listen on (default 0.0.0.0: every interface;\n"
                 "                    127.0.0.1 keeps the rooms to this machine)\n"
                 "  --rooms N         rooms 1..5 (default 5)\n"
                 "  --capacity N      players per room 1..10 (default 4)\n"
                 "  --rule N          room rule 0..4 (default 0)\n"
                 "  --title TEXT      room title shown in the room list\n"
                 "  --game-base PORT  room r's game port is PORT + r (default 2362; 0: free ports)\n"
                 "  --data-base PORT  room r's data port is PORT + r (default 3362; 0: free ports)\n"
                 "  --seconds N       stop after N seconds (default 0: run until stopped)\n"
                 "  --quiet           no log lines\n"
                 "  --help            this text\n");
}

}  // namespace

int main(int argc, char** argv)
{
    RoomServerConfig config;
    config.title = "Quillon room";
    config.lifetimeMs = 0;
    config.listenIp = 0;
    config.log = stdout;
    long rooms = 5, gameBase = 2362, dataBase = 3362, seconds = 0;
    for (int i = 1; i < argc; ++i) {
        const char* option = argv[i];
        if (!std::strcmp(option, "--help") || !std::strcmp(option, "-h")) {
            Usage(stdout);
            return 0;
        }
        if (!std::strcmp(option, "--quiet")) {
            config.log = nullptr;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "option %s needs a value\n", option);
            Usage(stderr);
            return 2;
        }
        const char* value = argv[++i];
        char* end = nullptr;
        const long v = std::strtol(value, &end, 10);
        const bool number = end && *end == 0 && end != value;
        if (!std::strcmp(option, "--title")) config.title = value;
        else if (!std::strcmp(option, "--address")) {
            u32 ip = 0;
            if (!plat::NetResolveIPv4(value, &ip)) {
                std::fprintf(stderr, "cannot use address %s\n", value);
                return 2;
            }
            config.listenIp = ip;
        } else if (!number) {
            std::fprintf(stderr, "option %s needs a number, not %s\n", option, value);
            return 2;
        } else if (!std::strcmp(option, "--rooms")) rooms = v;
        else if (!std::strcmp(option, "--capacity")) config.capacity = u32(v < 1 ? 1 : (v > 10 ? 10 : v));
        else if (!std::strcmp(option, "--rule")) config.rule = u8(v < 0 || v > 4 ? 0 : v);
        else if (!std::strcmp(option, "--game-base")) gameBase = v;
        else if (!std::strcmp(option, "--data-base")) dataBase = v;
        else if (!std::strcmp(option, "--seconds")) seconds = v;
        else {
            std::fprintf(stderr, "unknown option %s\n", option);
            Usage(stderr);
            return 2;
        }
    }
    if (rooms < 1 || rooms > 5 || gameBase < 0 || gameBase > 65530 || dataBase < 0 || dataBase > 65530 ||
        seconds < 0) {
        std::fprintf(stderr, "rooms 1..5, ports 0..65530, seconds 0 or more\n");
        return 2;
    }
    std::signal(SIGTERM, OnStopSignal);
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGPIPE, SIG_IGN);
    {
        RoomServer server(u32(rooms), config, u16(gameBase), u16(dataBase));
        if (!server.Listening()) {
            std::fprintf(stderr, "cannot listen on the room ports\n");
            return 1;
        }
        for (long r = 0; r < rooms; ++r)
            std::printf("room %ld: game port %u, data port %u\n", r, server.GamePort(u32(r)), server.DataPort(u32(r)));
        std::fflush(stdout);
        const u32 start = plat::TimeGetTime();
        while (!g_stop && (seconds == 0 || plat::TimeGetTime() - start < u32(seconds) * 1000u)) plat::Sleep(50);
    }
    std::printf("room server stopped\n");
    return 0;
}
