#pragma once
// Quvane: network-quality probe. A host loads libQuvane.so by name and calls
// the one export below.
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Request type 2 hands the library a pointer to this instead of a window:
// the library calls setTimer(context, 1, milliseconds) to schedule a re-probe.
struct QuvaneTimerHost {
    void (*setTimer)(void* context, int timerId, unsigned milliseconds);
    void* context;
};

// requestType 0: first = host text (const char*), second = UDP port -> MOS 0.0..4.4
// requestType 1: first = non-zero, second = host text, third = UDP port -> MOS
// requestType 2: first = QuvaneTimerHost* -> 1 timer set, -2 re-probes used up, 0 no host
// requestType 3: the server's value from the last probe that carried one (0 before)
// any other type: 0
#if defined(__GNUC__)
__attribute__((visibility("default")))
#endif
double
MosHandlerCallBack(int requestType, intptr_t first, intptr_t second, intptr_t third);

#ifdef __cplusplus
}
#endif
