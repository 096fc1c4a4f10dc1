#pragma once
// Keeps the process's exit handlers away from a live import worker. Qt ends the process with
// exit(1) when its display connection breaks; the exit handlers of the crypto library and the
// destructors of the libraries' statics would then tear down what the worker is still using.
// Every program that links this defines its own exit(): it cancels and joins every registered
// worker first and only then runs the C library's exit, with its handlers.
#include <functional>

class CWorkerExitGuard {
public:
    // Cancels and joins every registered worker (the caller's own worker is only cancelled).
    static void StopAll();

    // `stop` cancels the owner's worker and joins it; called at most until Remove.
    static void Add(const void* owner, std::function<void()> stop);
    static void Remove(const void* owner);
};
