#include "domain/regras_exclusao.h"

#include <gtest/gtest.h>

namespace edi::domain {
namespace {

// The engine always names the table; these are the texts it never produces but the translation must survive.
TEST(RegrasExclusao, ForeignKeyTextWithoutTableName) {
    EXPECT_EQ(MensagemErroDelete("TB_PACIENTE", "violation of FOREIGN KEY constraint \"FK_X\""),
              "Não foi possível excluir paciente,pois existe uma associação com !");
    EXPECT_EQ(PegaNomeTabela("FOREIGN KEY ... on table \"TATUAGEM"), "TATUAGEM");
    EXPECT_EQ(PegaNomeTabela("on table TATUAGEM"), "");
    EXPECT_EQ(MensagemErroDelete("TB_NOTIFICACAO", "foreign key on table \"TATUAGEM\""), "Não foi possível excluir ");
}

} // namespace
} // namespace edi::domain
