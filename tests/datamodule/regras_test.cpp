// Rules a scenario file cannot reach: other parameter values, constraints and failures made for the test.
#include "datamodule/roteiro.h"
#include "datamodule/tdmgeral.h"
#include "db/database.h"
#include "domain/create_database.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

namespace edi::datamodule {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// Runs a script on a new database of unit 12 (central 31), after the statements of `ddl` and with the
// parameters `prepara` sets already loaded; gives the script's output.
std::string roteiro(const std::string& script, const std::vector<std::string>& ddl = {},
                    const std::function<void(UGeral&)>& prepara = {}) {
    test::TempDir dir;
    domain::CreateOptions o;
    o.connection.database = (dir.path() / "unit.fdb").string();
    o.unit = 12;
    o.forcedWrites = false;
    domain::createDatabase(o);
    if (!ddl.empty()) {
        auto db = db::Database::open(o.connection);
        for (const auto& statement : ddl) {
            db->execute(statement);
            db->transaction().commitRetaining();
        }
        db->transaction().commit();
    }
    std::ostringstream out;
    RoteiroUi ui(out);
    UGeral geral;
    if (prepara)
        prepara(geral);
    TDM dm(o.connection, ui);
    TDMGERAL modulo(dm, geral);
    modulo.DataModuleCreate();
    std::istringstream in(script);
    executaRoteiro(modulo, ui, in, out);
    return out.str();
}

const std::string kPaciente = "open TB_PACIENTE\ninsert TB_PACIENTE\nset TB_PACIENTE NM_PACIENTE=Maria\n"
                              "set TB_PACIENTE DT_NASCIMENTO=01/02/1990\nset TB_PACIENTE IDADE=35\n"
                              "set TB_PACIENTE NM_MAE=Joana\nset TB_PACIENTE TP_SEXO=F\n";
const std::string kNotificacao = "open TB_NOTIFICACAO\ninsert TB_NOTIFICACAO\n"
                                 "set TB_NOTIFICACAO DT_NOTIFICACAO=01/03/2024\n"
                                 "set TB_NOTIFICACAO DT_DIAGNOSTICO=01/03/2024\n"
                                 "set TB_NOTIFICACAO CD_TESTE_TRIAGEM=1\n"
                                 "set TB_NOTIFICACAO CD_TESTE_CONFIRMATORIO=1\npost TB_NOTIFICACAO\n";

std::string novaLinha(const std::string& dataset) {
    return "open " + dataset + "\ninsert " + dataset + "\nprint " + dataset + "\ncancel " + dataset + "\n";
}

TEST(Regras, UnitSystemKeysAndOwners) {
    const std::string script =
        novaLinha("TB_UNIDADE") + novaLinha("TB_TIPO_DOCUMENTO") + novaLinha("TB_MUNICIPIO") + novaLinha("TB_PAIS");
    // Under the unit system the central unit owns units and document types and gives their codes.
    const std::string central = roteiro(script, {}, [](UGeral& g) { g.prmSistemaUnidades = "S"; });
    EXPECT_THAT(central, HasSubstr("CD_UNIDADE=<null>\nCD_UND=31\n"));
    EXPECT_THAT(central, HasSubstr("CD_TIPO_DOCUMENTO=<null>\nDS_TIPO_DOCUMENTO=<null>\nCD_UND=31\n"));
    EXPECT_THAT(central, HasSubstr("DS_MUNICIPIO=<null>\nCD_UND=31\n"));
    EXPECT_THAT(central, HasSubstr("CD_PAIS=1\nDS_PAIS=<null>\nCD_UND=12\n"));
    // Only the exact "S" counts.
    const std::string local = roteiro(script, {}, [](UGeral& g) { g.prmSistemaUnidades = "s"; });
    EXPECT_THAT(local, HasSubstr("CD_UNIDADE=1\nCD_UND=12\n"));
    EXPECT_THAT(local, HasSubstr("CD_TIPO_DOCUMENTO=1\nDS_TIPO_DOCUMENTO=<null>\nCD_UND=12\n"));
    EXPECT_THAT(local, HasSubstr("DS_MUNICIPIO=<null>\nCD_UND=12\n"));
}

TEST(Regras, MissingUnitParameterStampsMinus999) {
    const std::string out =
        roteiro(kPaciente + "print TB_PACIENTE\n", {"delete from PARAMETRO where CD_PARAMETRO = 1"});
    EXPECT_THAT(out, HasSubstr("\nCD_UND=-999\nCD_UNIDADE=-999\n"));
}

TEST(Regras, RefusedDeletesInWordsAndTheCascadeUndoneWithItsNotification) {
    const std::vector<std::string> ddl = {
        "create exception E_PROTEGIDO 'registro protegido'",
        "create trigger TATUAGEM_PROTEGIDA for TATUAGEM before delete as begin exception E_PROTEGIDO; end",
        "create trigger PAIS_PROTEGIDO for PAIS before delete as begin exception E_PROTEGIDO; end",
    };
    const std::string out = roteiro(
        kPaciente + "post TB_PACIENTE\n" + kNotificacao +
            "open TB_TRANSFUSAO\ninsert TB_TRANSFUSAO\npost TB_TRANSFUSAO\n"
            "open TB_TATUAGEM\ninsert TB_TATUAGEM\npost TB_TATUAGEM\n"
            "answer yes\ndelete TB_PACIENTE\n"
            "answer yes\ndelete TB_NOTIFICACAO\n"
            "param TB_TRANSFUSAO CD_FICHA=1\nopen TB_TRANSFUSAO\ncount TB_TRANSFUSAO\n"
            "param TB_NOTIFICACAO CD_FICHA=1\nparam TB_NOTIFICACAO CD_UND=12\nopen TB_NOTIFICACAO\ncount "
            "TB_NOTIFICACAO\n"
            "open TB_PAIS\ninsert TB_PAIS\nset TB_PAIS DS_PAIS=Angola\npost TB_PAIS\n"
            "open TB_PROVINCIA\ninsert TB_PROVINCIA\nset TB_PROVINCIA CD_PAIS=1\nset TB_PROVINCIA DS_PROVINCIA=Luanda\n"
            "post TB_PROVINCIA\nopen TB_MUNICIPIO\ninsert TB_MUNICIPIO\nset TB_MUNICIPIO CD_MUNICIPIO=1\n"
            "set TB_MUNICIPIO CD_PROVINCIA=1\nset TB_MUNICIPIO DS_MUNICIPIO=Belas\npost TB_MUNICIPIO\n"
            "answer yes\ndelete TB_PROVINCIA\n"
            "open TB_PAIS\ninsert TB_PAIS\nset TB_PAIS DS_PAIS=Angola\npost TB_PAIS\nanswer yes\ndelete TB_PAIS\n",
        ddl);
    const std::string pergunta = "box Excluir: Deseja Excluir este registro?\n";
    EXPECT_THAT(out, HasSubstr(pergunta + "box Erro: Não foi possível excluir paciente,pois existe uma associação com "
                                          "notificação!\nabort\n"));
    // The tattoo cannot go: said with the database's text, the other details follow, the notification's own
    // delete is refused, and the transfusion already deleted comes back.
    EXPECT_THAT(out, HasSubstr("registro protegido"));
    EXPECT_THAT(out, HasSubstr("\nbox Erro: Não foi possível excluir notificação,pois existe uma associação com "
                               "tatuagem!\nabort\n1\n1\n"));
    EXPECT_THAT(out, HasSubstr(pergunta + "box Erro: Não foi possível excluir ,pois existe uma associação com !\n"
                                          "abort\n"));
    EXPECT_THAT(out, HasSubstr(pergunta + "box Erro: Não foi possível excluir \nabort\n"));
    EXPECT_THAT(out, Not(HasSubstr("error:")));
}

TEST(Regras, ExposedChildNumberingStopsWhenItsQueryFails) {
    // A column too narrow for the pattern makes the numbering query fail.
    const std::string out = roteiro(kPaciente + "set TB_PACIENTE NR_PROCESSO=123\npost TB_PACIENTE\n" + kPaciente +
                                        "set TB_PACIENTE CD_PACIENTE_MAE=1\nset TB_PACIENTE FL_CRIANCA_EXPOSTA=S\n"
                                        "print TB_PACIENTE\n",
                                    {"alter table PACIENTE drop NR_PROCESSO_CRIANCA_EXP",
                                     "alter table PACIENTE add NR_PROCESSO_CRIANCA_EXP varchar(2)"});
    EXPECT_THAT(out, HasSubstr("box Erro: Não foi possível numerar a criança exposta: a consulta dos números de "
                               "processo já usados falhou.\nabort\n"));
    EXPECT_THAT(out, HasSubstr("FL_CRIANCA_EXPOSTA=N\n"));
}

TEST(Regras, FailingKeyDrawAtNewRow) {
    // A binding that cannot draw cancels the new row; a hook that cannot keeps what it set before.
    const std::string out = roteiro("open TB_FORMA\ninsert TB_FORMA\nprint TB_FORMA\n"
                                    "open TB_NOTIFICACAO\ninsert TB_NOTIFICACAO\nprint TB_NOTIFICACAO\n",
                                    {"drop generator GEN_FORMA", "drop generator GEN_CD_NOTIFICACAO"});
    EXPECT_THAT(out, HasSubstr("GEN_FORMA is not defined\nComando: select gen_id(GEN_FORMA,1) from dual\n"
                               "(sem registro)\n"));
    EXPECT_THAT(out, HasSubstr("GEN_CD_NOTIFICACAO is not defined\nComando: select gen_id(GEN_CD_NOTIFICACAO,1) "
                               "from dual\nCD_FICHA=1\nCD_UNIDADE=<null>\nCD_USUARIO=1\n"));
}

TEST(Regras, LaboratoryResultNamesItsResponsibleFromTheParameterList) {
    const std::string out =
        roteiro("open TB_AGENDA\ninsert TB_AGENDA\npost TB_AGENDA\n"
                "param TB_RESULTADO_CD4 NR_LAB=1\nopen TB_RESULTADO_CD4\ninsert TB_RESULTADO_CD4\n"
                "set TB_RESULTADO_CD4 CD_AGENDA=1\nset TB_RESULTADO_CD4 CD_RESPONSAVEL=3\npost TB_RESULTADO_CD4\n"
                "open TB_RESULTADO_CD4\nprint TB_RESULTADO_CD4\n",
                {"insert into TABELA_AUXILIAR (CD_TABELA, CD_CODIGO, DS_DESCRICAO) values (5, 3, 'Dra. Ana')",
                 "insert into TABELA_AUXILIAR (CD_TABELA, CD_CODIGO, DS_DESCRICAO) values (6, 3, 'Outra lista')"},
                [](UGeral& g) { g.prmTabRespLab = "5"; });
    EXPECT_THAT(out, HasSubstr("\nNM_RESPONSAVEL=Dra. Ana\n"));
}

} // namespace
} // namespace edi::datamodule
