// The tables of the health-programme database, parents before children. This list is the one place where
// tables and columns are written down; schema.cpp applies the key, interchange and registry rules to it.
#include "domain/schema_tables.h"

namespace edi::domain::detail {

namespace {

// The pending-acceptance copies: each register has an _AR and an _ARE table with the same columns.
constexpr const char* kRegistroAtvAr =
    "CD_REGISTRO_ATV integer!, CD_UND integer!, DT_REGISTRO timestamp!, CD_UNIDADE integer!, "
    "CD_PROVINCIA integer!, CD_MUNICIPIO integer!, VL_MESANO varchar(8)!, VL_ACONSELHADOS integer, "
    "VL_POSITIVOS integer, VL_NEGATIVOS integer, VL_INDETERMINADOS integer, FL_ACEITAR integer, "
    "FL_STATUS char(1), DT_EXP timestamp, CD_EDI integer, CD_USU_INCLUSAO integer, "
    "DT_INCLUSAO timestamp, CD_USU_ALTERACAO integer, DT_ALTERACAO timestamp, CD_REGISTRO_GERAL integer";

constexpr const char* kRegistroPtvAr =
    "CD_REGISTRO_PTV integer!, CD_UND integer!, DT_REGISTRO timestamp, CD_UNIDADE integer!, "
    "CD_PROVINCIA integer!, CD_MUNICIPIO integer!, VL_MESANO varchar(8)!, VL_ADMITIDAS_PTV integer, "
    "VL_ADMITIDAS_PARTO integer, VL_ADMITIDAS_POS_PARTO integer, VL_TERAPIA_COMPLETA integer, "
    "VL_TERAPIA_OUTRO integer, VL_TERAPIA_NENHUM integer, VL_TOTAL_CRIANCA integer, FL_ACEITAR integer, "
    "FL_STATUS char(1), DT_EXP timestamp, CD_EDI integer, CD_USU_INCLUSAO integer, "
    "DT_INCLUSAO timestamp, CD_USU_ALTERACAO integer, DT_ALTERACAO timestamp, CD_REGISTRO_GERAL integer";

constexpr const char* kRegistroTarvAr =
    "CD_REGISTRO_TARV integer!, CD_UND integer!, DT_REGISTRO timestamp!, CD_UNIDADE integer!, "
    "CD_PROVINCIA integer!, CD_MUNICIPIO integer!, VL_MESANO varchar(8)!, VL_ACUMULADOS integer, "
    "VL_NOVOS integer, VL_TRANSFERIDOS integer, VL_ABANDONOS integer, VL_TRANSFERIDOS_PARA integer, "
    "VL_OBITOS integer, FL_ACEITAR integer, FL_STATUS char(1), DT_EXP timestamp, CD_EDI integer, "
    "CD_USU_INCLUSAO integer, DT_INCLUSAO timestamp, CD_USU_ALTERACAO integer, DT_ALTERACAO timestamp, "
    "CD_REGISTRO_GERAL integer";

constexpr const char* kRegistroTarvAcompAr =
    "CD_REGISTRO_TARV_ACOMP integer!, CD_UND integer!, DT_REGISTRO timestamp!, CD_UNIDADE integer!, "
    "CD_PROVINCIA integer!, CD_MUNICIPIO integer!, VL_MESANO varchar(8)!, VL_ACUMULADOS integer, "
    "VL_NOVOS integer, VL_TRANSFERIDOS integer, VL_ABANDONOS integer, VL_TRANSFERIDOS_PARA integer, "
    "VL_OBITOS integer, FL_ACEITAR integer, FL_STATUS char(1), DT_EXP timestamp, CD_EDI integer, "
    "CD_USU_INCLUSAO integer, DT_INCLUSAO timestamp, CD_USU_ALTERACAO integer, DT_ALTERACAO timestamp, "
    "CD_REGISTRO_GERAL integer";

constexpr const char* kRegistroTarvEsquemaAr =
    "CD_REGISTRO_TARV_ESQUEMA integer!, CD_UND integer!, DT_REGISTRO timestamp!, CD_UNIDADE integer!, "
    "CD_PROVINCIA integer!, CD_MUNICIPIO integer!, VL_MESANO varchar(8)!, VL_ANTERIOR_CRIANCA integer, "
    "VL_ANTERIOR_ADULTO integer, VL_CORRENTE_CRIANCA integer, VL_CORRENTE_ADULTO integer, "
    "FL_ACEITAR integer, FL_STATUS char(1), DT_EXP timestamp, CD_EDI integer, CD_USU_INCLUSAO integer, "
    "DT_INCLUSAO timestamp, CD_USU_ALTERACAO integer, DT_ALTERACAO timestamp, CD_REGISTRO_GERAL integer";

constexpr const char* kRegistroTarvCd4Ar =
    "CD_REGISTRO_TARV_CD4 integer!, CD_UND integer!, DT_REGISTRO timestamp!, CD_UNIDADE integer!, "
    "CD_PROVINCIA integer!, CD_MUNICIPIO integer!, VL_MESANO varchar(8)!, VL_CD4_MENOR_350 integer, "
    "VL_CD4_MAIOR_350 integer, VL_ESTADO_CLINICO_1..4 integer, FL_ACEITAR integer, FL_STATUS char(1), "
    "DT_EXP timestamp, CD_EDI integer, CD_USU_INCLUSAO integer, DT_INCLUSAO timestamp, "
    "CD_USU_ALTERACAO integer, DT_ALTERACAO timestamp, CD_REGISTRO_GERAL integer";

constexpr const char* kRegistroCoinfeccaoAr =
    "CD_REGISTRO_COINFECCAO integer!, CD_UND integer!, DT_REGISTRO timestamp!, CD_UNIDADE integer!, "
    "CD_PROVINCIA integer!, CD_MUNICIPIO integer!, VL_MESANO varchar(8)!, VL_VIH_POSITIVOS integer, "
    "VL_TRATAMENTO_ARVS integer, FL_ACEITAR integer, FL_STATUS char(1), DT_EXP timestamp, "
    "CD_EDI integer, CD_USU_INCLUSAO integer, DT_INCLUSAO timestamp, CD_USU_ALTERACAO integer, "
    "DT_ALTERACAO timestamp, CD_REGISTRO_GERAL integer";

constexpr const char* kRegistroProgramaAr =
    "CD_REGISTRO_PROGRAMA integer!, CD_UND integer!, DT_REGISTRO timestamp!, CD_UNIDADE integer, "
    "CD_PROVINCIA integer, CD_MUNICIPIO integer, VL_MESANO varchar(8), VL_ACONSELHADOS integer, "
    "VL_POSITIVOS integer, VL_NEGATIVOS integer, VL_INDETERMINADOS integer, VL_FEMININO_2 integer, "
    "VL_MASCULINO_2 integer, VL_GESTANTE_3 integer, VL_POS_PARTO_3 integer, VL_PARTOS_3 integer, "
    "VL_FEMININO_52 integer, VL_MASCULINO_52 integer, FL_ACEITAR integer, FL_STATUS char(1), "
    "DT_EXP timestamp, CD_EDI integer, CD_USU_INCLUSAO integer, DT_INCLUSAO timestamp, "
    "CD_USU_ALTERACAO integer, DT_ALTERACAO timestamp, CD_USU_EXCLUSAO integer, "
    "CD_REGISTRO_GERAL integer";

} // namespace

constexpr TableSource kTables[] = {
    // Geography and reference lists
    {"PAIS", "TB_PAIS", TableKind::Reference, "CD_PAIS", "PAIS_CD_PAIS_SEQ:CD_PAIS",
     "CD_PAIS integer!, DS_PAIS varchar(50)!, CD_UND integer!"},
    {"PROVINCIA", "TB_PROVINCIA", TableKind::Reference, "CD_PROVINCIA", "PROVINCIA_CD_PROVINCIA_SEQ:CD_PROVINCIA",
     "CD_PROVINCIA integer!, CD_PAIS integer!, DS_PROVINCIA varchar(50)!, CD_UND integer!"},
    {"MUNICIPIO", "TB_MUNICIPIO", TableKind::Reference, "CD_MUNICIPIO", "",
     "CD_MUNICIPIO integer!, CD_PROVINCIA integer!, DS_MUNICIPIO varchar(50)!, CD_UND integer!"},
    {"OCUPACAO", "TB_OCUPACAO", TableKind::Reference, "CD_OCUPACAO", "",
     "CD_OCUPACAO integer!, DS_OCUPACAO varchar(50), CD_UND integer!"},
    {"TIPO_DOCUMENTO", "TB_TIPO_DOCUMENTO", TableKind::Reference, "CD_TIPO_DOCUMENTO",
     "TIPO_DOC_CD_TIPO_DOC_SEQ:CD_TIPO_DOCUMENTO",
     "CD_TIPO_DOCUMENTO integer!, DS_TIPO_DOCUMENTO varchar(20), CD_UND integer"},
    {"ESQUEMA", "TB_ESQUEMA", TableKind::Reference, "CD_ESQUEMA", "GEN_ESQUEMA:CD_ESQUEMA",
     "CD_ESQUEMA integer!, DS_NOME_MEDICAMENTO varchar(100), DS_SIGLA varchar(50), "
     "DS_APRESENTACAO varchar(50), DS_NOME_COMERCIAL varchar(100), CD_UND integer, DT_EXP timestamp, "
     "CD_EDI integer, FL_COMPONENTE char(1), VL_ARV varchar(10)"},
    {"FORMA", "TB_FORMA", TableKind::Reference, "CD_FORMA", "GEN_FORMA:CD_FORMA",
     "CD_FORMA integer!, CD_UND integer, DS_FORMA varchar(50), DT_EXP timestamp, CD_EDI integer"},
    {"SERVICOS", "TB_SERVICOS", TableKind::Reference, "CD_SERVICO", "GEN_SERVICOS:CD_SERVICO",
     "CD_SERVICO integer!, DS_SERVICO varchar(100)"},
    {"STATUS", "", TableKind::Reference, "SG_STATUS", "", "SG_STATUS char(2)!, DS_STATUS varchar(30)"},
    {"VALOR_PARAMETRO", "", TableKind::Reference, "CD_PARAMETRO, CD_VALOR", "",
     "CD_PARAMETRO integer!, CD_VALOR integer!, TP_VALOR varchar(10), VL_PARAMETRO varchar(100)"},
    {"TABELA_AUXILIAR", "", TableKind::Reference, "CD_TABELA, CD_CODIGO", "",
     "CD_TABELA integer!, CD_CODIGO integer!, DS_DESCRICAO varchar(100)"},
    {"TIPO_ABANDONO", "", TableKind::Reference, "CD_TIPO_ABANDONO", "",
     "CD_TIPO_ABANDONO integer!, DS_TIPO_ABANDONO varchar(100)"},
    {"CID10_CAPITULO", "", TableKind::Reference, "CD_CAPITULO", "",
     "CD_CAPITULO integer!, DS_DESCRICAO varchar(300), DS_DESCRABREV varchar(300)"},
    {"CID10_CATEGORIA", "", TableKind::Reference, "CD_CATEGORIA", "",
     "CD_CATEGORIA integer!, CD_CAT char(3), CD_CAPITULO integer, CD_GRUPO integer, "
     "DS_DESCRICAO varchar(300), DS_DESCRABREV varchar(300)"},
    {"CID10_SUBCATEGORIA", "TB_CID10", TableKind::Reference, "CD_SUBCATEGORIA", "",
     "CD_SUBCATEGORIA integer!, CD_SUBCAT char(5), CD_CAPITULO integer, CD_GRUPO integer, "
     "CD_CATEGORIA integer, FL_USAR char(1), DS_DESCRICAO varchar(300), DS_DESCRABREV varchar(300)"},
    // Units
    {"UNIDADE", "TB_UNIDADE", TableKind::Reference, "CD_UNIDADE, CD_UND", "UNIDADE_CD_UNIDADE_SEQ:CD_UNIDADE",
     "CD_UNIDADE integer!, CD_UND integer!, CD_PROVINCIA integer, DS_UNIDADE varchar(50)!, "
     "CD_MUNICIPIO integer, FL_ATIVA char(1), VL_VERSAO varchar(20)"},
    {"UNIDADE_SERVICOS", "TB_UNIDADE_SERVICOS", TableKind::Reference, "CD_UNIDADE, CD_SERVICO", "",
     "CD_UNIDADE integer!, CD_SERVICO integer!, DT_EXP timestamp, CD_EDI integer, CD_UND integer, "
     "DT_INICIO date"},
    {"ST_UNIDADE", "TB_ST_UNIDADE", TableKind::Data, "CD_ST_UNIDADE, CD_UND", "GEN_ST_UNIDADE:CD_ST_UNIDADE",
     "CD_ST_UNIDADE integer!, CD_UND integer!, CD_UNIDADE integer, DS_UNIDADE varchar(50), "
     "DT_EXP timestamp, CD_EDI integer, CD_PROVINCIA integer, CD_MUNICIPIO integer, FL_ATIVA char(1), "
     "ST_STATUS char(1), CD_ATIP integer, CD_PTV integer, CD_TARV_I integer, CD_TARV_A integer, "
     "CD_USU_INCLUSAO integer, DT_INCLUSAO timestamp, CD_USU_ALTERACAO integer, DT_ALTERACAO timestamp, "
     "CD_COINF integer, NM_USU varchar(50), VL_VERSAO varchar(20), DT_INI_ATIP timestamp, "
     "DT_INI_PTV timestamp, DT_INI_TARV_I timestamp, DT_INI_TARV_A timestamp, DT_INI_COINF timestamp"},
    // People, users and staff
    {"EMPRESA", "", TableKind::Data, "CD_EMPRESA", "",
     "CD_EMPRESA integer!, DS_EMPRESA varchar(30), TP_EMPRESA char(2), CD_PESSOA integer"},
    {"PESSOA", "TB_PESSOA", TableKind::Data, "CD_PESSOA", "",
     "CD_PESSOA integer!, CD_UND integer!, NM_PESSOA varchar(100), TP_PESSOA char(2), BL_IMAGEM blob, "
     "FL_ATIVO char(1), FL_PRINCIPAL char(1), FL_PADRAO char(1), CD_EMPRESA integer"},
    {"DOCUMENTO", "TB_DOCUMENTO", TableKind::Data, "CD_DOCUMENTO", "",
     "CD_DOCUMENTO integer!, CD_UND integer!, TP_DOCUMENTO varchar(20), NR_DOCUMENTO varchar(20), "
     "CD_PESSOA integer!, FL_PRINCIPAL char(1)!, CD_EMPRESA integer"},
    {"ENDERECO", "TB_ENDERECO", TableKind::Data, "CD_ENDERECO", "",
     "CD_ENDERECO integer!, CD_UND integer, DS_ENDERECO varchar(100), DS_BAIRRO varchar(100), "
     "DS_CIDADE varchar(100), DS_COMPLEMENTO varchar(200), TP_ENDERECO varchar(20), CD_PESSOA integer!, "
     "FL_PRINCIPAL char(1)!, CD_EMPRESA integer"},
    {"PESSOA_DOC", "TB_PESSOA_DOC", TableKind::Data, "CD_PESSOA, CD_DOCUMENTO", "",
     "CD_PESSOA integer!, CD_UND integer, CD_DOCUMENTO integer!, FL_PRINCIPAL char(1), "
     "CD_EMPRESA integer"},
    {"PESSOA_ENDERECO", "TB_PESSOA_ENDERECO", TableKind::Data, "CD_PESSOA, CD_ENDERECO", "",
     "CD_PESSOA integer!, CD_UND integer, CD_ENDERECO integer!, FL_PRINCIPAL char(1)!, "
     "CD_EMPRESA integer"},
    {"TELEFONE", "TB_PESSOA_TEL", TableKind::Data, "CD_TELEFONE", "GEN_TELEFONE:CD_TELEFONE",
     "CD_TELEFONE integer!, CD_PESSOA integer!, NR_TELEFONE varchar(20), TP_TELEFONE varchar(20), "
     "FL_PRINCIPAL char(1)!, CD_EMPRESA integer"},
    {"USUARIO", "TB_USUARIO", TableKind::Data, "CD_USUARIO, CD_UND", "USUARIO_CD_USUARIO_SEQ:CD_USUARIO",
     "CD_USUARIO integer!, CD_UND integer!, EMAIL varchar(50)!, NOME varchar(50)!, SENHA char(32)!, "
     "DT_EXP timestamp, CD_EDI integer, NM_LOGIN varchar(20), DT_CADASTRO timestamp, "
     "NM_USUARIO varchar(100), DS_SENHA varchar(15), CD_EMPRESA integer"},
    {"USUARIO_CMP", "TB_USUARIO_CMP", TableKind::Data, "CD_USUARIO, CD_UND", "USUARIO_CD_USUARIO_SEQ:CD_USUARIO",
     "CD_USUARIO integer!, CD_UND integer!, CD_MEDICO integer, NM_USUARIO varchar(100), "
     "NM_LOGIN varchar(15), DS_SENHA varchar(15), DT_CADASTRO timestamp, DT_EXP timestamp, "
     "CD_EDI integer, CD_GRUPO integer"},
    {"PERMISSAO_USUARIO", "TB_PERMISSAO_USUARIO", TableKind::Data, "CD_PERUSU, CD_UND", "",
     "CD_PERUSU integer!, CD_UND integer!, CD_PERMISSAO integer!, DS_MODULO varchar(15)!, "
     "CD_USUARIO integer!, CD_EMPRESA integer, CD_EMPRESA_ORIGEM integer, CD_EDI integer, "
     "NM_USUARIO varchar(100), DT_CADASTRO timestamp, TP_EDI char(1), DT_EXP timestamp"},
    {"MEDICO", "TB_MEDICO", TableKind::Data, "CD_MEDICO", "GEN_MEDICO:CD_MEDICO",
     "CD_MEDICO integer!, NM_MEDICO varchar(50), NR_TELEFONE varchar(20), CD_UND integer!, "
     "FL_ATIVO integer, DT_ATIVO timestamp, NR_ATENDIMENTO integer"},
    {"VINC_USUARIO_MEDICO", "TB_VINC_USUARIO_MEDICO", TableKind::Data, "CD_USUARIO, CD_MEDICO", "",
     "CD_USUARIO integer!, CD_MEDICO integer!"},
    {"INVESTIGADOR", "TB_INVESTIGADOR", TableKind::Data, "CD_INVESTIGADOR", "GEN_INVESTIGADOR:CD_INVESTIGADOR",
     "CD_INVESTIGADOR integer!, NM_INVESTIGADOR varchar(50), NM_FUNCAO varchar(50), "
     "NR_TELEFONE varchar(20), CD_UND integer!"},
    // Patients
    {"PACIENTE", "TB_PACIENTE", TableKind::Data, "CD_PACIENTE", "PACIENTE_CD_PACIENTE_SEQ:CD_PACIENTE",
     "CD_PACIENTE integer!, CD_BAIRRO integer, CD_PAIS integer, CD_MUNICIPIO integer, "
     "CD_MOR_MUNICIPIO integer, CD_PROVINCIA integer, CD_COMUNA integer, NM_PACIENTE varchar(50)!, "
     "DT_NASCIMENTO date!, IDADE smallint!, NM_MAE varchar(50)!, CD_MORADA_PERM char(1), "
     "CD_ESCOLARIDADE smallint, DS_ESCOLARIDADE varchar(50), TP_SEXO char(1)!, MESES integer, "
     "ESTADO_CIVIL integer, CD_NAR_PROVINCIA integer, CD_PACIENTE_ORACLE integer, CD_OCUPACAO integer, "
     "CD_DOCUMENTO integer, TP_DOCUMENTO varchar(20), NR_DOCUMENTO varchar(20), NR_TEL_1 varchar(20), "
     "NR_TEL_2 varchar(20), DS_ENDERECO varchar(200), FL_GESTANTE integer, FL_NOTIFICACAO integer, "
     "NR_MESES_GESTANTE integer, FL_RESULTADO char(1), CD_UND integer!, CD_UNIDADE integer, "
     "NR_PROCESSO integer, FL_LAB char(1), FL_CASONOVO char(1), FL_TRANS integer, FL_OBITO integer, "
     "DT_OBITO timestamp, FL_CRIANCA_EXPOSTA char(1), NR_PROCESSO_CRIANCA_EXP varchar(15), "
     "CD_PACIENTE_MAE integer, DT_INICIO_CRIANCA_EXP date, DT_FIM_CRIANCA_EXP date, "
     "CD_DESFECHO_CRIANCA_EXP integer"},
    {"PROCESSO", "", TableKind::Data, "NR_PROCESSO", "", "NR_PROCESSO integer!, FL_DIGITAL integer"},
    // Notifications and their details
    {"NOTIFICACAO", "TB_NOTIFICACAO", TableKind::Data, "CD_FICHA",
     "NOTIFICACAO_CD_FICHA_SEQ:CD_FICHA, GEN_CD_NOTIFICACAO:CD_NOTIFICACAO",
     "CD_FICHA bigint!, CD_UNIDADE integer!, CD_USUARIO integer!, CD_MUNICIPIO integer!, "
     "CD_UNIDADE_TRATAMENTO integer, CD_MUNICIPIO_TRATAMENTO integer, CD_PACIENTE integer!, "
     "DT_NOTIFICACAO date!, DT_DIAGNOSTICO date!, CD_RELACOES_SEXO smallint, CD_MAE_POSITIVO smallint, "
     "CD_USOU_DROGA smallint, CD_ACIDENTE_MAT_BIO smallint, SN_TRANSFUSAO_SANGUE integer, "
     "SN_PERFURACAO integer, SN_TRAT_DENTARIO integer, SN_INTERV_CIRURGICA integer, "
     "SN_CIRCUNCISAO integer, CD_TESTE_TRIAGEM smallint!, DS_TESTE_TRIAGEM varchar(50), "
     "CD_OCUPACAO smallint, DS_OCUPACAO varchar(50), CD_TESTE_CONFIRMATORIO smallint!, "
     "DS_TESTE_CONFIRMATORIO varchar(50), CD_OMS smallint, CD_CD4 integer, CD_EVOLUCAO smallint, "
     "DT_EVOLUCAO date, DS_OBSERVACAO varchar(1000), CD_NOTIFICACAO integer!, REGDUP char(1), "
     "CD_LOTE integer, NM_ENTREVISTADOR varchar(50), TEL_ENTREVISTADOR varchar(10), "
     "FUNCAO_ENTREVISTADOR varchar(50), NM_MEDICO varchar(50), TEL_MEDICO varchar(10), "
     "SN_TATUAGEM integer, TP_ENTRADA integer, EVIDENCIA_GESTANTE integer, TB_ATUAL integer, "
     "TB_ANTERIOR integer, DT_TRATAMENTO_TB date, CD_PROVINCIA_TRATAMENTO integer, "
     "CD_PROVINCIA_NOT integer, DT_ALTERACAO timestamp, DT_EXPORTACAO timestamp, CD_FICHA_ORACLE integer, "
     "CD_MEDICO integer, NR_NOTIFICACAO varchar(10), CD_FICHA_SINVS bigint, CD_INVESTIGADOR integer, "
     "DT_TESTE_TRIAGEM timestamp, DT_TESTE_CONFIRMATORIO timestamp, NR_PROCESSO_UTENTE varchar(30), "
     "CD_UND integer!, DT_ENTRADA date, DT_EVOLUCAO_2 date, DT_EXP timestamp, CD_EDI integer"},
    {"TRANSFUSAO", "TB_TRANSFUSAO", TableKind::Data, "CD_TRANSFUSAO, CD_FICHA",
     "TRANSFUSAO_CD_TRANSFUSAO_SEQ:CD_TRANSFUSAO",
     "CD_FICHA bigint!, CD_TRANSFUSAO integer!, DT_TRANSFUSAO date, DS_TRANSFUSAO varchar(255), "
     "CD_UND integer!"},
    {"PERFURACAO", "TB_PERFURACAO", TableKind::Data, "CD_PERFURACAO, CD_FICHA",
     "PERFURACAO_CD_PERFURACAO_SEQ:CD_PERFURACAO",
     "CD_PERFURACAO integer!, CD_FICHA bigint!, DT_PERFURACAO date!, CD_UND integer!"},
    {"TATUAGEM", "TB_TATUAGEM", TableKind::Data, "CD_TATUAGEM, CD_FICHA", "TATUAGEM_CD_TATUAGEM_SEQ:CD_TATUAGEM",
     "CD_TATUAGEM integer!, CD_FICHA bigint!, DT_TATUAGEM date, CD_UND integer!"},
    {"DENTARIO", "TB_DENTARIO", TableKind::Data, "CD_DENTARIO, CD_FICHA", "DENTARIO_CD_DENTARIO_SEQ:CD_DENTARIO",
     "CD_DENTARIO integer!, CD_FICHA bigint!, DT_DENTARIO date!, CD_UND integer!"},
    {"INTERV_CIRURGICA", "TB_INTERV_CIRURGICA", TableKind::Data, "CD_INTERV_CIRURGICA, CD_FICHA",
     "INTERV_CIRURGICA_CD_INTERV_SEQ:CD_INTERV_CIRURGICA",
     "CD_INTERV_CIRURGICA integer!, CD_FICHA bigint!, DT_CIRURGIA date!, CD_UND integer!"},
    {"CIRCUNCISAO", "TB_CIRCUNCISAO", TableKind::Data, "CD_CIRCUNCISAO, CD_FICHA",
     "CIRCUNCISAO_CD_CIRCUNCISAO_SEQ:CD_CIRCUNCISAO",
     "CD_CIRCUNCISAO integer!, CD_FICHA bigint!, DT_CIRCUNCISAO date!, CD_UND integer!"},
    {"ASPECTO_NOTIFICACAO", "", TableKind::Data, "CD_ASPECTO, CD_FICHA", "",
     "CD_ASPECTO integer!, CD_FICHA bigint!, CD_UND integer!, DS_ASPECTO varchar(100)"},
    {"EXCECAO_IMPORTAR", "", TableKind::Data, "CD_EXCECAO, CD_FICHA", "",
     "CD_EXCECAO integer!, CD_FICHA bigint!, CD_UND integer!, DS_MOTIVO varchar(200), "
     "DT_INCLUSAO timestamp"},
    {"NOTIFICACAO_GESTANTE", "TB_NOT_GESTANTE", TableKind::Data, "CD_NOT_GESTANTE, CD_UND",
     "GEN_NOT_GESTANTE:CD_NOT_GESTANTE",
     "CD_NOT_GESTANTE integer!, CD_NR_NOFITICACAO varchar(20), DT_NOTIFICACAO timestamp, "
     "CD_PROVINCIA integer, DS_PROVINCIA varchar(50), CD_MUNICIPIO integer, DS_MUNICIPIO varchar(50), "
     "CD_UNIDADE integer, DS_UNIDADE varchar(50), NM_GEST varchar(50), DT_NASC_GEST timestamp, "
     "IDADE_GEST integer, NR_PROCESSO_GEST integer, DT_APROX_GEST timestamp, FL_SIT_ACTUAL integer, "
     "DS_SIT_ACTUAL varchar(100), FL_ESTADO_CIVIL integer, DS_ESTADO_CIVIL varchar(100), "
     "CD_PROV_NASC integer, DS_PROV_NASC varchar(50), CD_PAIS_NASC integer, DS_PAIS_NASC varchar(50), "
     "DS_ENDERECO_NASC varchar(100), NR_TELEMOVEL varchar(20), CD_PROV_MORADA integer, "
     "DS_PROV_MORADA varchar(50), CD_MUN_MORADA integer, DS_MUN_MORADA varchar(50), "
     "DS_BAIRRO_MORADA varchar(50), DS_COMUNA_MORADA varchar(50), FL_NIVEL_ESCO integer, "
     "DS_NIVEL_ESCO varchar(100), DS_OUTRO_ESCO varchar(50), FL_FUNCAO integer, DS_FUNCAO varchar(100), "
     "DS_OUTRA_FUNC varchar(50), NM_MAE_GEST varchar(50), FL_MOM_DIAG_VIH_1 integer, "
     "DS_MOM_DIAG_VIH_1 varchar(100), DT_DIAG_VIH_1 timestamp, FL_SIT_SEROLOGICA_1 integer, "
     "DS_SIT_SEROLOGICA_1 varchar(100), FL_OCUP_PARCEIRO_1 integer, DS_OCUP_PARCEIRO_1 varchar(100), "
     "DS_OCUP_OUTROS_1 varchar(50), FL_PRENATAL_CPN_2 integer, DS_PRENATAL_CPN_2 varchar(100), "
     "DT_PRIMEIRA_CON_2 timestamp, CD_UND_CPN_2 integer, DS_UND_CPN_2 varchar(50), CD_MUN_CPN_2 integer, "
     "DS_MUN_CPN_2 varchar(50), CD_PROV_CPN_2 integer, DS_PROV_CPN_2 varchar(50), "
     "DT_ULT_MESTRUACAO_2 timestamp, FL_IDADE_GES_2 integer, DT_PROVAVEL_PARTO_2 timestamp, "
     "FL_ANT_GESTACOES_2 integer, FL_ANT_ABORTOS_2 integer, FL_ANT_NADO_2 integer, "
     "FL_USA_ANTVIRAL_2 integer, DS_USA_ANTVIRAL_2 varchar(100), DS_QUAIS_ANTVIRAL_2 varchar(50), "
     "DS_SIGLA_ANTVIRAL_2 varchar(50), DT_INI_ANTVIRAL_2 timestamp, FL_NAO_MOTIVOS_2 integer, "
     "DS_NAO_MOTIVOS_2 varchar(100), DS_OUTROS_MOTIVOS_2 varchar(100), DT_PARTO_3 timestamp, "
     "FL_LOCAL_PARTO integer, DS_LOCAL_PARTO varchar(30), CD_UND_PARTO_3 integer, "
     "DS_UND_PARTO_3 varchar(50), CD_MUN_PARTO_3 integer, DS_MUN_PARTO_3 varchar(50), "
     "CD_PROV_PARTO_3 integer, DS_PROV_PARTO_3 varchar(50), FL_TP_PARTO_3 integer, "
     "DS_TP_PARTO_3 varchar(30), FL_TP_GEMELAR_3 integer, DS_TP_GEMELAR_3 varchar(30), "
     "DS_QUAL_GEMELAR_3 varchar(30), ST_TP_GEMELAR_3 char(3), FL_EST_SEROLOGICO_3 integer, "
     "DS_EST_SEROLOGICO_3 varchar(100), FL_USA_ANTVIRAL_3 integer, DS_USA_ANTVIRAL_3 varchar(50), "
     "FL_NAO_PORQUE_3 integer, DS_NAO_PORQUE_3 varchar(100), DS_OUTROS_MOTIVOS_3 varchar(100), "
     "FL_OBITO_MATERNO_3 integer, DS_OBITO_MATERNO_3 varchar(30), FL_DESF_GEST_3 integer, "
     "DS_DESF_GEST_3 varchar(30), FL_NADO_VIVO_3 integer, DS_NADO_VIVO_3 varchar(30), "
     "NR_PROCESSO_CRI integer, ST_RN char(2), NM_CRI varchar(50), DT_NASC_CRI timestamp, "
     "IDADE_CRI integer, FL_IDADE_CRI integer, DS_IDADE_CRI varchar(30), CD_IDADE_CRI integer, "
     "FL_SEXO_CRI integer, DS_SEXO_CRI varchar(40), DT_PRI_CONS_4 timestamp, FL_INI_PROFILAXIA_4 integer, "
     "DS_INI_PROFILAXIA_4 varchar(30), FL_ALEITAMENTO_4 integer, DS_ALEITAMENTO_4 varchar(50), "
     "FL_ALEI_TEMPO_4 integer, FL_MAE_USO_TARV_4 integer, DS_MAE_USO_TARV_4 varchar(40), "
     "FL_NAO_USO_MOTIVO_4 integer, DS_NAO_USO_MOTIVO_4 varchar(100), DS_OUTROS_MOTIVO_4 varchar(100), "
     "FL_ALEIT_MATERNO_4 integer, DS_ALEIT_MATERNO_4 varchar(30), FL_ALEI_MATER_TEMPO_4 integer, "
     "FL_USO_PROFILAXIA_4 integer, DS_USO_PROFILAXIA_4 varchar(30), FL_TEMPO_USO_PROF_4 integer, "
     "DS_TEMPO_USO_PROF_4 varchar(50), FL_PROF_CTX_4 integer, DS_PROF_CTX_4 varchar(30), "
     "DT_INICIO_CTX_4 timestamp, FL_PRI_CV_5 integer, DS_PRI_CV_5 varchar(30), DT_PRI_CV_5 timestamp, "
     "FL_SEG_CV_5 integer, DS_SEG_CV_5 varchar(30), DT_SEG_CV_5 timestamp, FL_TER_CV_5 integer, "
     "DS_TER_CV_5 varchar(30), DT_TER_CV_5 timestamp, FL_PRI_TEST_5 integer, DS_PRI_TEST_5 varchar(30), "
     "DT_PRI_TEST_5 timestamp, FL_SEG_TEST_5 integer, DS_SEG_TEST_5 varchar(30), DT_SEG_TEST_5 timestamp, "
     "FL_TER_TEST_5 integer, DS_TER_TEST_5 varchar(30), DT_TER_TEST_5 timestamp, FL_QUA_TEST_5 integer, "
     "DS_QUA_TEST_5 varchar(30), DT_QUA_TEST_5 timestamp, FL_DESFECHO_5 integer, "
     "DS_DESFECHO_5 varchar(40), DT_DESF_DIAG_5 timestamp, DT_DESF_ENCE_5 timestamp, "
     "DS_LOCAL_TRANS_5 varchar(50), DT_DESF_OBITO_5 timestamp, CD_PROV_US_5 integer, "
     "DS_PROV_US_5 varchar(50), CD_MUN_US_5 integer, DS_MUN_US_5 varchar(50), CD_UND_US_5 integer, "
     "DS_UND_US_5 varchar(50), CD_INVESTIGADOR integer, NM_INVESTIGADOR varchar(50), "
     "NR_TEL_INVES varchar(20), CD_UND integer!, DT_EXP timestamp, CD_EDI integer, "
     "CD_USU_INCLUSAO integer, DT_INCLUSAO timestamp, CD_USU_ALTERACAO integer, DT_ALTERACAO timestamp, "
     "CD_REGISTRO_GERAL integer"},
    {"ABANDONO_HIST", "TB_ABANDONO", TableKind::Data, "CD_ABANDONO_HIST", "GEN_ABANDONO_HIST:CD_ABANDONO_HIST",
     "CD_ABANDONO_HIST integer!, DT_CONTATO timestamp, NM_RESP_CONTATO varchar(50), TP_ABANDONO integer, "
     "DS_DETALHE_ABANDONO varchar(500), FL_ENCONTRADO integer, NM_INFORMANTE varchar(100), "
     "CD_PACIENTE integer, CD_UND integer!, DT_EXP timestamp, CD_EDI integer, CD_USU_INCLUSAO integer, "
     "DT_INCLUSAO timestamp, CD_USU_ALTERACAO integer, DT_ALTERACAO timestamp"},
    {"CARACTERIZACAO", "TB_CARACTERIZACAO", TableKind::Data, "CD_CARACTERIZACAO",
     "GEN_CARACTERIZACAO:CD_CARACTERIZACAO, GEN_CARACTERIZACAO_CD_UTENTE:CD_UTENTE",
     "CD_CARACTERIZACAO integer!, CD_PROVINCIA integer, CD_MUNICIPIO integer, CD_UNIDADE integer, "
     "CD_LOCAL integer, CD_UTENTE integer, CD_PACIENTE integer, CD_INVESTIGADOR integer, "
     "DT_VISITA timestamp, FL_SEXO integer, NR_IDADE integer, TP_SESSAO integer, CD_ESTADO_CIVIL integer, "
     "NR_FILHOS integer, FL_GESTANTE integer, NR_SEMANAS_GESTANTE integer, FL_AMAMENTA integer, "
     "CD_ESCOLARIDADE integer, DS_ESCORALIDADE varchar(50), CD_OCUPACAO integer, DS_OCUPACAO varchar(50), "
     "FL_EMPREGADA integer, FL_OUVIU_FALAR integer, CD_RAZAO integer, DS_RAZAO varchar(100), "
     "CD_INDICACAO integer, DS_INDICACAO varchar(100), FL_TRANSFUSAO integer, FL_TATUAGEM integer, "
     "FL_CIRURGIA integer, FL_CIRCUNCISAO integer, NR_PARTOS integer, NR_ABORTOS integer, "
     "FL_AMAMENTOU_OUTROS integer, NR_IDADE_EXPERIENCIA integer, FL_SEXO_ALCOOL integer, "
     "FL_SEXO_DROGAS integer, FL_SEXO_DINHEIRO integer, FL_SEXO_MATERIAL integer, FL_SINAIS_ITS integer, "
     "CD_SINAIS_ITS integer, DS_SINAIS_ITS varchar(30), NR_PARCEIROS_SEXUAIS integer, "
     "FL_PARCEIRO_SEXUAL integer, FL_PRESERVATIVO integer, FL_PRESERVATIVO_NAO_REGULAR integer, "
     "FL_TESTE integer, CD_TESTE integer, DS_TESTE varchar(50), DT_TESTE timestamp, "
     "FL_TESTE_RECENTES integer, FL_TESTE_PARCEIROS integer, FL_ITS integer, CD_SINTOMAS_ITS integer, "
     "DS_SINTOMAS_ITS varchar(30), FL_TESTE_HOJE integer, FL_TESTE_RESULTADOS integer, "
     "FL_PARCEIROS_RESULTADOS integer, FL_REVELAR integer, CD_REVELAR integer, DS_REVELAR varchar(50), "
     "FL_PLANO_REDUCAO integer, CD_PLANO_REDUCAO integer, DS_PLANO_REDUCAO varchar(50), "
     "FL_RECEBEU_PRESERVATIVOS integer, FL_TRANSFERENCIA integer, CD_TRANSFERENCIA integer, "
     "DS_TRANSFERENCIA varchar(100), FL_SERVICO_SAUDE integer, CD_UND integer!"},
    // Appointments, laboratory and clinical forms
    {"AGENDA", "TB_AGENDA", TableKind::Data, "CD_AGENDA", "GEN_AGENDA:CD_AGENDA, gen_numero_lab:NR_LAB",
     "CD_AGENDA integer!, CD_UND integer!, CD_PACIENTE integer, DT_AGENDA timestamp, CD_UNIDADE integer, "
     "FL_REMARCADO integer, FL_REALIZADO integer, TP_ESQUEMA integer, VL_CD4 integer, CD_MEDICO integer, "
     "DT_REMARCACAO timestamp, DT_CONFIRMACAO timestamp, DS_ESQUEMA varchar(30), FL_CONFIRMADO integer, "
     "FL_TRANSFERIDO integer, FL_ESQUEMA integer, FL_PARECER integer, CD_USU_INCLUSAO integer, "
     "DT_INCLUSAO timestamp, CD_USU_ALTERACAO integer, DT_ALTERACAO timestamp, FL_LAB char(1), "
     "FL_RX char(1), NR_LAB integer, FL_EXAME1..6 char(1), DS_EXAME varchar(200), "
     "CD_HISTORICO_PARECER integer"},
    {"REQUISICAO", "TB_REQUISICAO", TableKind::Data, "CD_AGENDA", "", "CD_AGENDA integer!, BL_REQUISICAO blob"},
    {"RESULTADO_CD4", "TB_RESULTADO_CD4", TableKind::Data, "CD_AGENDA", "",
     "CD_AGENDA integer!, NR_CD3 numeric(18,4), NR_CD4 numeric(18,4), NR_CD8 numeric(18,4), "
     "CD_RESPONSAVEL integer, DT_RESULTADO date, CD_ARQUIVO integer, FL_REFAZER char(1)"},
    {"ATENDIMENTO", "TB_ATENDIMENTO", TableKind::Data, "CD_ATENDIMENTO, CD_UND", "GEN_ATENDIMENTO:CD_ATENDIMENTO",
     "CD_ATENDIMENTO integer!, CD_UND integer!, CD_MEDICO integer, DT_ATENDIMENTO timestamp, "
     "TP_PERIODO integer"},
    {"PRIMEIRA_CONSULTA", "TB_PRIMEIRA_CONSULTA", TableKind::Data, "CD_PRIMEIRA_CONSULTA",
     "GEN_PRIMEIRA_CONSULTA:CD_PRIMEIRA_CONSULTA",
     "CD_PRIMEIRA_CONSULTA integer!, CD_PACIENTE integer, DT_DIAGNOSTICO date, TP_TESTE char(1), "
     "FL_PUERPERA char(1), FL_ARVS char(1), FL_PROFILAXIA char(1), FL_TRATAMENTO char(1), "
     "FL_FILHO_ACOMP char(1), FL_SINTOMA1 char(1), TX_SINTOMA1 varchar(100), FL_SINTOMA2 char(1), "
     "TX_SINTOMA2 varchar(100), FL_SINTOMA3 char(1), TX_SINTOMA3 varchar(100), FL_SINTOMA4 char(1), "
     "TX_SINTOMA4 varchar(100), FL_SINTOMA5 char(1), TX_SINTOMA5 varchar(100), FL_SINTOMA6 char(1), "
     "TX_SINTOMA6 varchar(100), FL_SINTOMA7 char(1), TX_SINTOMA7 varchar(100), FL_SINTOMA8 char(1), "
     "TX_SINTOMA8 varchar(100), FL_SINTOMA9 char(1), TX_SINTOMA9 varchar(100), FL_SINTOMA10 char(1), "
     "TX_SINTOMA10 varchar(100), FL_SINTOMA11 char(1), TX_SINTOMA11 varchar(100), FL_SINTOMA12 char(1), "
     "TX_SINTOMA12 varchar(100), FL_SINTOMA13 char(1), TX_SINTOMA13 varchar(100), FL_SINTOMA14 char(1), "
     "TX_SINTOMA14 varchar(100), FL_SINTOMA15 char(1), TX_SINTOMA15 varchar(100), TX_OBS varchar(500), "
     "TX_ANTECEDENTES1..4 varchar(20), TX_ANTECEDENTES_OUTROS varchar(200), "
     "TX_SINAIS_VITAIS1..5 varchar(20), TX_EXAME_FISICO varchar(200), TX_HIPOTESE1..4 varchar(100), "
     "TX_ANALISES varchar(200), TX_CONDUTA1..4 varchar(100), DT_RETORNO timestamp, "
     "TP_CONSULTA varchar(100), TX_ENCAMINHAMENTO varchar(200), NM_MEDICO varchar(100), "
     "NR_ORDEM varchar(20), CD_USUARIO_CADASTRO integer, DT_CADASTRO timestamp, "
     "CD_USUARIO_ALTERACAO integer, DT_ALTERACAO timestamp, CD_USUARIO_EXCLUSAO integer, "
     "DT_EXCLUSAO timestamp, CD_ARQUIVO integer, CD_ARQUIVO2 integer, CD_GRUPO integer"},
    {"AVALIACAO_INICIAL", "TB_AVALIACAO_INICIAL", TableKind::Data, "CD_AVALIACAO_INICIAL",
     "GEN_AVALIACAO_INICIAL:CD_AVALIACAO_INICIAL",
     "CD_AVALIACAO_INICIAL integer!, CD_PACIENTE integer, FL_MOTIVO char(1), DT_DIAGNOSTICO date, "
     "NR_FILHO integer, FL_TESTE char(1), FL_PARCEIRO_TESTE char(1), TX_RESULTADO varchar(50), "
     "FL_MAIS_PARCEIRO char(1), FL_GRAVIDA char(1), TX_SINAIS_VITAIS1..6 varchar(20), "
     "FL_SINAIS_PALUDISMO char(1), FL_SINAIS_TUBERCULOSE char(1), FL_DIAG_PALUDISMO char(1), "
     "FL_DIAG_TUBERCULOSE char(1), TX_SINAIS_CONDUTA varchar(200), FL_QUADRO_OMS1..39 char(1), "
     "FL_CONCLUSAO_MENOR char(1), FL_CONCLUSAO_MAIOR char(1), TX_CLASSIFICACAO varchar(10), "
     "FL_CLASSIFICACAO char(1), TX_OUTRAS_QUEIXAS varchar(300), DT_PRINCIPAIS_ANALISES1..6 date, "
     "FL_SEGUIMENTO_ROTINA char(1), FL_VAGA_ABERTA char(1), DT_VAGA_ABERTA date, "
     "FL_CD4_HEMOGRAMA char(1), TX_CD4_HEMOGRAMA varchar(100), FL_INICIO_IMEDIATO char(1), "
     "FL_INICIO_IMEDIATO1 char(1), FL_INICIO_IMEDIATO2 char(1), DT_INICIO_IMEDIATO date, "
     "FL_SINTOMAS_GRAVES char(1), TX_SINTOMAS_GRAVES varchar(100), FL_INICIO_IMEDIATO3 char(1), "
     "TX_INICIO_IMEDIATO3 varchar(100), FL_INICIO_IMEDIATO4 char(1), DT_INICIO_IMEDIATO4 date, "
     "TX_INICIO_IMEDIATO4 varchar(100), FL_PUERPERA char(1), TX_ESQUEMA_EM_USO varchar(50), "
     "DT_INICIO_ARV date, DT_PARTO date, FL_PROFILAXIA char(1), FL_TRATAMENTO_ARV char(1), "
     "FL_PROFILAXIA_CONDUTA char(1), FL_ALEITAMENTO_ARTIFICIAL char(1), FL_ALEITAMENTO_MATERNO char(1), "
     "FL_TRATAMENTO_ARV2 char(1), FL_SINTOMAS_GRAVES2 char(1), TX_SINTOMAS_GRAVES2 varchar(100), "
     "DT_PUERPERA_RETORNO date, FL_CRIANCA_EXPOSTA char(1), DT_CRIANCA_EXPOSTA date, "
     "FL_SEGUIMENTO char(1), TX_SEGUIMENTO varchar(100), FL_EM_USO_PROFILAXIA char(1), "
     "TX_AOTACOES_ENFERMAGEM varchar(300), NM_MEDICO varchar(100), NR_ORDEM varchar(20), "
     "CD_USUARIO_CADASTRO integer, DT_CADASTRO timestamp, CD_USUARIO_ALTERACAO integer, "
     "DT_ALTERACAO timestamp, CD_USUARIO_EXCLUSAO integer, DT_EXCLUSAO timestamp, CD_ARQUIVO integer, "
     "CD_GRUPO integer, CD_ARQUIVO2 integer, TX_PRINCIPAIS_ANALISES1..6 varchar(20), "
     "TX_PRINCIPAIS_ANALISES7 varchar(100), FL_ANALISES_ALTERADAS char(1), "
     "TX_ANALISES_ALTERADAS varchar(100)"},
    {"SEGUIMENTO_ENFERMAGEM", "TB_SEGUIMENTO_ENFERMAGEM", TableKind::Data, "CD_SEGUIMENTO_ENFERMAGEM",
     "GEN_SEGUIMENTO_ENFERMAGEM:CD_SEGUIMENTO_ENFERMAGEM",
     "CD_SEGUIMENTO_ENFERMAGEM integer!, CD_PACIENTE integer, DT_DIAGNOSTICO date, "
     "FL_DATA_INICIO char(1), DT_DATA_INICIO date, FL_INICIO char(1), TX_ESQUEMA varchar(100), "
     "TX_SINAIS_VITAIS1 varchar(20), TX_SINAIS_VITAIS2 varchar(20), FL_PERDA char(1), "
     "TX_SINAIS_VITAIS3..7 varchar(20), FL_COMP_ULTIMA_CONSULTA char(1), "
     "TX_COMP_ULTIMA_CONSULTA varchar(50), FL_ANAL_ULTIMA_CONSULTA char(1), "
     "TX_ANAL_ULTIMA_CONSULTA varchar(50), FL_USO_COTRIMOXAZOL char(1), FL_SINAIS_PALUDISMO char(1), "
     "FL_SINAIS_TUBERCULOSE char(1), FL_DIAG_PALUDISMO char(1), FL_DIAG_TUBERCULOSE char(1), "
     "FL_TRAT_TUBERCULOSE char(1), TX_TRAT_TUBERCULOSE varchar(100), TX_OUTRAS_QUEIXAS varchar(500), "
     "TX_PRINCIPAIS_ANALISES1 varchar(20), DT_PRINCIPAIS_ANALISES1 date, "
     "TX_PRINCIPAIS_ANALISES2 varchar(20), DT_PRINCIPAIS_ANALISES2 date, "
     "TX_PRINCIPAIS_ANALISES3 varchar(20), DT_PRINCIPAIS_ANALISES3 date, "
     "TX_PRINCIPAIS_ANALISES4 varchar(20), DT_PRINCIPAIS_ANALISES4 date, "
     "TX_PRINCIPAIS_ANALISES5 varchar(20), DT_PRINCIPAIS_ANALISES5 date, "
     "TX_PRINCIPAIS_ANALISES6 varchar(20), DT_PRINCIPAIS_ANALISES6 date, "
     "TX_PRINCIPAIS_ANALISES7..11 varchar(20), FL_SEM_SINAIS_SINTOMAS char(1), "
     "FL_COM_SINAIS_SINTOMAS char(1), FL_INICIAR_TARV1 char(1), FL_INICIAR_TARV2 char(1), "
     "FL_INICIAR_PROFILAXIA1 char(1), FL_INICIAR_PROFILAXIA2 char(1), FL_TRAT_ARV_A1 char(1), "
     "FL_TRAT_ARV_A2 char(1), FL_TRAT_ARV_B1 char(1), TX_TRAT_ARV_B1_REACAO varchar(200), "
     "TX_TRAT_ARV_B1_CONDUTA varchar(200), FL_TRAT_ARV_B2..6 char(1), FL_TRAT_ARV_C1..6 char(1), "
     "FL_ARV char(1), TX_ARV varchar(200), FL_FRASCOS_ARV char(1), TX_QUANTOS_TOMA varchar(200), "
     "FL_SENTE_ALGO_DIFERENTE char(1), TX_SENTE_ALGO_DIFERENTE varchar(200), FL_ALIMENTACAO char(1), "
     "FL_ELIMINACAO char(1), TX_ELIMINACAO varchar(100), FL_ACTIVIDADE char(1), "
     "TX_ACTIVIDADE varchar(100), FL_PELE char(1), TX_PELE varchar(100), FL_DUVIDAS char(1), "
     "TX_DIVIDAS varchar(100), NM_MEDICO varchar(100), NR_ORDEM varchar(20), CD_USUARIO_CADASTRO integer, "
     "DT_CADASTRO timestamp, CD_USUARIO_ALTERACAO integer, DT_ALTERACAO timestamp, "
     "CD_USUARIO_EXCLUSAO integer, DT_EXCLUSAO timestamp, CD_ARQUIVO integer, CD_GRUPO integer, "
     "CD_ARQUIVO2 integer"},
    {"TRIAGEM_ENFERMAGEM", "TB_TRIAGEM_ENFERMAGEM", TableKind::Data, "CD_TRIAGEM_ENFERMAGEM",
     "GEN_TRIAGEM_ENFERMAGEM:CD_TRIAGEM_ENFERMAGEM",
     "CD_TRIAGEM_ENFERMAGEM integer!, CD_PACIENTE integer, FL_MOTIVO char(1), TX_OUTROS varchar(100), "
     "TX_TEMPO varchar(20), FL_USO_ARV char(1), FL_GESTANTE char(1), TX_SINAIS_VITAIS1 varchar(20), "
     "TX_SINAIS_VITAIS2 varchar(20), FL_PERDA char(1), TX_SINAIS_VITAIS3..7 varchar(20), "
     "FL_SINAIS_SINTOMAS1..16 char(1), TX_ANOTACOES varchar(600), NM_MEDICO varchar(100), "
     "NR_ORDEM varchar(20), CD_USUARIO_CADASTRO integer, DT_CADASTRO timestamp, "
     "CD_USUARIO_ALTERACAO integer, DT_ALTERACAO timestamp, CD_USUARIO_EXCLUSAO integer, "
     "DT_EXCLUSAO timestamp, CD_ARQUIVO integer, CD_GRUPO integer, CD_ARQUIVO2 integer, "
     "DT_CADASTRO_2 timestamp"},
    {"MAPA", "TB_MAPA", TableKind::Data, "CD_MAPA", "GEN_MAPA:CD_MAPA",
     "CD_MAPA integer!, CD_MEDICO integer, TP_CONSULTA char(1), DT_MAPA timestamp, CD_PACIENTE integer, "
     "DS_PESO integer, TP_CONSULTA2 char(1), FL_RETORNO char(1), NR_ESTADIO_OMS integer, "
     "CD_CID10 varchar(10), NR_CD4 integer, FL_TB char(1), FL_N char(1), FL_I char(1), FL_T char(1), "
     "FL_M char(1), DS_ESQUEMA varchar(20), CD_USUARIO_CADASTRO integer, DT_CADASTRO timestamp, "
     "CD_USUARIO_ALTERACAO integer, DT_ALTERACAO timestamp, CD_USUARIO_EXCLUSAO integer, "
     "DT_EXCLUSAO timestamp"},
    // Programme registers
    {"REGISTRO_ATV", "TB_ATV", TableKind::Data, "CD_REGISTRO_ATV, CD_UND", "GEN_REGISTRO_ATV:CD_REGISTRO_ATV",
     "CD_REGISTRO_ATV integer!, CD_UND integer!, DT_REGISTRO timestamp, CD_UNIDADE integer!, "
     "CD_PROVINCIA integer!, CD_MUNICIPIO integer!, VL_MESANO varchar(8)!, VL_ACONSELHADOS integer, "
     "VL_POSITIVOS integer, VL_NEGATIVOS integer, VL_INDETERMINADOS integer, ID_FAIXA_ETARIA integer, "
     "FL_SEXO char(1), FL_GESTANTE integer, VL_X integer, VL_Y integer, CD_USU_INCLUSAO integer, "
     "DT_INCLUSAO timestamp, CD_USU_ALTERACAO integer, DT_ALTERACAO timestamp, CD_REGISTRO_GERAL integer, "
     "NM_USU varchar(50), VL_VERSAO varchar(20)"},
    {"REGISTRO_PTV", "TB_PTV", TableKind::Data, "CD_REGISTRO_PTV, CD_UND", "GEN_REGISTRO_PTV:CD_REGISTRO_PTV",
     "CD_REGISTRO_PTV integer!, CD_UND integer!, DT_REGISTRO timestamp, CD_UNIDADE integer!, "
     "CD_PROVINCIA integer!, CD_MUNICIPIO integer!, VL_MESANO varchar(8)!, FL_GESTANTE integer, "
     "ID_GRUPOS_GESTANTE integer, VL_ADMITIDAS_PTV integer, VL_ADMITIDAS_PARTO integer, "
     "VL_ADMITIDAS_POS_PARTO integer, VL_X_GESTANTE integer, VL_Y_GESTANTE integer, FL_PARTO integer, "
     "ID_GRUPOS_PARTO integer, VL_TERAPIA_COMPLETA integer, VL_TERAPIA_OUTRO integer, "
     "VL_TERAPIA_NENHUM integer, VL_X_PARTO integer, VL_Y_PARTO integer, FL_CRIANCA integer, "
     "ID_GRUPOS_CRIANCA integer, VL_TOTAL_CRIANCA integer, VL_X_CRIANCA integer, VL_Y_CRIANCA integer, "
     "CD_USU_INCLUSAO integer, DT_INCLUSAO timestamp, CD_USU_ALTERACAO integer, DT_ALTERACAO timestamp, "
     "CD_REGISTRO_GERAL integer, NM_USU varchar(50), VL_VERSAO varchar(20)"},
    {"REGISTRO_TARV", "TB_TARV", TableKind::Data, "CD_REGISTRO_TARV, CD_UND", "GEN_REGISTRO_TARV:CD_REGISTRO_TARV",
     "CD_REGISTRO_TARV integer!, CD_UND integer!, DT_REGISTRO timestamp!, CD_UNIDADE integer!, "
     "CD_PROVINCIA integer!, CD_MUNICIPIO integer!, VL_MESANO varchar(8)!, VL_ACUMULADOS integer, "
     "VL_NOVOS integer, VL_TRANSFERIDOS integer, VL_ABANDONOS integer, VL_TRANSFERIDOS_PARA integer, "
     "VL_OBITOS integer, ID_FAIXA_ETARIA integer, FL_SEXO char(1), FL_GESTANTE integer, VL_X integer, "
     "VL_Y integer, CD_USU_INCLUSAO integer, DT_INCLUSAO timestamp, CD_USU_ALTERACAO integer, "
     "DT_ALTERACAO timestamp, CD_REGISTRO_GERAL integer, NM_USU varchar(50), VL_VERSAO varchar(20)"},
    {"REGISTRO_TARV_ACOMP", "TB_TARV_ACOMP", TableKind::Data, "CD_REGISTRO_TARV_ACOMP, CD_UND",
     "GEN_REGISTRO_TARV_ACOMP:CD_REGISTRO_TARV_ACOMP",
     "CD_REGISTRO_TARV_ACOMP integer!, CD_UND integer!, DT_REGISTRO timestamp!, CD_UNIDADE integer!, "
     "CD_PROVINCIA integer!, CD_MUNICIPIO integer!, VL_MESANO varchar(8)!, VL_ACUMULADOS integer, "
     "VL_NOVOS integer, VL_TRANSFERIDOS integer, VL_ABANDONOS integer, VL_TRANSFERIDOS_PARA integer, "
     "VL_OBITOS integer, ID_FAIXA_ETARIA integer, FL_SEXO char(1), FL_GESTANTE integer, VL_X integer, "
     "VL_Y integer, CD_USU_INCLUSAO integer, DT_INCLUSAO timestamp, CD_USU_ALTERACAO integer, "
     "DT_ALTERACAO timestamp, CD_REGISTRO_GERAL integer, NM_USU varchar(50), VL_VERSAO varchar(20)"},
    {"REGISTRO_TARV_ESQUEMA", "TB_TARV_ESQUEMA", TableKind::Data, "CD_REGISTRO_TARV_ESQUEMA, CD_UND",
     "GEN_REGISTRO_TARV_ESQUEMA:CD_REGISTRO_TARV_ESQUEMA",
     "CD_REGISTRO_TARV_ESQUEMA integer!, CD_UND integer!, DT_REGISTRO timestamp!, CD_UNIDADE integer!, "
     "CD_PROVINCIA integer!, CD_MUNICIPIO integer!, VL_MESANO varchar(8)!, VL_ANTERIOR_CRIANCA integer, "
     "VL_ANTERIOR_ADULTO integer, VL_CORRENTE_CRIANCA integer, VL_CORRENTE_ADULTO integer, "
     "VL_ESQUEMA varchar(20), VL_X integer, VL_Y integer, CD_USU_INCLUSAO integer, DT_INCLUSAO timestamp, "
     "CD_USU_ALTERACAO integer, DT_ALTERACAO timestamp, CD_REGISTRO_GERAL integer, NM_USU varchar(50), "
     "VL_VERSAO varchar(20)"},
    {"REGISTRO_TARV_CD4", "TB_TARV_CD4", TableKind::Data, "CD_REGISTRO_TARV_CD4, CD_UND",
     "GEN_REGISTRO_TARV_CD4:CD_REGISTRO_TARV_CD4",
     "CD_REGISTRO_TARV_CD4 integer!, CD_UND integer!, DT_REGISTRO timestamp!, CD_UNIDADE integer!, "
     "CD_PROVINCIA integer!, CD_MUNICIPIO integer!, VL_MESANO varchar(8)!, VL_CD4_MENOR_350 integer, "
     "VL_CD4_MAIOR_350 integer, VL_ESTADO_CLINICO_1..4 integer, ID_FAIXA_ETARIA integer, FL_SEXO char(1), "
     "FL_GESTANTE integer, VL_X integer, VL_Y integer, DT_EXP timestamp, CD_EDI integer, "
     "CD_USU_INCLUSAO integer, DT_INCLUSAO timestamp, CD_USU_ALTERACAO integer, DT_ALTERACAO timestamp, "
     "CD_REGISTRO_GERAL integer, NM_USU varchar(50), VL_VERSAO varchar(20)"},
    {"REGISTRO_COINFECCAO", "TB_COINFECCAO", TableKind::Data, "CD_REGISTRO_COINFECCAO, CD_UND",
     "GEN_REGISTRO_COINFECCAO:CD_REGISTRO_COINFECCAO",
     "CD_REGISTRO_COINFECCAO integer!, CD_UND integer!, DT_REGISTRO timestamp!, CD_UNIDADE integer!, "
     "CD_PROVINCIA integer!, CD_MUNICIPIO integer!, VL_MESANO varchar(8)!, VL_VIH_POSITIVOS integer, "
     "VL_TRATAMENTO_ARVS integer, ID_FAIXA_ETARIA integer, FL_SEXO char(1), FL_GESTANTE integer, "
     "VL_X integer, VL_Y integer, CD_USU_INCLUSAO integer, DT_INCLUSAO timestamp, "
     "CD_USU_ALTERACAO integer, DT_ALTERACAO timestamp, CD_REGISTRO_GERAL integer, NM_USU varchar(50), "
     "VL_VERSAO varchar(20)"},
    {"REGISTRO_PROGRAMA", "TB_PROGRAMA", TableKind::Data, "CD_REGISTRO_PROGRAMA, CD_UND",
     "GEN_REGISTRO_PROGRAMA:CD_REGISTRO_PROGRAMA",
     "CD_REGISTRO_PROGRAMA integer!, CD_UND integer!, DT_REGISTRO timestamp!, CD_UNIDADE integer, "
     "CD_PROVINCIA integer, CD_MUNICIPIO integer, VL_MESANO varchar(8), VL_ACONSELHADOS integer, "
     "VL_POSITIVOS integer, VL_NEGATIVOS integer, VL_INDETERMINADOS integer, ID_FAIXA_ETARIA_1 integer, "
     "FL_SEXO char(1), FL_GESTANTE integer, VL_X_1 integer, VL_Y_1 integer, VL_FEMININO_2 integer, "
     "VL_MASCULINO_2 integer, ID_FAIXA_ETARIA_2 integer, VL_X_2 integer, VL_Y_2 integer, "
     "VL_GESTANTE_3 integer, VL_POS_PARTO_3 integer, VL_PARTOS_3 integer, VL_X_3 integer, VL_Y_3 integer, "
     "VL_REGISTRAD0S_4 integer, VL_TARV_4 integer, VL_X_4 integer, VL_Y_4 integer, "
     "VL_REGISTRADOS_51 integer, VL_TARV_51 integer, VL_X_51 integer, VL_Y_51 integer, "
     "ID_FAIXA_ETARIA_52 integer, VL_FEMININO_52 integer, VL_MASCULINO_52 integer, VL_X_52 integer, "
     "VL_Y_52 integer, VL_NR1_53 integer, VL_NR2_53 integer, VL_X_53 integer, VL_Y_53 integer, "
     "VL_FEMININO_54 integer, VL_MASCULINO_54 integer, VL_X_54 integer, VL_Y_54 integer, "
     "VL_FEMININO_6 integer, VL_MASCULINO_6 integer, VL_X_6 integer, VL_Y_6 integer, "
     "VL_ESQUEMA1_53 varchar(20), VL_ESQUEMA2_53 varchar(20), ID_FAIXA_ETARIA_3 integer, "
     "CD_REGISTRO_GERAL integer, NM_USU varchar(50), VL_VERSAO varchar(20), CD_USU_INCLUSAO integer, "
     "DT_INCLUSAO timestamp, CD_USU_ALTERACAO integer, DT_ALTERACAO timestamp, CD_USU_EXCLUSAO integer"},
    {"REGISTRO_TESTES_POSITIVOS", "TB_TESTES_POSITIVOS", TableKind::Data, "CD_REGISTRO_TESTES_POSITIVOS, CD_UND",
     "GEN_REGISTRO_TESTES_POSITIVOS:CD_REGISTRO_TESTES_POSITIVOS",
     "CD_REGISTRO_TESTES_POSITIVOS integer!, CD_UND integer!, DT_REGISTRO timestamp!, "
     "CD_UNIDADE integer!, CD_PROVINCIA integer!, CD_MUNICIPIO integer!, VL_MESANO varchar(8)!, "
     "VL_MASCULINO integer, VL_FEMININO integer, VL_NAO_INFORMADO integer, ID_FAIXA_ETARIA integer, "
     "VL_X integer, VL_Y integer, DT_EXP timestamp, CD_EDI integer"},
    {"REGISTRO_CRIANCAS_EXP", "TB_CRIANCAS_EXP", TableKind::Data, "CD_REGISTRO_CRIANCAS_EXP, CD_UND",
     "GEN_REGISTRO_CRIANCAS_EXP:CD_REGISTRO_CRIANCAS_EXP",
     "CD_REGISTRO_CRIANCAS_EXP integer!, CD_UND integer!, DT_REGISTRO timestamp!, CD_UNIDADE integer!, "
     "CD_PROVINCIA integer!, CD_MUNICIPIO integer!, VL_MESANO varchar(8), VL_ANO integer, "
     "VL_GRAVIDAS integer, VL_CRI_POSITIVA integer, VL_CRI_NEGATIVA integer, "
     "VL_CRI_SEM_INFORMACAO integer, VL_X integer, VL_Y integer, DT_EXP timestamp, CD_EDI integer, "
     "CD_USU_INCLUSAO integer, DT_INCLUSAO timestamp, CD_USU_ALTERACAO integer, DT_ALTERACAO timestamp, "
     "CD_USU_EXCLUSAO integer"},
    {"REGISTRO_PRE_NATAL", "TB_PRE_NATAL", TableKind::Data, "CD_REGISTRO_PRE_NATAL, CD_UND",
     "GEN_REGISTRO_PRE_NATAL:CD_REGISTRO_PRE_NATAL",
     "CD_REGISTRO_PRE_NATAL integer!, CD_UND integer!, DT_REGISTRO timestamp!, CD_UNIDADE integer!, "
     "CD_PROVINCIA integer!, CD_MUNICIPIO integer!, VL_MESANO varchar(8), VL_ANO integer, "
     "VL_UNIDADE integer, VL_CPN_SEM_PTV integer, VL_CPN_COM_PTV integer, VL_AT integer, VL_TARV integer, "
     "VL_X integer, VL_Y integer, DT_EXP timestamp, CD_EDI integer, CD_USU_INCLUSAO integer, "
     "DT_INCLUSAO timestamp, CD_USU_ALTERACAO integer, DT_ALTERACAO timestamp, CD_USU_EXCLUSAO integer"},
    {"REGISTRO_SERVICOS_ACOMP", "TB_SERVICOS_ACOMP", TableKind::Data, "CD_REGISTRO_SERVICOS_ACOMP, CD_UND",
     "GEN_REGISTRO_SERVICOS_ACOMP:CD_REGISTRO_SERVICOS_ACOMP",
     "CD_REGISTRO_SERVICOS_ACOMP integer!, CD_UND integer!, DT_REGISTRO timestamp!, CD_UNIDADE integer!, "
     "CD_PROVINCIA integer!, CD_MUNICIPIO integer!, VL_MESANO varchar(8), VL_ANO integer, "
     "VL_F_18 integer, VL_M_18 integer, VL_F_18X4 integer, VL_M_18X4 integer, VL_F_5X14 integer, "
     "VL_M_5X14 integer, VL_F_15X19 integer, VL_M_15X19 integer, VL_F_20X29 integer, VL_M_20x29 integer, "
     "VL_F_30x39 integer, VL_M_30x99 integer, VL_F_40x49 integer, VL_M_40x49 integer, VL_F_50x59 integer, "
     "VL_M_50x59 integer, VL_F_60 integer, VL_M_60 integer, VL_X integer, VL_Y integer, DT_EXP timestamp, "
     "CD_EDI integer, CD_USU_INCLUSAO integer, DT_INCLUSAO timestamp, CD_USU_ALTERACAO integer, "
     "DT_ALTERACAO timestamp, CD_USU_EXCLUSAO integer"},
    {"REGISTRO_SERVICOS_TARV", "TB_SERVICOS_TARV", TableKind::Data, "CD_REGISTRO_SERVICOS_TARV, CD_UND",
     "GEN_REGISTRO_SERVICOS_TARV:CD_REGISTRO_SERVICOS_TARV",
     "CD_REGISTRO_SERVICOS_TARV integer!, CD_UND integer!, DT_REGISTRO timestamp!, CD_UNIDADE integer!, "
     "CD_PROVINCIA integer!, CD_MUNICIPIO integer!, VL_MESANO varchar(8), VL_ANO integer, "
     "VL_F_18 integer, VL_M_18 integer, VL_F_18X4 integer, VL_M_18X4 integer, VL_F_5X14 integer, "
     "VL_M_5X14 integer, VL_F_15X19 integer, VL_M_15X19 integer, VL_F_20X29 integer, VL_M_20x29 integer, "
     "VL_F_30x39 integer, VL_M_30x99 integer, VL_F_40x49 integer, VL_M_40x49 integer, VL_F_50x59 integer, "
     "VL_M_50x59 integer, VL_F_60 integer, VL_M_60 integer, VL_X integer, VL_Y integer, DT_EXP timestamp, "
     "CD_EDI integer, CD_USU_INCLUSAO integer, DT_INCLUSAO timestamp, CD_USU_ALTERACAO integer, "
     "DT_ALTERACAO timestamp, CD_USU_EXCLUSAO integer"},
    // Pending-acceptance copies of the registers
    {"REGISTRO_ATV_AR", "TB_ATV_AR", TableKind::Data, "CD_REGISTRO_ATV, CD_UND", "", kRegistroAtvAr},
    {"REGISTRO_PTV_AR", "TB_PTV_AR", TableKind::Data, "CD_REGISTRO_PTV, CD_UND", "", kRegistroPtvAr},
    {"REGISTRO_TARV_AR", "TB_TARV_AR", TableKind::Data, "CD_REGISTRO_TARV, CD_UND", "", kRegistroTarvAr},
    {"REGISTRO_TARV_ACOMP_AR", "TB_TARV_ACOMP_AR", TableKind::Data, "CD_REGISTRO_TARV_ACOMP, CD_UND", "",
     kRegistroTarvAcompAr},
    {"REGISTRO_TARV_ESQUEMA_AR", "TB_TARV_ESQUEMA_AR", TableKind::Data, "CD_REGISTRO_TARV_ESQUEMA, CD_UND", "",
     kRegistroTarvEsquemaAr},
    {"REGISTRO_TARV_CD4_AR", "TB_TARV_CD4_AR", TableKind::Data, "CD_REGISTRO_TARV_CD4, CD_UND", "", kRegistroTarvCd4Ar},
    {"REGISTRO_COINFECCAO_AR", "TB_COINFECCAO_AR", TableKind::Data, "CD_REGISTRO_COINFECCAO, CD_UND", "",
     kRegistroCoinfeccaoAr},
    {"REGISTRO_PROGRAMA_AR", "TB_PROGRAMA_AR", TableKind::Data, "CD_REGISTRO_PROGRAMA, CD_UND", "",
     kRegistroProgramaAr},
    {"REGISTRO_ATV_ARE", "TB_ATV_ARE", TableKind::Data, "CD_REGISTRO_ATV, CD_UND",
     "GEN_REGISTRO_ATV_ARE:CD_REGISTRO_ATV", kRegistroAtvAr},
    {"REGISTRO_PTV_ARE", "TB_PTV_ARE", TableKind::Data, "CD_REGISTRO_PTV, CD_UND",
     "GEN_REGISTRO_PTV_ARE:CD_REGISTRO_PTV", kRegistroPtvAr},
    {"REGISTRO_TARV_ARE", "TB_TARV_ARE", TableKind::Data, "CD_REGISTRO_TARV, CD_UND",
     "GEN_REGISTRO_TARV_ARE:CD_REGISTRO_TARV", kRegistroTarvAr},
    {"REGISTRO_TARV_ACOMP_ARE", "TB_TARV_ACOMP_ARE", TableKind::Data, "CD_REGISTRO_TARV_ACOMP, CD_UND",
     "GEN_REGISTRO_TARV_ACOMP_ARE:CD_REGISTRO_TARV_ACOMP", kRegistroTarvAcompAr},
    {"REGISTRO_TARV_ESQUEMA_ARE", "TB_TARV_ESQUEMA_ARE", TableKind::Data, "CD_REGISTRO_TARV_ESQUEMA, CD_UND",
     "GEN_REGISTRO_TARV_ESQUEMA_ARE:CD_REGISTRO_TARV_ESQUEMA", kRegistroTarvEsquemaAr},
    {"REGISTRO_TARV_CD4_ARE", "TB_TARV_CD4_ARE", TableKind::Data, "CD_REGISTRO_TARV_CD4, CD_UND",
     "GEN_REGISTRO_TARV_CD4_ARE:CD_REGISTRO_TARV_CD4", kRegistroTarvCd4Ar},
    {"REGISTRO_COINFECCAO_ARE", "TB_COINFECCAO_ARE", TableKind::Data, "CD_REGISTRO_COINFECCAO, CD_UND",
     "GEN_REGISTRO_COINFECCAO_ARE:CD_REGISTRO_COINFECCAO", kRegistroCoinfeccaoAr},
    {"REGISTRO_PROGRAMA_ARE", "TB_PROGRAMA_ARE", TableKind::Data, "CD_REGISTRO_PROGRAMA, CD_UND",
     "GEN_REGISTRO_PROGRAMA_ARE:CD_REGISTRO_PROGRAMA", kRegistroProgramaAr},
    // Protocols
    {"PROTOCOLO_ENVIO", "TB_PROTOCOLO_ENVIO", TableKind::Data, "CD_PROTOCOLO, CD_UND",
     "GEN_PROTOCOLO_ENVIO:CD_PROTOCOLO",
     "CD_PROTOCOLO integer!, CD_UND integer!, TP_PROTOCOLO integer!, CD_UNIDADE integer!, "
     "CD_PROVINCIA integer!, CD_MUNICIPIO integer!, VL_MESANO varchar(8)!, BL_PROTOCOLO blob, "
     "DT_EXP timestamp, CD_EDI integer, CD_USU_INCLUSAO integer, DT_INCLUSAO timestamp, "
     "CD_USU_ALTERACAO integer, DT_ALTERACAO timestamp, CD_USU_EXCLUSAO integer, DT_EXCLUSAO timestamp, "
     "FL_ENVIADO char(1), CD_REGISTRO_GERAL integer, FL_ACEITAR char(1), FL_IMPORTADO char(1), "
     "CD_ARQUIVO integer"},
    // This installation only
    {"PARAMETRO", "TB_PARAMETRO", TableKind::Local, "CD_PARAMETRO", "",
     "CD_PARAMETRO integer!, CD_UND integer!, DS_PARAMETRO varchar(50)!, VALOR varchar(200)"},
    {"TABELA_EDI", "TB_TABELA_EDI", TableKind::Local, "NM_TABELA", "",
     "NM_TABELA char(31)!, FL_ENVIAR char(1), FL_RECEBER char(1), DT_EXP timestamp, CD_EDI integer, "
     "CD_USU_INCLUSAO integer, DT_INCLUSAO timestamp, CD_USU_ALTERACAO integer, DT_ALTERACAO timestamp, "
     "CD_USU_EXCLUSAO integer, FL_VALIDAR_RECEBIMENTO char(1), NR_ORDEM integer, NM_ALIAS varchar(50), "
     "FL_MARCAR_EXP char(1), TP_TABELA_EDI char(1), FL_ATUALIZAR_EDI char(1)"},
    {"ARQUIVO_EDI", "TB_ARQUIVO_EDI", TableKind::Local, "CD_ARQUIVO", "GEN_ARQUIVO_EDI:CD_ARQUIVO",
     "CD_ARQUIVO integer!, NM_ARQUIVO varchar(100), FL_IMPORTADO char(1), BL_ARQUIVO blob"},
    {"VERSAO_RELATORIO", "TB_VERSAO_RELATORIO", TableKind::Local, "CD_VERSAO", "GEN_VERSAO_RELATORIO:CD_VERSAO",
     "CD_VERSAO integer!, DT_VERSAO timestamp, CD_USUARIO integer, NM_USUARIO varchar(100), "
     "DS_OBSERVACAO varchar(500), TP_RELATORIO integer, NM_ARQUIVO varchar(100), BL_RELATORIO blob"},
    {"DUAL", "", TableKind::Local, "DUMMY", "", "DUMMY char(1)!"},
};

std::span<const TableSource> tableSources() {
    return kTables;
}

// Only parent and child rows of one owner: a row the central unit keeps (a province, a unit) that a unit's row
// points at stays without a key, since the two owners' rows arrive in separate packets and at different times,
// and a code of a list may exist under several owners. The parent comes first in the list, so the import, which
// follows the registry order, meets it first.
constexpr ForeignKeySource kForeignKeys[] = {
    {"PROVINCIA", "PAIS"},
    {"MUNICIPIO", "PROVINCIA"},
    {"DOCUMENTO", "PESSOA"},
    {"ENDERECO", "PESSOA"},
    {"PESSOA_DOC", "PESSOA"},
    {"PESSOA_DOC", "DOCUMENTO"},
    {"PESSOA_ENDERECO", "PESSOA"},
    {"PESSOA_ENDERECO", "ENDERECO"},
    {"NOTIFICACAO", "PACIENTE"},
    {"TRANSFUSAO", "NOTIFICACAO"},
    {"PERFURACAO", "NOTIFICACAO"},
    {"TATUAGEM", "NOTIFICACAO"},
    {"DENTARIO", "NOTIFICACAO"},
    {"INTERV_CIRURGICA", "NOTIFICACAO"},
    {"CIRCUNCISAO", "NOTIFICACAO"},
    {"ASPECTO_NOTIFICACAO", "NOTIFICACAO"},
    {"EXCECAO_IMPORTAR", "NOTIFICACAO"},
    {"ABANDONO_HIST", "PACIENTE"},
    {"AGENDA", "PACIENTE"},
};

std::span<const ForeignKeySource> foreignKeySources() {
    return kForeignKeys;
}

} // namespace edi::domain::detail
