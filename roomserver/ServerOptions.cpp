#include "roomserver/ServerOptions.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

void PrintServerUsage(FILE* to)
{
    std::fprintf(to,
                 "usage: quillon_roomserver [options]\n"
                 "  --address IP      address to listen on (default 0.0.0.0: every interface;\n"
                 "                    127.0.0.1 keeps the rooms to this machine)\n"
                 "  --rooms N         rooms 1..5 (default 5)\n"
                 "  --capacity N      players per room 2..10 (default 4); 1 only with rule 2,\n"
                 "                    whose computer waves are the opponent\n"
                 "  --rule N          room rule 0..4 (default 0)\n"
                 "  --title TEXT      room title shown in the room list\n"
                 "  --game-base PORT  room r's game port is PORT + r (default 2362; 0: free ports)\n"
                 "  --data-base PORT  room r's data port is PORT + r (default 3362; 0: free ports)\n"
                 "  --seconds N       stop after N seconds, 0..2592000 (default 0: run until stopped)\n"
                 "  --seat-timeout N  let a seated player go after N seconds without a word\n"
                 "                    from its client, 10..600 (default 45)\n"
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
    long capacity = 4, rule = 0, seatTimeout = 45;
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
        errno = 0;
        const long v = std::strtol(value, &end, 10);
        // A number too long for a long is out of every range, not its limit.
        const bool number = end && *end == 0 && end != value && errno != ERANGE;
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
        else if (!std::strcmp(option, "--seat-timeout")) seatTimeout = v;
        else {
            std::fprintf(errors, "unknown option %s\n", option);
            PrintServerUsage(errors);
            return 2;
        }
    }
    // Each option out of its range is named with the range it has. One seat
    // leaves no place for an opponent, human or computer: only the
    // interception rule's waves can fight a lone player.
    struct Range {
        const char* option;
        long value, low, high;
    };
    const Range ranges[] = {
        {"--rooms", o.rooms, 1, 5},
        {"--rule", rule, 0, 4},
        {"--capacity", capacity, rule == 2 ? 1 : 2, 10},
        {"--game-base", o.gameBase, 0, 65530},
        {"--data-base", o.dataBase, 0, 65530},
        {"--seconds", o.seconds, 0, kMaxServerSeconds},
        {"--seat-timeout", seatTimeout, 10, 600},
    };
    for (const Range& r : ranges)
        if (r.value < r.low || r.value > r.high) {
            std::fprintf(errors, "%s %ld is out of range: %ld..%ld%s\n", r.option, r.value, r.low, r.high,
                         !std::strcmp(r.option, "--capacity") && rule != 2 ? " (1 only with --rule 2, whose "
                                                                              "computer waves are the opponent)"
                                                                            : "");
            return 2;
        }
    o.config.seatTimeoutMs = u32(seatTimeout) * 1000u;
    o.config.capacity = u32(capacity);
    o.config.rule = u8(rule);
    *out = o;
    return -1;
}
