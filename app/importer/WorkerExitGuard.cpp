#include "app/importer/WorkerExitGuard.h"

#include <dlfcn.h>

#include <cstdlib>
#include <map>
#include <mutex>

namespace {

struct Registry {
    std::mutex mutex;
    std::map<const void*, std::function<void()>> stops;
};

Registry& Workers()
{
    static Registry registry;
    return registry;
}

} // namespace

void CWorkerExitGuard::StopAll()
{
    Registry& registry = Workers();
    std::lock_guard lock(registry.mutex);
    for (auto& [owner, stop] : registry.stops)
        stop();
}

void CWorkerExitGuard::Add(const void* owner, std::function<void()> stop)
{
    Registry& registry = Workers();
    std::lock_guard lock(registry.mutex);
    registry.stops[owner] = std::move(stop);
}

void CWorkerExitGuard::Remove(const void* owner)
{
    Registry& registry = Workers();
    std::lock_guard lock(registry.mutex);
    registry.stops.erase(owner);
}

// The program's own exit(), which a shared library's call (Qt's) reaches too: no exit handler
// can be relied on to run first, since a library registers its own the first time the worker
// uses it. A return from main does not come here; by then the dialog has joined its worker.
extern "C" void exit(int status) noexcept
{
    CWorkerExitGuard::StopAll();
    using ExitFunction = void (*)(int);
    const auto libraryExit = reinterpret_cast<ExitFunction>(dlsym(RTLD_NEXT, "exit"));
    if (libraryExit != nullptr)
        libraryExit(status);
    std::_Exit(status);
}
