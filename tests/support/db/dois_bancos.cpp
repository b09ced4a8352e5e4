#include "support/db/dois_bancos.h"

#include "db/query.h"

#include <atomic>

#include <unistd.h>

namespace edi::test {

namespace {

const char* const kRegistros[] = {"REGISTRO_ATV",      "REGISTRO_COINFECCAO",   "REGISTRO_PROGRAMA",
                                  "REGISTRO_PTV",      "REGISTRO_TARV",         "REGISTRO_TARV_ACOMP",
                                  "REGISTRO_TARV_CD4", "REGISTRO_TARV_ESQUEMA", "REGISTRO_TESTES_POSITIVOS"};

void criaRegistros(db::Database& banco) {
    std::string script;
    for (const char* t : kRegistros)
        script += std::string("create table ") + t +
                  " (CD_REGISTRO integer not null primary key, CD_UND integer, CD_PROVINCIA integer,"
                  " VL_MESANO integer, DS_NOTA varchar(40), DT_REGISTRO timestamp)\n;\n";
    runScript(banco, script);
}

} // namespace

DoisBancos::DoisBancos() {
    paraParams_ = de_.params();
    if (const auto servidor = loopbackServer()) {
        static std::atomic<int> serie{0};
        paraParams_.database = servidor->host + ":" + servidor->folder + "/para-" + std::to_string(::getpid()) + "-" +
                               std::to_string(++serie) + ".fdb";
        paraParams_.password = servidor->password;
        noServidor_ = true;
    } else {
        paraParams_.database = (pastaPara_ / "para.fdb").string();
    }
    para_ = db::Database::create(paraParams_, "UTF8", 8192, false);
    criaRegistros(de());
    criaRegistros(para());
}

DoisBancos::~DoisBancos() {
    try {
        if (!para_)
            prende();
        para_->drop();
    } catch (const std::exception&) {
        // An attachment the test left open keeps the file; the server's folder goes with the run.
    }
}

void DoisBancos::solta() {
    de_.detach();
    para_.reset();
}

void DoisBancos::prende() {
    de_.reattach();
    para_ = db::Database::open(paraParams_);
}

db::ConnectionParams DoisBancos::login() const {
    db::ConnectionParams p = paraParams_;
    p.database.clear();
    return p;
}

int64_t DoisBancos::conta(db::Database& banco, const std::string& sql) {
    db::Query q(banco, sql);
    q.open();
    return q.value(0).asInt64();
}

} // namespace edi::test
