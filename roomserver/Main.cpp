// quillon_roomserver: the room server for playing online on one machine or a
// local network. It logs a line per connection and per dropped message and
// stops cleanly on SIGTERM or Ctrl+C.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/core/Time.h"
#include "roomserver/RoomServer.h"
#include "roomserver/ServerOptions.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnStopSignal(int) { g_stop = 1; }

}  // namespace

int main(int argc, char** argv)
{
    ServerOptions options;
    if (const int code = ParseServerOptions(argc, argv, &options, stderr); code >= 0) return code;
    const RoomServerConfig& config = options.config;
    const long rooms = options.rooms, gameBase = options.gameBase, dataBase = options.dataBase,
               seconds = options.seconds;
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
        const u64 lifetimeMs = u64(seconds) * 1000u;  // within u32 for the longest allowed
        while (!g_stop && (seconds == 0 || plat::TimeGetTime() - start < lifetimeMs)) plat::Sleep(50);
    }
    std::printf("room server stopped\n");
    return 0;
}
