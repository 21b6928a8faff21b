#pragma once
// Command line of mos-echo.
#include <cstdint>
#include <string>
#include <vector>

struct MosEchoOptions {
    std::string address = "127.0.0.1";
    std::uint16_t port = 7070; // 0 picks a free port, printed on start
    double baseInterval = 0.0; // written at offset 80; 0 means "no pacing values"
    double serverValue = 0.0; // written at offset 106
    std::int32_t allowedCount = -1; // written at offset 126
    unsigned dropEvery = 0; // drop every n-th datagram; 0 drops none
    unsigned delayMs = 0; // hold each reply this long
    unsigned lateEvery = 0; // every n-th reply is held lateByMs longer; 0 none
    unsigned lateByMs = 0;
    unsigned burst = 0; // hold replies until this many are held, then send all
    unsigned burstTimeoutMs = 1000; // send an incomplete burst after this long
    bool duplicate = false; // send every reply twice
    unsigned pad = 0; // bytes appended to every reply
};

// Parses argv (without the program name). On failure returns false with the
// reason in `error`; "--help" returns false with an empty error.
bool ParseMosEchoOptions(const std::vector<std::string>& args, MosEchoOptions& options, std::string& error);

const char* MosEchoUsage();
