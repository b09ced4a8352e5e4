#include "app/configuracao.h"
#include "app/constants.h"
#include "core/files.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace edi {
namespace {

TEST(Configuracao, ReadsTheKeysWithTheirDefaultsAndExactFlags) {
    test::TempDir dir;
    const auto ini = dir / "jaq.ini";
    writeFileAtomically(ini, "[geral]\r\ndb=/dados/u12.fdb\r\n[EDI]\r\nExportar=sim\r\nimportar=SIM\r\nTempo=abc\r\n");
    const Configuracao c = LeConfiguracao(ini);
    EXPECT_EQ(c.DB, "/dados/u12.fdb");
    EXPECT_FALSE(c.bExportar); // only "SIM" exactly
    EXPECT_TRUE(c.bImportar);
    EXPECT_EQ(c.nTempo, 60); // not a whole number
    EXPECT_EQ(c.update, "01-01-1900");
    EXPECT_EQ(c.usuario, "SYSDBA");
    EXPECT_EQ(c.senha, kSenhaBanco);
    EXPECT_EQ(c.servidor, sDominioPadrao);

    const Configuracao vazio = LeConfiguracao(dir / "nao-existe.ini");
    EXPECT_EQ(vazio.DB, "");
    EXPECT_FALSE(vazio.bExportar || vazio.bImportar);
    EXPECT_EQ(vazio.intervaloTimerMs(), 3600000);
    EXPECT_EQ(vazio.loteImportacao, 500);
}

TEST(Configuracao, LoteImportacaoIsAWholeNumberOfRecordsFromOne) {
    test::TempDir dir;
    const auto ini = dir / "jaq.ini";
    writeFileAtomically(ini, "[EDI]\nLoteImportacao=1\n");
    EXPECT_EQ(LeConfiguracao(ini).loteImportacao, 1);
    EXPECT_TRUE(LeConfiguracao(ini).avisos.empty());
    for (const std::string lote : {"0", "-3", "muitos"}) {
        writeFileAtomically(ini, "[EDI]\nLoteImportacao=" + lote + "\n");
        const Configuracao c = LeConfiguracao(ini);
        EXPECT_EQ(c.loteImportacao, 500) << lote;
        ASSERT_EQ(c.avisos.size(), 1u) << lote;
        EXPECT_EQ(c.avisos[0],
                  "LoteImportacao \"" + lote + "\" inválido (registros de 1 a 1000000): usados 500 registros");
    }
}

TEST(Configuracao, ATempoThatGivesNoTimerIntervalCountsAsSixtyAndIsLogged) {
    test::TempDir dir;
    const auto ini = dir / "jaq.ini";
    for (const std::string tempo : {"0", "-5", "35792", "99999999999", "abc"}) {
        writeFileAtomically(ini, "[EDI]\nTempo=" + tempo + "\n");
        const Configuracao c = LeConfiguracao(ini);
        EXPECT_EQ(c.intervaloTimerMs(), 3600000) << tempo;
        ASSERT_EQ(c.avisos.size(), 1u) << tempo;
        EXPECT_EQ(c.avisos[0], "Tempo \"" + tempo + "\" inválido (minutos de 1 a 35791): usados 60 minutos");
    }
    writeFileAtomically(ini, "[EDI]\nTempo=35791\n");
    EXPECT_EQ(LeConfiguracao(ini).intervaloTimerMs(), 35791 * 60000);
    EXPECT_TRUE(LeConfiguracao(ini).avisos.empty());
    writeFileAtomically(ini, "[EDI]\nExportar=SIM\n");
    EXPECT_TRUE(LeConfiguracao(ini).avisos.empty()); // no key: the default, nothing to say
}

// The sample of the README is what operators copy: it must mean what it says.
TEST(Configuracao, TheReadmeSampleReadsAsDocumented) {
    const char* fonte = std::getenv("EDI_SOURCE_DIR");
    ASSERT_NE(fonte, nullptr);
    const std::string readme = readFile(std::filesystem::path(fonte) / "README.md");
    const size_t inicio = readme.find("```ini\n");
    ASSERT_NE(inicio, std::string::npos);
    const size_t corpo = inicio + 7;
    const std::string amostra = readme.substr(corpo, readme.find("```", corpo) - corpo);
    test::TempDir dir;
    writeFileAtomically(dir / "jaq.ini", amostra);
    const Configuracao c = LeConfiguracao(dir / "jaq.ini");
    EXPECT_EQ(c.DB, "/var/lib/edi/u12/u12.fdb");
    EXPECT_TRUE(c.bExportar);
    EXPECT_TRUE(c.bImportar);
    EXPECT_EQ(c.nTempo, 60);
    EXPECT_TRUE(c.avisos.empty());
    EXPECT_EQ(c.servidor, "127.0.0.1:8088");
    // A comment after a value would become part of it: every comment has its own line.
    std::istringstream linhas(amostra);
    for (std::string linha; std::getline(linhas, linha);) {
        if (linha.find('=') != std::string::npos) {
            EXPECT_EQ(linha.find(';'), std::string::npos) << linha;
        }
    }
}

TEST(Configuracao, UpdateMomentIsWrittenInPlaceAndReadBackUnchanged) {
    test::TempDir dir;
    const auto ini = dir / "jaq.ini";
    const std::string antes =
        "; unidade 12\r\n[Geral]\r\nDB=/d/u.fdb\r\n\r\n[EDI]\r\nExportar=SIM\r\nUpdate=01-01-1900\r\n"
        "Tempo=5\r\n[Outra]\r\nX=1\r\n";
    writeFileAtomically(ini, antes);
    const std::string momento = AtualizaUpdate(ini);
    ASSERT_EQ(momento.size(), 19u);
    std::string esperado = antes;
    esperado.replace(esperado.find("01-01-1900"), 10, momento);
    EXPECT_EQ(readFile(ini), esperado);
    EXPECT_EQ(LeConfiguracao(ini).update, momento);

    writeFileAtomically(ini, "[Geral]\nDB=x\n");
    AtualizaUpdate(ini);
    EXPECT_EQ(LeConfiguracao(ini).update.size(), 19u);
    EXPECT_EQ(readFile(ini).rfind("[Geral]\nDB=x\n", 0), 0u);
}

TEST(Configuracao, OfflineCanBeForcedAndALocalServerCountsAsReachable) {
    Configuracao c;
    c.servidor = "127.0.0.1:8088";
    EXPECT_TRUE(EstaNaInternet(c));
    c.servidor = "http://localhost:9000/x";
    EXPECT_TRUE(EstaNaInternet(c));
    c.forcaOffline = true;
    EXPECT_FALSE(EstaNaInternet(c));
}

} // namespace
} // namespace edi
