#include "domain/create_database.h"

#include "core/errors.h"
#include "domain/censo.h"
#include "domain/ddl.h"
#include "domain/exclusoes.h"
#include "domain/schema.h"
#include "domain/table_writer.h"

#include <filesystem>
#include <memory>
#include <system_error>

namespace edi::domain {

namespace {

struct ParameterRow {
    int code;
    const char* description;
};

// The parameters of a new installation (numbers as the application reads them).
enum ParameterCode {
    kParUnidade = 1,
    kParVersao = 2,
    kParTabRespLab = 23,
    kParSistemaUnidades = 26,
    kParUnidadeCentral = 27,
    kParBloqueio = 29,
};

// The list of TABELA_AUXILIAR holding the laboratory's responsible persons.
constexpr const char* kTabelaResponsaveisLaboratorio = "1";
constexpr const char* kEstadoInicial = "Base criada";

void refuseExisting(const db::ConnectionParams& params) {
    if (!db::isEmbeddedPath(params.database))
        return; // a server refuses an existing file itself
    std::error_code ec;
    if (std::filesystem::exists(params.database, ec) || ec)
        throw Error(databaseLeftAsItWas(params.database));
}

void runAll(db::Database& db, const std::vector<std::string>& statements) {
    for (const std::string& sql : statements)
        db.execute(sql);
}

void writeParameters(db::Database& db, const CreateOptions& o) {
    const std::string valores[] = {std::to_string(o.unit),    o.version,     kTabelaResponsaveisLaboratorio, "N",
                                   std::to_string(o.central), kEstadoInicial};
    const ParameterRow rows[] = {{kParUnidade, "Código da unidade"},
                                 {kParVersao, "Versão do sistema"},
                                 {kParTabRespLab, "Tabela auxiliar dos responsáveis do laboratório"},
                                 {kParSistemaUnidades, "Sistema de unidades (S/N)"},
                                 {kParUnidadeCentral, "Código da unidade central"},
                                 {kParBloqueio, "Estado do intercâmbio"}};
    TableWriter w(db, table("PARAMETRO"));
    for (size_t i = 0; i < std::size(rows); ++i) {
        w.set("CD_PARAMETRO", Value::int32(rows[i].code))
            .set("CD_UND", Value::int32(o.unit))
            .set("DS_PARAMETRO", Value::text(rows[i].description))
            .set("VALOR", Value::text(valores[i]));
        w.insert();
    }
}

// The units are a list the central unit keeps, so the central unit owns their rows.
void writeUnits(db::Database& db, const CreateOptions& o) {
    TableWriter w(db, table("UNIDADE"));
    auto unitRow = [&](int code, const std::string& description, const Value& version) {
        w.set("CD_UNIDADE", Value::int32(code))
            .set("CD_UND", Value::int32(o.central))
            .set("DS_UNIDADE", Value::text(description))
            .set("FL_ATIVA", Value::text("S"))
            .set("VL_VERSAO", version);
        w.insert();
    };
    if (o.unit == o.central) {
        unitRow(o.unit, "Unidade central " + std::to_string(o.unit), Value::text(o.version));
    } else {
        unitRow(o.unit, "Unidade " + std::to_string(o.unit), Value::text(o.version));
        unitRow(o.central, "Unidade central " + std::to_string(o.central), Value());
    }
}

Value flag(bool on) {
    return Value::text(on ? "S" : "N");
}

void writeRegistry(db::Database& db, const CreateOptions& o, CreateSummary& summary) {
    const bool central = o.unit == o.central;
    TableWriter w(db, table("TABELA_EDI"));
    for (const Table* t : registeredTables()) {
        const RegistryFlags flags = registryFlags(*t, central);
        w.set("NM_TABELA", Value::text(t->name))
            .set("FL_ENVIAR", flag(flags.enviar))
            .set("FL_RECEBER", flag(flags.receber))
            .set("FL_VALIDAR_RECEBIMENTO", flag(false))
            .set("NR_ORDEM", Value::int32(t->registryOrder))
            .set("FL_MARCAR_EXP", flag(true))
            .set("TP_TABELA_EDI", Value::text(t->kind == TableKind::Reference ? "R" : "D"))
            .set("FL_ATUALIZAR_EDI", flag(true));
        w.insert();
        ++summary.registered;
        summary.sent += flags.enviar;
        summary.received += flags.receber;
    }
    db.execute("UPDATE TABELA_EDI SET DT_INCLUSAO = CAST('NOW' AS TIMESTAMP)");
}

// Deletions of the rows this installation owns, in the tables it sends, are recorded for export.
void createDeletionCapture(db::Database& db, const CreateOptions& o) {
    db.execute(criaTabelaExclusoes());
    db.transaction().commitRetaining();
    const RegraDePosse posse{o.unit, o.central};
    for (const Table* t : registeredTables())
        if (registryFlags(*t, o.unit == o.central).enviar && t->hasColumn("CD_UND") && t->hasColumn("CD_EDI"))
            db.execute(criaGatilhoExclusao(t->name, posse));
    db.transaction().commitRetaining();
}

void build(db::Database& db, const CreateOptions& o, CreateSummary& summary) {
    const SchemaDdl ddl = schemaDdl();
    runAll(db, ddl.tables);
    db.transaction().commitRetaining(); // a new table is usable once its creation is committed
    runAll(db, ddl.indexes);
    runAll(db, ddl.generators);
    db.transaction().commitRetaining();
    runAll(db, ddl.foreignKeys); // the parents' keys are committed
    db.transaction().commitRetaining();
    createDeletionCapture(db, o);
    for (const auto& tabela : tabelasDoCenso())
        db.execute(tabela.second);
    db.transaction().commitRetaining();
    summary.tables = ddl.tables.size();
    summary.indexes = ddl.indexes.size();
    summary.generators = ddl.generators.size();
    summary.foreignKeys = ddl.foreignKeys.size();

    TableWriter dual(db, table("DUAL"));
    dual.set("DUMMY", Value::text("X"));
    dual.insert();
    writeParameters(db, o);
    writeUnits(db, o);
    writeRegistry(db, o, summary);
    db.transaction().commit();
}

} // namespace

CreateSummary createDatabase(const CreateOptions& options) {
    refuseExisting(options.connection);
    std::unique_ptr<db::Database> db =
        db::Database::create(options.connection, options.defaultCharset, 8192, options.forcedWrites);
    CreateSummary summary;
    try {
        build(*db, options, summary);
    } catch (...) {
        try {
            db->drop();
        } catch (const Error&) {
            // the first failure is the one to report
        }
        throw;
    }
    return summary;
}

} // namespace edi::domain
