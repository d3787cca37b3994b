#pragma once

#include <chrono>

// How the program waits for a call into the spreadsheet application: the caller's windows keep
// answering while it waits, and after a while the user is offered to give the call up. The
// spreadsheet implementation asks it again and again while a call is under way; the windows
// implement it, tests fake it.
class CallWait {
public:
    // How often a waiting caller is asked again.
    static constexpr std::chrono::milliseconds LookInterval{20};

    virtual ~CallWait() = default;
    // Called about every LookInterval while a call waits for its answer, waited being how long it
    // has waited so far. False once the user has given the call up.
    virtual bool keepWaiting(std::chrono::milliseconds waited) = 0;
    // The wait is over (answered, given up or past its deadline).
    virtual void waitEnded() = 0;
};
