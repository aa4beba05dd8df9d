#pragma once
// Runs mask-growing walks in tests, servicing the worker's synchronised calls
// on the test thread the way the GUI thread does.

#include "masking/BitmapWalkerThread.h"
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

// Starts a self-freeing walk and services it until OnTerminate has run.
// onProgress (optional) runs inside each progress report with the thread.
inline WalkOutcome RunWalk(const tw::Bitmap& picture, tw::Bitmap& mask, const TWalkerRules& rules,
                           QPoint seed, double zoom = 1, const TTintwellSettings& settings = KeepColours(),
                           const std::function<void(TBitmapWalkerThread*, int)>& onProgress = {}) {
    WalkOutcome outcome;
    auto* walker = new TBitmapWalkerThread(picture, zoom, settings, rules, seed, mask);
    walker->FreeOnTerminate = true;
    walker->OnProgress = [&](TBitmapWalkerThread* t) {
        ++outcome.progressCalls;
        if (onProgress) onProgress(t, outcome.progressCalls);
    };
    walker->OnTerminate = [&](tw::Thread* t) {
        outcome.failed = t->FatalException() != nullptr;
        outcome.ended = true;
    };
    walker->SetIdlePriority();
    walker->Resume();
    while (!outcome.ended)
        tw::CheckSynchronize(50);
    return outcome;
}

} // namespace twtest
