#pragma once
// Diagnostic trace lines of the drawing primitives. They go to a hook that
// discards them unless a developer connects one.
#include <cstdarg>

namespace lumora {

using TraceHook = void (*)(const char *line);

// Connects a hook (nullptr disconnects); returns the previous one.
TraceHook SetTraceHook(TraceHook hook);

// Formats a line printf-style and hands it to the hook, if any.
void Trace(const char *format, ...) __attribute__((format(printf, 1, 2)));

} // namespace lumora
