#include "db/trace.h"

namespace edi::db {

const char* traceKindName(TraceKind kind) {
    switch (kind) {
    case TraceKind::Connect: return "Conexão";
    case TraceKind::Prepare: return "Preparação";
    case TraceKind::Execute: return "Execução";
    case TraceKind::Error: return "Erro";
    case TraceKind::Transaction: return "Transação";
    }
    return "?";
}

} // namespace edi::db
