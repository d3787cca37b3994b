#pragma once

#include "callwait.h"

// A wait whose user gives up when the test says: after so many looks, or never.
class FakeWait final : public CallWait {
public:
    bool keepWaiting(std::chrono::milliseconds) override {
        ++looks;
        return giveUpAfter < 0 || looks < giveUpAfter;
    }
    void waitEnded() override { ++ended; }

    int giveUpAfter = -1;
    int looks = 0;
    int ended = 0;
};
