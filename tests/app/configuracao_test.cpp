#include "app/configuracao.h"
#include "app/constants.h"
#include "core/files.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

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

    writeFileAtomically(ini, "[Geral]\nDB=x\n[EDI]\nTempo=0\n");
    EXPECT_EQ(LeConfiguracao(ini).intervaloTimerMs(), 0);

    const Configuracao vazio = LeConfiguracao(dir / "nao-existe.ini");
    EXPECT_EQ(vazio.DB, "");
    EXPECT_FALSE(vazio.bExportar || vazio.bImportar);
    EXPECT_EQ(vazio.intervaloTimerMs(), 3600000);
}

TEST(Configuracao, UpdateMomentIsWrittenInPlaceAndReadBackUnchanged) {
    test::TempDir dir;
    const auto ini = dir / "jaq.ini";
    const std::string antes = "; unidade 12\r\n[Geral]\r\nDB=/d/u.fdb\r\n\r\n[EDI]\r\nExportar=SIM\r\nUpdate=01-01-1900\r\n"
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
