#pragma once

#include "db/database.h"
#include "platform/versao.h"

#include <cstddef>
#include <string>

namespace edi::domain {

// The central unit when none is given (the value the parameters fall back to).
inline constexpr int kUnidadeCentralPadrao = 31;

struct CreateOptions {
    db::ConnectionParams connection;     // a plain path creates an embedded file
    std::string defaultCharset = "UTF8"; // default character set of the new database
    int unit = 0;
    int central = kUnidadeCentralPadrao;
    std::string version = platform::kVersaoDoSistema; // parameter 2 of the new database
    bool forcedWrites = true;                         // off only for throwaway databases (tests, benchmarks)
};

struct CreateSummary {
    size_t tables = 0;
    size_t indexes = 0;
    size_t generators = 0;
    size_t foreignKeys = 0;
    size_t registered = 0; // TABELA_EDI rows
    size_t sent = 0;       // of which FL_ENVIAR = 'S'
    size_t received = 0;   // of which FL_RECEBER = 'S'
};

// Creates a new database with the whole schema and its first rows: DUAL, the parameters, the UNIDADE rows
// of the unit and the central unit, and the TABELA_EDI registry. Refuses a database that exists and
// leaves it untouched; a database it created and could not finish is removed again.
CreateSummary createDatabase(const CreateOptions& options);

// Said when a database to be created is already there: it is never touched.
inline std::string databaseLeftAsItWas(const std::string& database) {
    return "A base " + database + " já existe e ficou como estava";
}

} // namespace edi::domain
