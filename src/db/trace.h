#pragma once

#include "core/datetime.h"

#include <functional>
#include <string>
#include <string_view>

namespace edi::db {

enum class TraceKind { Connect, Prepare, Execute, Error, Transaction };

// Handed to the listener during the call only: a listener that keeps the text copies it.
struct TraceEvent {
    Timestamp time;
    TraceKind kind;
    std::string_view text;
};

const char* traceKindName(TraceKind kind);

using TraceListener = std::function<void(const TraceEvent&)>;

} // namespace edi::db
