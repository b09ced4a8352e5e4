#include "app/log_sql.h"
#include "app_fixture.h"
#include "core/errors.h"

#include <gtest/gtest.h>

#include <regex>

namespace edi {
namespace {

using test::AppFixture;

TEST(LogSQL, TheSessionTraceArrivesAsDatedPortugueseLines) {
    AppFixture f;
    ListaLogSQL& log = f.dm->LogSQL();
    log.Clear();
    f.dm->ExecutaECommita("update PARAMETRO set VALOR = 'y' where CD_PARAMETRO = 29");
    EXPECT_THROW(f.dm->DB().execute("select from"), DatabaseError);

    const auto linhas = log.Linhas();
    ASSERT_GE(linhas.size(), 3u);
    const std::regex forma(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d - [\s\S]+)"); // an error spans lines
    for (const auto& linha : linhas)
        EXPECT_TRUE(std::regex_match(linha, forma)) << linha;
    auto tem = [&](const std::string& trecho) {
        for (const auto& linha : linhas)
            if (linha.find(trecho) != std::string::npos)
                return true;
        return false;
    };
    EXPECT_TRUE(tem(" - Execução: update PARAMETRO set VALOR = 'y'"));
    EXPECT_TRUE(tem(" - Transação: Confirmação retendo a transação"));
    EXPECT_TRUE(tem(" - Erro: Dynamic SQL Error"));
}

TEST(LogSQL, KeepsTheNewestLinesAndTellsObserversOfLinesAndEmptying) {
    ListaLogSQL log(3);
    std::vector<std::string> ouvidas;
    const int handle = log.Observa([&](const std::string* linha) { ouvidas.push_back(linha ? *linha : "<limpo>"); });
    for (const char* l : {"a", "b", "c", "d", "e"})
        log.Add(l);
    EXPECT_EQ(log.Linhas(), (std::vector<std::string>{"c", "d", "e"}));
    log.Clear();
    log.Clear(); // emptying an empty list is harmless
    EXPECT_EQ(log.Count(), 0u);
    log.Esquece(handle);
    log.Add("f");
    EXPECT_EQ(ouvidas, (std::vector<std::string>{"a", "b", "c", "d", "e", "<limpo>", "<limpo>"}));
    EXPECT_EQ(log.Linhas(), (std::vector<std::string>{"f"}));
}

} // namespace
} // namespace edi
