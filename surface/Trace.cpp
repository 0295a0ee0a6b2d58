#include "surface/Trace.h"

#include <cstdio>

namespace lumora {
namespace {
TraceHook connectedHook = nullptr;
}

TraceHook SetTraceHook(TraceHook hook)
{
    TraceHook previous = connectedHook;
    connectedHook = hook;
    return previous;
}

void Trace(const char *format, ...)
{
    if (!connectedHook)
        return; // the normal case: formatting costs nothing
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    connectedHook(line);
}

} // namespace lumora
