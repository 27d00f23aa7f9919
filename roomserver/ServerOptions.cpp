#include "roomserver/ServerOptions.h"

#include <cstdlib>
#include <cstring>

void PrintServerUsage(FILE* to)
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

int ParseServerOptions(int argc, const char* const* argv, ServerOptions* out, FILE* errors)
{
    ServerOptions o;
    o.config.title = "Quillon room";
    o.config.lifetimeMs = 0;
    o.config.listenIp = 0;
    o.config.log = stdout;
    long capacity = 4, rule = 0;
    for (int i = 1; i < argc; ++i) {
        const char* option = argv[i];
        if (!std::strcmp(option, "--help") || !std::strcmp(option, "-h")) {
            PrintServerUsage(stdout);
            return 0;
        }
        if (!std::strcmp(option, "--quiet")) {
            o.config.log = nullptr;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(errors, "option %s needs a value\n", option);
            PrintServerUsage(errors);
            return 2;
        }
        const char* value = argv[++i];
        char* end = nullptr;
        const long v = std::strtol(value, &end, 10);
        const bool number = end && *end == 0 && end != value;
        if (!std::strcmp(option, "--title")) o.config.title = value;
        else if (!std::strcmp(option, "--address")) {
            u32 ip = 0;
            if (!plat::NetResolveIPv4(value, &ip)) {
                std::fprintf(errors, "cannot use address %s\n", value);
                return 2;
            }
            o.config.listenIp = ip;
        } else if (!number) {
            std::fprintf(errors, "option %s needs a number, not %s\n", option, value);
            return 2;
        } else if (!std::strcmp(option, "--rooms")) o.rooms = v;
        else if (!std::strcmp(option, "--capacity")) capacity = v;
        else if (!std::strcmp(option, "--rule")) rule = v;
        else if (!std::strcmp(option, "--game-base")) o.gameBase = v;
        else if (!std::strcmp(option, "--data-base")) o.dataBase = v;
        else if (!std::strcmp(option, "--seconds")) o.seconds = v;
        else {
            std::fprintf(errors, "unknown option %s\n", option);
            PrintServerUsage(errors);
            return 2;
        }
    }
    if (o.rooms < 1 || o.rooms > 5 || capacity < 1 || capacity > 10 || rule < 0 || rule > 4 || o.gameBase < 0 ||
        o.gameBase > 65530 || o.dataBase < 0 || o.dataBase > 65530 || o.seconds < 0) {
        std::fprintf(errors, "rooms 1..5, capacity 1..10, rule 0..4, ports 0..65530, seconds 0 or more\n");
        return 2;
    }
    o.config.capacity = u32(capacity);
    o.config.rule = u8(rule);
    *out = o;
    return -1;
}
