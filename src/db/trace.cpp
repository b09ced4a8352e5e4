#include "db/trace.h"

namespace edi::db {

const char* traceKindName(TraceKind kind) {
    switch (kind) {
    case TraceKind::Connect: return "Connect";
    case TraceKind::Prepare: return "Prepare";
    case TraceKind::Execute: return "Execute";
    case TraceKind::Error: return "Error";
    case TraceKind::Transaction: return "Transaction";
    }
    return "?";
}

} // namespace edi::db
