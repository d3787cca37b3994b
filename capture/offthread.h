#pragma once

#include <functional>

// Runs work on a thread of its own and returns once it is done; meanwhile the calling thread goes
// on handling its events, so that its windows keep answering through a long file operation.
// Whatever the events start must leave alone what work uses.
void runOffThread(const std::function<void()>& work);
