#include "interchange/tfrm_edi.h"

#include "app/session.h"
#include "app/unidade_de_trabalho.h"
#include "core/errors.h"
#include "db/query.h"
#include "interchange/estado_instalacao.h"
#include "interchange/nomes.h"
#include "packet/packet_table.h"

#include <string>

// What the engine keeps of its installation outside the database: the moments that name its packets, the codes it
// issued, and the installations it saw sending as one unit.
namespace edi {

EstadoDaInstalacao& TfrmEDI::estado() {
    if (!estado_)
        estado_ = std::make_unique<EstadoDaInstalacao>(geral_.sPath / EstadoDaInstalacao::kNomeDoArquivo);
    return *estado_;
}

// Generators change outside transactions: what they give is taken at once, whatever becomes of the transaction.
int64_t TfrmEDI::valorDoGerador(const std::string& gerador, int64_t passo) {
    db::Query q(dm_.DB(), "select gen_id(" + gerador + ", " + std::to_string(passo) + ") from dual");
    q.open();
    return q.value(0).asInt64();
}

void TfrmEDI::preparaMomentosECodigos() {
    UnidadeDeTrabalho unidade(dm_);
    try {
        db::Query existe(dm_.DB(), "select count(*) from rdb$generators where rdb$generator_name = :NOME");
        existe.setParam("NOME", Value::text(kGeradorDeMomentos));
        existe.open();
        if (existe.value(0).asInt64() == 0) {
            existe.close();
            dm_.DB().execute(std::string("CREATE SEQUENCE ") + kGeradorDeMomentos);
            unidade.confirma();
        }
    } catch (const std::exception& e) {
        unidade.desfaz();
        registraErro(kGeradorDeMomentos, e.what());
    }
    try {
        passaCodigosJaEmitidos();
    } catch (const std::exception& e) {
        registraErro("GEN_EDI", e.what());
    }
}

// A database restored from a copy draws again codes its rows already carried to the central unit, where they would
// overwrite other rows: the generator moves past the highest code this installation ever issued.
void TfrmEDI::passaCodigosJaEmitidos() {
    const int64_t marca = estado().marcaGenEdi();
    const int64_t atual = valorDoGerador("GEN_EDI");
    if (atual >= marca)
        return;
    {
        // Durable before the generator moves: the census must never delete the rows of these codes at the central
        // unit, which this database never held.
        UnidadeDeTrabalho unidade(dm_);
        registraLacuna(atual + 1, marca);
        unidade.confirma();
    }
    valorDoGerador("GEN_EDI", marca - atual);
    const std::string aviso = "A base de dados foi restaurada de uma cópia: o gerador GEN_EDI estava em " +
                              std::to_string(atual) + " e os códigos de intercâmbio passaram para depois de " +
                              std::to_string(marca) + ", o último já emitido por esta instalação";
    registraErro("GEN_EDI", aviso);
    ui_.setMessage(aviso);
}

// Due after the keys are stamped and before any packet carries them.
void TfrmEDI::guardaCodigosEmitidos() {
    const int64_t atual = valorDoGerador("GEN_EDI");
    if (atual > estado().marcaGenEdi())
        estado().guardaMarcaGenEdi(atual);
}

// The moment is durable in both places before a file bears it: a run killed after this never names another
// packet with it. Each place alone may have been rewound (a restored database, a lost program folder).
Timestamp TfrmEDI::reservaMomento() {
    std::optional<Timestamp> ultimo = estado().ultimoMomento();
    const int64_t noBanco = valorDoGerador(kGeradorDeMomentos);
    if (noBanco > 0 && (!ultimo || MomentoDosSegundos(noBanco) > *ultimo))
        ultimo = MomentoDosSegundos(noBanco);
    const Timestamp momento = ProximoMomento(relogio(), ultimo);
    estado().guardaMomento(momento);
    valorDoGerador(kGeradorDeMomentos, SegundosDoMomento(momento) - noBanco);
    return momento;
}

// One moment per export run, reserved when its first packet is written: the clock's second, unless earlier runs
// took it, and never more than a second ahead of the clock however many tables the run writes.
Timestamp TfrmEDI::momentoDaExportacao() {
    if (!momentoDaExportacao_)
        momentoDaExportacao_ = reservaMomento();
    return *momentoDaExportacao_;
}

// Every record was still imported, every range still sent again; this must reach whoever can give one of the
// installations its own code, or look into a range that keeps differing.
void TfrmEDI::LancaAlertas() {
    std::string texto;
    for (const auto& r : remetentesDuplicados_)
        texto += (texto.empty() ? "" : "\n") + r;
    for (const auto& a : alertasDoCenso_)
        texto += (texto.empty() ? "" : "\n") + a;
    remetentesDuplicados_.clear();
    alertasDoCenso_.clear();
    if (!texto.empty())
        throw Error(texto);
}

// Packets of one unit code alternating between two installations: each overwrites the other's rows at the
// central unit with codes both draw. Packets of older installations carry no identity.
void TfrmEDI::confereRemetente(const std::string& T, const std::string& F, const PacketTable& ocds) {
    const std::string* identidade = ocds.param(kParamInstalacao);
    const std::optional<Timestamp> momento = MomentoDoPacote(F);
    const std::optional<std::string> unidade = UnidadeDoPacote(F, T);
    if (!identidade || !momento || !unidade)
        return;
    const std::string* seuComputador = ocds.param(kParamComputador);
    const Remetente remetente{*identidade, seuComputador ? *seuComputador : std::string()};
    std::optional<std::string> outro;
    try {
        outro = RegistraRemetente(estado(), *unidade, remetente, *momento);
    } catch (const std::exception& e) {
        registraErro(T, e.what()); // the records matter more than this memory
    }
    if (!outro)
        return;
    const std::string onde = remetente.computador == *outro
                                 ? "duas pastas do programa no computador \"" + *outro + "\""
                                 : "os computadores \"" + remetente.computador + "\" e \"" + *outro + "\"";
    remetentesDuplicados_.insert("Duas instalações enviam pacotes como a unidade " + *unidade + ": " + onde +
                                 ". Os registros foram importados, mas os códigos de intercâmbio das duas podem "
                                 "coincidir e uma sobrepor as linhas da outra: dê a cada instalação o seu próprio "
                                 "código de unidade.");
}

} // namespace edi
