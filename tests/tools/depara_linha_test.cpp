// `edi-admin depara`: the same operations and log lines as the window, from a shell.
#include "core/files.h"
#include "support/db/dois_bancos.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sys/wait.h>

namespace edi::tools {
namespace {

std::string entreAspas(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct Saida {
    int status = -1;
    std::string out, err;
};

class DeParaLinhaTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The server's password reaches the tool only through jaq.ini.
        writeFileAtomically(home / "jaq.ini", "[Geral]\nSenha=" + bancos.login().password + "\n");
        test::runScript(bancos.de(), "insert into REGISTRO_TARV values (1, 10, 1, 202401, 'um', null)\n;\n"
                                     "insert into REGISTRO_TARV values (2, 10, 1, 202402, null, null)\n;\n"
                                     "insert into REGISTRO_TARV values (3, 10, 2, 202401, 'três', null)");
        bancos.solta();
    }
    Saida depara(const std::string& args) {
        const char* exe = std::getenv("EDI_ADMIN");
        if (!exe)
            ADD_FAILURE() << "EDI_ADMIN is not set (run the tests through ctest)";
        const std::string comando = entreAspas(exe ? exe : "edi-admin") + " depara --home " +
                                    entreAspas(home.path().string()) + " --de " + entreAspas(bancos.conexaoDe()) +
                                    " --para " + entreAspas(bancos.conexaoPara()) + " " + args + " >" +
                                    entreAspas((home / "out").string()) + " 2>" + entreAspas((home / "err").string());
        const int bruto = std::system(comando.c_str());
        return {WIFEXITED(bruto) ? WEXITSTATUS(bruto) : -1, readFile(home / "out"), readFile(home / "err")};
    }
    int64_t linhasPara() {
        bancos.prende();
        const int64_t n = test::DoisBancos::conta(bancos.para(), "select count(*) from REGISTRO_TARV");
        bancos.solta();
        return n;
    }

    test::DoisBancos bancos;
    test::TempDir home;
};

TEST_F(DeParaLinhaTest, OpensCopiesAndDeletesOnlyWhenConfirmed) {
    const std::string abertos = "DB De - Aberto\nDB Para - Aberto\n";
    Saida s = depara("--tabela REGISTRO_TARV --provincia 1 abrir");
    ASSERT_EQ(s.status, 0) << s.err;
    EXPECT_EQ(s.out, abertos + "Tabela: REGISTRO_TARV De: 2 Para: 0\n");

    s = depara("--tabela REGISTRO_TARV --provincia=1 de-para");
    ASSERT_EQ(s.status, 0) << s.err;
    EXPECT_EQ(s.out, abertos + "Tabela: REGISTRO_TARV De: 2 Para: 0\nDe -> Para: 2 linhas copiadas, 0 com erro\n");
    EXPECT_EQ(linhasPara(), 2);

    // Copied again, every row fails on its key: said at the end, and not a success.
    s = depara("--tabela REGISTRO_TARV --provincia=1 de-para");
    EXPECT_EQ(s.status, 1);
    EXPECT_NE(s.out.find("RecNo:2Erro: "), std::string::npos) << s.out;
    EXPECT_TRUE(s.out.ends_with("\nDe -> Para: 0 linhas copiadas, 2 com erro\n")) << s.out;
    EXPECT_EQ(linhasPara(), 2);

    s = depara("--tabela REGISTRO_TARV apagar-para");
    EXPECT_EQ(s.status, 2);
    EXPECT_NE(s.err.find("confirme com --yes"), std::string::npos) << s.err;
    EXPECT_EQ(s.out, "");
    EXPECT_EQ(linhasPara(), 2);

    s = depara("--tabela REGISTRO_TARV --yes apagar-para");
    ASSERT_EQ(s.status, 0) << s.err;
    EXPECT_EQ(s.out, abertos + "Tabela: REGISTRO_TARV De: 3 Para: 2\nExclusao Para - Realizado\n");
    EXPECT_EQ(linhasPara(), 0);
}

TEST_F(DeParaLinhaTest, RefusedFilterAndMissingKeyFailWithTheirMessage) {
    Saida s = depara("--tabela REGISTRO_TARV --und '1; delete from REGISTRO_TARV' abrir");
    EXPECT_EQ(s.status, 1);
    EXPECT_EQ(s.out, "");
    EXPECT_NE(s.err.find("O filtro \"Und:\" não pode conter"), std::string::npos) << s.err;

    s = depara("--tabela registro_tarv abrir");
    EXPECT_EQ(s.status, 1);
    EXPECT_EQ(s.err, "edi-admin: Erro:registro_tarv\nCampo Chave nao definido!\n");

    s = depara("comparar");
    ASSERT_EQ(s.status, 0) << s.err;
    EXPECT_NE(s.out.find("\nTabela: REGISTRO_TARV De: 3 Para: 0\n"), std::string::npos) << s.out;
    EXPECT_EQ(std::count(s.out.begin(), s.out.end(), '\n'), 11);
}

} // namespace
} // namespace edi::tools
