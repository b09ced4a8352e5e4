// Drift made behind the exchange's back (SQL at the central unit, a dropped delivery, a restored central database, a
// change that kept its export mark, a restored unit) found by the census and healed by the exchange alone.
#include "campaign/campaign_rig.h"

#include "db/query.h"

#include <gtest/gtest.h>

#include <iostream>

namespace edi::campaign {
namespace {

namespace fs = std::filesystem;

void executa(const Rede& rede, Lado lado, const std::string& sql) {
    auto db = db::Database::open(rede.conexao(lado));
    db->execute(sql);
    db->transaction().commitRetaining();
}

int64_t conta(const Rede& rede, Lado lado, const std::string& sql) {
    auto db = db::Database::open(rede.conexao(lado));
    db::Query q(*db, sql);
    q.open();
    return q.value(0).asInt64();
}

// "code name" of the central unit's rows, one a line, by code.
std::string linhas(const Rede& rede, const std::string& deOnde) {
    auto db = db::Database::open(rede.conexao(Lado::Central));
    db::Query q(*db, "select CD_EDI, NM_PACIENTE from " + deOnde + " order by CD_EDI");
    std::string out;
    for (q.open(); !q.eof(); q.next())
        out += q.value(0).asText() + " " + q.value(1).asText() + "\n";
    return out;
}

// Cycles until the two sides hold the same rows and nothing waits; the errors the unit's runs raised, in order.
std::string ciclosAteIgual(Rede& rede, int limite, int& ciclos) {
    std::string erros;
    for (ciclos = 1; ciclos <= limite; ++ciclos) {
        erros += rede.roda(Lado::Unidade).erro;
        rede.roda(Lado::Central);
        if (rede.julga().empty() && rede.oQueEspera().empty())
            break;
    }
    return erros;
}

TEST(Censo, DriftOfEveryKindIsHealedByTheExchangeAndARestoredUnitIsReportedNotObeyed) {
    Rede rede;
    ASSERT_EQ(rede.assentaEJulga(), "");
    test::TempDir copias;
    const fs::path unidade = rede.home(Lado::Unidade), central = rede.home(Lado::Central);
    fs::copy_file(unidade / "edi.fdb", copias / "u.fdb");
    fs::copy_file(unidade / "EstadoInstalacao.txt", copias / "u.txt");
    fs::copy_file(central / "edi.fdb", copias / "c.fdb");
    const int64_t geradorDaCopia = conta(rede, Lado::Unidade, "select gen_id(GEN_EDI, 0) from rdb$database");

    // Renamed, deleted and new rows reach the central unit, whose database is then restored from the older copy.
    rede.alteraUnidade(1);
    ASSERT_EQ(rede.assentaEJulga(), "");
    fs::copy_file(copias / "c.fdb", central / "edi.fdb", fs::copy_options::overwrite_existing);
    // SQL at the central unit: a patient changed, an appointment deleted.
    executa(rede, Lado::Central,
            "update PACIENTE set NM_PACIENTE = 'mudado na central' where CD_UND = 12 and CD_EDI = "
            "(select min(CD_EDI) from PACIENTE where CD_UND = 12)");
    executa(rede, Lado::Central,
            "delete from AGENDA where CD_UND = 12 and CD_EDI = (select min(CD_EDI) from AGENDA where CD_UND = 12)");
    // A change at the unit that kept its export mark.
    executa(rede, Lado::Unidade,
            "update PACIENTE set NM_PACIENTE = 'mudado sem marca', DT_EXP = DT_EXP where CD_UND = 12 and CD_EDI = "
            "(select max(CD_EDI) from PACIENTE where CD_UND = 12)");
    // A delivery the server dropped before the central unit fetched it.
    rede.renomeiaPacientes(2);
    rede.roda(Lado::Unidade);
    int descartadas = 0;
    for (const central::Delivery& d : rede.servidor().store().deliveries())
        if (d.to == 31 && d.status == central::Delivery::Status::Waiting && d.name.rfind("PACIENTE", 0) == 0)
            descartadas += rede.servidor().store().transaction(
                [&](central::StoreTransaction& t) { return t.acknowledge(d.id, 31, Timestamp::localNow()); });
    ASSERT_EQ(descartadas, 1);
    rede.roda(Lado::Central);
    const std::string deriva = rede.julga();
    ASSERT_NE(deriva.find("falta na central"), std::string::npos) << deriva;
    ASSERT_NE(deriva.find("difere na central"), std::string::npos) << deriva;

    ASSERT_EQ(rede.roda(Lado::Unidade, {}, {"census-now"}).erro, "");
    int ciclos = 0;
    EXPECT_EQ(ciclosAteIgual(rede, 6, ciclos), "");
    EXPECT_EQ(rede.julga(), "") << "after " << ciclos << " cycles";
    std::cout << "[censo] igual depois de " << ciclos << " ciclos" << std::endl;
    EXPECT_EQ(rede.oQueEspera(), "");
    // The next census finds everything in step: nothing is sent again.
    ASSERT_EQ(rede.roda(Lado::Unidade, {}, {"census-now"}).erro, "");
    EXPECT_EQ(ciclosAteIgual(rede, 6, ciclos), "");
    EXPECT_EQ(conta(rede, Lado::Unidade, "select count(*) from PACIENTE where DT_EXP is null"), 0);
    EXPECT_EQ(conta(rede, Lado::Unidade, "select coalesce(sum(QT_REPARADAS), -1) from EDI_CENSO_ESTADO"), 0);

    // The unit restored with its program folder: the central unit holds codes it never issued, and keeps them.
    const std::string acima = " where CD_UND = 12 and CD_EDI > " + std::to_string(geradorDaCopia);
    const int64_t novas = conta(rede, Lado::Central, "select count(*) from PACIENTE" + acima);
    ASSERT_GT(novas, 0);
    fs::copy_file(copias / "u.fdb", unidade / "edi.fdb", fs::copy_options::overwrite_existing);
    fs::copy_file(copias / "u.txt", unidade / "EstadoInstalacao.txt", fs::copy_options::overwrite_existing);
    ASSERT_EQ(rede.roda(Lado::Unidade, {}, {"census-now"}).erro, "");
    const std::string erros = ciclosAteIgual(rede, 4, ciclos);
    EXPECT_NE(erros.find("parece restaurada de uma cópia"), std::string::npos) << erros;
    EXPECT_EQ(conta(rede, Lado::Central, "select count(*) from PACIENTE" + acima), novas);

    // Its users go on working and its generator passes those codes: they are neither reused nor deleted by a later
    // census (the program folder came back with the database, so only the census could tell).
    const int64_t ultimoAntes = conta(rede, Lado::Central, "select max(CD_EDI) from PACIENTE" + acima);
    const std::string antes = linhas(rede, "PACIENTE" + acima);
    rede.alteraUnidade(3);
    ASSERT_EQ(rede.roda(Lado::Unidade, {}, {"census-now"}).erro, "");
    ciclosAteIgual(rede, 4, ciclos);
    ASSERT_EQ(rede.roda(Lado::Unidade, {}, {"census-now"}).erro, "");
    ciclosAteIgual(rede, 4, ciclos);
    EXPECT_EQ(linhas(rede, "PACIENTE" + acima + " and CD_EDI <= " + std::to_string(ultimoAntes)), antes);
}

} // namespace
} // namespace edi::campaign
