#pragma once

#include "core/datetime.h"

#include <functional>
#include <string>

namespace edi::db {

enum class TraceKind { Connect, Prepare, Execute, Error, Transaction };

struct TraceEvent {
    Timestamp time;
    TraceKind kind;
    std::string text;
};

const char* traceKindName(TraceKind kind);

using TraceListener = std::function<void(const TraceEvent&)>;

} // namespace edi::db
