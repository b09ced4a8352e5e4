#pragma once

// What a new row of a dataset gets before anyone fills it: its key, its owning unit and its defaults.

#include "core/value.h"

#include <string>
#include <string_view>
#include <vector>

namespace edi::domain {

// Where a default value comes from.
enum class Origem {
    CodigoUnidade,              // prmUnidade
    CentralOuUnidade,           // prmUnidadeCentral when prmSistemaUnidades is "S", else prmUnidade
    UsuarioLogado,              // CD_USUARIO of the login
    NomeUsuarioLogado,          // NM_USUARIO of the login
    NomeQyUsuario,              // NM_USUARIO of the module's qyUsuario current row
    EmpresaAtual,               // CD_EMPRESA of qyDadosEmpresa, 0 when closed
    Agora,                      // GetDateTime
    Hoje,                       // GetDate
    DescricaoUnidade,           // sUnidadeDefautDescricao
    Provincia,                  // iProvincia
    DescricaoProvincia,         // sProvinciaDefautDescricao
    Municipio,                  // iMunicipio
    DescricaoMunicipio,         // sMunicipioDefautDescricao
    Constante,                  // the text in `argumento`, converted to the column's type
    Gerador,                    // next value of the generator named in `argumento`
    GeradorForaSistemaUnidades, // as Gerador, but nothing at all when prmSistemaUnidades is "S"
    Vazio,                      // cleared
    ColunaMestre,               // the current row's column of another dataset: `argumento` is "TB_X.COLUNA"
};

struct Padrao {
    const char* coluna;
    Origem origem;
    const char* argumento = "";
};

// The defaults of a new row of that dataset, in the order they are set (the after-insert hook).
const std::vector<Padrao>& PadroesNovoRegistro(std::string_view dataset);

// When a generator binding fills its key column (only while the column is empty).
enum class MomentoGerador { NovoRegistro, Gravacao };

struct VinculoGerador {
    const char* gerador;
    const char* coluna;
    MomentoGerador momento;
};

// The generator binding of a dataset; nullptr for a dataset without one (or one that does nothing).
const VinculoGerador* VinculoGeradorDe(std::string_view dataset);

// Every dataset with defaults or a binding, for checks over the whole family.
std::vector<std::string> DatasetsComPadroes();

// The values the defaults read, supplied by the module.
class FontesPadrao {
public:
    virtual ~FontesPadrao() = default;
    virtual Value valor(Origem origem, std::string_view argumento) = 0;
    // False when the value must not be set at all (the unit-system rule).
    virtual bool aplica(Origem origem) = 0;
};

} // namespace edi::domain
