#pragma once
// Runs mask-growing walks in tests, servicing the worker's synchronised calls
// on the test thread the way the GUI thread does.

#include "masking/PartGrower.h"
#include "platform/Thread.h"

#include <functional>

namespace twtest {

struct WalkOutcome {
    int progressCalls = 0;
    bool ended = false;
    bool failed = false; // Execute ended with an exception
};

inline TTintwellSettings KeepColours() {
    return {0, true, false, 0, 0, false};
}

// Starts a walk on its own thread, as the dialog does, and services it until
// it has ended.
// onProgress (optional) runs inside each progress report with the thread.
inline WalkOutcome RunWalk(const tw::Bitmap& picture, tw::Bitmap& mask, const TWalkerRules& rules,
                           QPoint seed, int32_t progressInterval = 1000,
                           const TTintwellSettings& settings = KeepColours(),
                           const std::function<void(TBitmapWalkerThread*, int)>& onProgress = {}) {
    WalkOutcome outcome;
    TPartGrower(picture, seed, rules, settings, progressInterval)
        .Start(
            mask,
            [&](TBitmapWalkerThread* t) {
                ++outcome.progressCalls;
                if (onProgress) onProgress(t, outcome.progressCalls);
            },
            [&](tw::Thread* t) {
                outcome.failed = t->FatalException() != nullptr;
                outcome.ended = true;
            });
    while (!outcome.ended)
        tw::CheckSynchronize(50);
    return outcome;
}

} // namespace twtest
