#pragma once
// The room server program's command line: every option checked, a value out
// of its range refused rather than quietly changed.
#include <cstdio>

#include "roomserver/RoomServer.h"

struct ServerOptions {
    RoomServerConfig config;
    long rooms = 5;
    long gameBase = 2362;
    long dataBase = 3362;
    long seconds = 0;
};

// The longest --seconds: 30 days.
inline constexpr long kMaxServerSeconds = 30l * 24 * 3600;

// Reads argv into *out. -1: run the server; otherwise the exit code to end
// with (0 after the help text, 2 for a wrong option or value), the reason
// written to `errors`.
int ParseServerOptions(int argc, const char* const* argv, ServerOptions* out, FILE* errors);

void PrintServerUsage(FILE* to);
