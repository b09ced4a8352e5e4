// The SQL console page, with and without a database of the server's own.
#include "central_rig.h"

#include "central/sql_page.h"
#include "db/query.h"
#include "support/db/scratch_database.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace edi::central::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using transport::encodeQueryValue;

class CentralSql : public ::testing::Test {
protected:
    CentralSql() {
        database.run("create table PESSOA (CD_PESSOA integer not null, NM_PESSOA varchar(40), BL_FOTO blob)\n;\n"
                     "insert into PESSOA values (1, '<b>Ana</b> & \"Rui\"', null)\n;\n"
                     "insert into PESSOA values (2, 'Jo\xc3\xa3o', null)\n");
    }

    ServerConfig withDatabase() {
        ServerConfig c;
        c.database = database.params();
        c.sharedSql = true;
        return c;
    }

    std::string run(CentralRig& rig, const std::string& op, const std::string& sql) {
        return rig.mustGet("/dbSQL.php?op=" + op + "&sql=" + encodeQueryValue(sql));
    }

    std::string nameOf(int code) {
        auto db = database.attachAgain();
        db::Query q(*db, "select NM_PESSOA from PESSOA where CD_PESSOA = " + std::to_string(code));
        q.open();
        return q.eof() ? "(none)" : q.value(0).asText();
    }

    edi::test::ScratchDatabase database;
};

TEST_F(CentralSql, ASelectIsShownAsATableWithEveryCellEscaped) {
    CentralRig rig(withDatabase());
    const std::string page = run(rig, "S", "select CD_PESSOA, NM_PESSOA, BL_FOTO from PESSOA\r\norder by CD_PESSOA");
    EXPECT_THAT(page, HasSubstr("<tr><th>CD_PESSOA</th><th>NM_PESSOA</th><th>BL_FOTO</th></tr>"));
    EXPECT_THAT(page, HasSubstr("<tr><td>1</td><td>&lt;b&gt;Ana&lt;/b&gt; &amp; &quot;Rui&quot;</td><td></td></tr>"));
    EXPECT_THAT(page, HasSubstr("<td>Jo\xc3\xa3o</td>"));
    EXPECT_THAT(page, HasSubstr("2 registros."));
    EXPECT_THAT(page, Not(HasSubstr("<b>Ana")));
    EXPECT_THAT(page, HasSubstr("<pre>select CD_PESSOA, NM_PESSOA, BL_FOTO from PESSOA\r\norder by CD_PESSOA</pre>"));
}

TEST_F(CentralSql, AChangeIsCommittedAndItsRowCountShown) {
    CentralRig rig(withDatabase());
    const std::string page = run(rig, "Q", "update PESSOA set NM_PESSOA = 'O''Neil & Filhos' where CD_PESSOA = 2");
    EXPECT_THAT(page, HasSubstr("1 registro afetado."));
    EXPECT_EQ(nameOf(2), "O'Neil & Filhos");
    EXPECT_THAT(run(rig, "Q", "delete from PESSOA"), HasSubstr("2 registros afetados."));
    EXPECT_EQ(nameOf(1), "(none)");
}

TEST_F(CentralSql, ASelectCannotChangeData) {
    CentralRig rig(withDatabase());
    run(rig, "S", "update PESSOA set NM_PESSOA = 'x'");
    EXPECT_EQ(nameOf(2), "Jo\xc3\xa3o");
}

TEST_F(CentralSql, ErrorsAreShownEscapedInThePage) {
    CentralRig rig(withDatabase());
    const std::string page = run(rig, "S", "select <nonsense> from PESSOA");
    EXPECT_EQ(rig.status(), 200);
    EXPECT_THAT(page, HasSubstr("<p class=\"error\">Erro ao executar o comando: "));
    EXPECT_THAT(page, HasSubstr("&lt;nonsense&gt;"));
    EXPECT_THAT(page, Not(HasSubstr("<nonsense>")));
    EXPECT_THAT(run(rig, "Q", "insert into PESSOA values (3)"), HasSubstr("Erro ao executar o comando: "));
    EXPECT_EQ(nameOf(3), "(none)");
    EXPECT_THAT(run(rig, "S", "  "), HasSubstr("O comando está vazio."));
}

TEST_F(CentralSql, ALongResultIsCut) {
    SqlConsole console(database.params(), 1);
    const std::string page = console.run(SqlConsole::Operation::Select, "select CD_PESSOA from PESSOA");
    EXPECT_THAT(page, HasSubstr("Primeiros 1 registros mostrados."));
    EXPECT_THAT(page, Not(HasSubstr("<td>2</td>")));
}

TEST(CentralSqlWithoutDatabase, ThePageSaysNoDatabaseIsConfigured) {
    ServerConfig c;
    c.sharedSql = true;
    CentralRig rig(c);
    const std::string page = rig.mustGet("/dbSQL.php?op=Q&sql=" + encodeQueryValue("delete from <X> where A = '&'"));
    EXPECT_THAT(page, HasSubstr("Nenhum banco de dados está configurado neste servidor"));
    EXPECT_THAT(page, HasSubstr("<pre>delete from &lt;X&gt; where A = &#39;&amp;&#39;</pre>"));
}

TEST(CentralSqlUnreachable, ADatabaseThatCannotBeOpenedIsReportedInThePage) {
    ServerConfig c;
    c.database = db::ConnectionParams{"/nonexistent/folder/none.fdb", "SYSDBA", "", "UTF8"};
    c.sharedSql = true;
    CentralRig rig(c);
    EXPECT_THAT(rig.mustGet("/dbSQL.php?op=S&sql=select%201%20from%20rdb%24database"),
                HasSubstr("Erro ao executar o comando: "));
}

} // namespace
} // namespace edi::central::test
