#include "interchange/estado_do_intercambio.h"

#include "app/configuracao.h"
#include "app/etapas.h"
#include "app/geral.h"
#include "db/database.h"
#include "db/query.h"
#include "interchange/registro.h"
#include "packet/nome_do_pacote.h"

#include <cstdio>

namespace edi {

namespace fs = std::filesystem;

fs::path pastaCorrompidos(const fs::path& sPathIn) {
    return sPathIn / "corrompido";
}

fs::path pastaCorrompidosDoDia(const fs::path& sPathIn, const std::string& dia) {
    return pastaCorrompidos(sPathIn) / dia;
}

namespace {

// Packets directly in `pasta`: temporaries of a run still writing are no packets.
long pacotesNaPasta(const fs::path& pasta) {
    long n = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(pasta, ec))
        if (e.is_regular_file(ec) && NomeDePacote(e.path().filename().string()))
            ++n;
    return n;
}

long arquivosNaPasta(const fs::path& pasta) {
    long n = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(pasta, ec))
        n += e.is_regular_file(ec);
    return n;
}

void contaSeparados(const fs::path& sPathIn, EstadoDoIntercambio& e) {
    std::error_code ec;
    for (const auto& dia : fs::directory_iterator(pastaCorrompidos(sPathIn), ec)) {
        if (!dia.is_directory(ec))
            continue;
        e.separadosAguardando += arquivosNaPasta(dia.path());
        e.separadosLiberados += arquivosNaPasta(dia.path() / kPastaLiberados);
    }
}

// Selects only, never committed: a reader holds no lock a running cycle waits for.
void leBase(const Configuracao& config, EstadoDoIntercambio& e) {
    auto base = db::Database::open({config.DB, config.usuario, config.senha, config.charset});
    db::Query status(*base, "select VALOR from PARAMETRO where CD_PARAMETRO = 29");
    status.open();
    if (!status.eof())
        e.ultimoEstado = status.value(0).asText();
    for (const RegistroEDI& r : carregaRegistro(*base)) {
        if (!r.enviar())
            continue;
        PendentesDaTabela t;
        t.tabela = r.NM_TABELA;
        try {
            db::Query q(*base, "select count(*) from " + r.NM_TABELA + " where DT_EXP is null");
            q.open();
            t.linhas = q.value(0).asInt64();
        } catch (const std::exception& erro) {
            t.erro = erro.what();
        }
        e.pendentes.push_back(std::move(t));
    }
    e.censos = leUltimosCensos(*base);
    e.baseLida = true;
}

std::string json(const std::string& texto) {
    std::string s = "\"";
    for (const unsigned char c : texto) {
        if (c == '"' || c == '\\') {
            s += '\\';
            s += static_cast<char>(c);
        } else if (c < 0x20) {
            char u[8];
            std::snprintf(u, sizeof u, "\\u%04x", c);
            s += u;
        } else {
            s += static_cast<char>(c);
        }
    }
    return s + "\"";
}

} // namespace

EstadoDoIntercambio leEstadoDasPastas(const fs::path& programa) {
    UGeral pastas;
    pastas.definePastas(programa);
    EstadoDoIntercambio e;
    e.pacotesEmOut = pacotesNaPasta(pastas.sPathOut);
    e.pacotesEmIn = pacotesNaPasta(pastas.sPathIn);
    contaSeparados(pastas.sPathIn, e);
    e.retidos = contaRetidos(pastas.sPathIn);
    e.diario = leDiario(pastas.sArquivoDiario, std::time(nullptr));
    return e;
}

EstadoDoIntercambio leEstadoDoIntercambio(const fs::path& programa, const Configuracao& config) {
    EstadoDoIntercambio e = leEstadoDasPastas(programa);
    try {
        leBase(config, e);
    } catch (const std::exception& erro) {
        e.pendentes.clear();
        e.ultimoEstado.clear();
        e.erroDaBase = erro.what();
    }
    return e;
}

std::string nomeDaEtapaParaOperador(const std::string& etapa) {
    const Etapa* e = etapaPorNome(etapa);
    if (!e)
        return etapa;
    return *e->menu.legenda ? e->menu.legenda : *e->rotulo ? e->rotulo : etapa;
}

std::string textoDoPasso(const PassoRegistrado& p) {
    std::string t = std::string(nomeDoPasso(p.passo)) + " " + textoDoMomento(p.momento);
    if (p.linhas > 0)
        t += " (" + std::to_string(p.linhas) + (p.linhas == 1 ? " linha)" : " linhas)");
    return t;
}

namespace {

long long totalPendentes(const EstadoDoIntercambio& e) {
    long long total = 0;
    for (const PendentesDaTabela& p : e.pendentes)
        total += p.erro.empty() ? p.linhas : 0;
    return total;
}

// The most recent error of a stage that has not succeeded since.
const EstadoDaEtapa* erroEmAberto(const DiarioLido& d) {
    const EstadoDaEtapa* ultimo = nullptr;
    for (const EstadoDaEtapa& e : d.etapas)
        if (e.ultimoErro && (!e.ultimoSucesso || *e.ultimoSucesso < *e.ultimoErro) &&
            (!ultimo || *ultimo->ultimoErro < *e.ultimoErro))
            ultimo = &e;
    return ultimo;
}

std::string quantos(long long n, const char* singular, const char* plural) {
    return std::to_string(n) + " " + (n == 1 ? singular : plural);
}

std::string textoDasEtapas(const DiarioLido& d) {
    std::string t = "Etapas:\n";
    if (d.etapas.empty())
        return t + "  nenhuma registrada\n";
    for (const EstadoDaEtapa& e : d.etapas) {
        t += "  " + nomeDaEtapaParaOperador(e.etapa) + ": último sucesso " +
             (e.ultimoSucesso ? textoDoMomento(*e.ultimoSucesso) : std::string("nenhum"));
        if (e.ultimoErro)
            t += "; último erro " + textoDoMomento(*e.ultimoErro) + ": " + e.textoDoErro;
        t += "\n";
    }
    return t;
}

std::string textoDosPacotes(const DiarioLido& d) {
    std::string t = "Pacotes recentes:\n";
    if (d.pacotes.empty())
        return t + "  nenhum\n";
    for (const CaminhoDoPacote& c : d.pacotes) {
        t += "  " + c.pacote + ":";
        for (size_t i = 0; i < c.passos.size(); ++i)
            t += (i ? ", " : " ") + textoDoPasso(c.passos[i]);
        t += "\n";
    }
    return t;
}

std::string textoDosDias(const DiarioLido& d) {
    std::string t = "Linhas enviadas e recebidas por dia (últimos " + std::to_string(d.linhasPorDia.size()) +
                    " dias, só os dias com linhas):\n";
    bool algum = false;
    for (const LinhasDoDia& l : d.linhasPorDia)
        if (l.enviadas || l.recebidas) {
            t += "  " + l.dia + ": " + std::to_string(l.enviadas) + (l.enviadas == 1 ? " enviada, " : " enviadas, ") +
                 std::to_string(l.recebidas) + (l.recebidas == 1 ? " recebida\n" : " recebidas\n");
            algum = true;
        }
    return algum ? t : t + "  nenhuma\n";
}

std::string momentoJson(const std::optional<std::time_t>& m) {
    return m ? json(textoDoMomento(*m)) : "null";
}

std::string jsonDoDiario(const DiarioLido& d) {
    std::string j = ",\"etapas\":[";
    for (size_t i = 0; i < d.etapas.size(); ++i) {
        const EstadoDaEtapa& e = d.etapas[i];
        j += std::string(i ? "," : "") + "{\"etapa\":" + json(e.etapa) +
             ",\"ultimo_sucesso\":" + momentoJson(e.ultimoSucesso) + ",\"ultimo_erro\":" +
             (e.ultimoErro ? "{\"momento\":" + momentoJson(e.ultimoErro) + ",\"texto\":" + json(e.textoDoErro) + "}"
                           : std::string("null")) +
             "}";
    }
    j += "],\"pacotes_recentes\":[";
    for (size_t i = 0; i < d.pacotes.size(); ++i) {
        j += std::string(i ? "," : "") + "{\"pacote\":" + json(d.pacotes[i].pacote) + ",\"passos\":[";
        const auto& passos = d.pacotes[i].passos;
        for (size_t k = 0; k < passos.size(); ++k)
            j += std::string(k ? "," : "") + "{\"passo\":" + json(nomeDoPasso(passos[k].passo)) +
                 ",\"momento\":" + momentoJson(passos[k].momento) + ",\"linhas\":" + std::to_string(passos[k].linhas) +
                 "}";
        j += "]}";
    }
    j += "],\"linhas_por_dia\":[";
    for (size_t i = 0; i < d.linhasPorDia.size(); ++i) {
        const LinhasDoDia& l = d.linhasPorDia[i];
        j += std::string(i ? "," : "") + "{\"dia\":" + json(l.dia) + ",\"enviadas\":" + std::to_string(l.enviadas) +
             ",\"recebidas\":" + std::to_string(l.recebidas) + "}";
    }
    return j + "]";
}

} // namespace

std::string resumoDoEstado(const EstadoDoIntercambio& e) {
    std::vector<std::string> partes;
    if (const long long linhas = totalPendentes(e))
        partes.push_back(quantos(linhas, "linha a enviar", "linhas a enviar"));
    if (e.pacotesEmOut)
        partes.push_back(quantos(e.pacotesEmOut, "pacote a enviar", "pacotes a enviar"));
    if (e.pacotesEmIn)
        partes.push_back(quantos(e.pacotesEmIn, "pacote a importar", "pacotes a importar"));
    if (const long retidos = e.retidos.paraNovaTentativa + e.retidos.aguardandoBloqueio + e.retidos.doOperador)
        partes.push_back(quantos(retidos, "registro retido", "registros retidos"));
    if (const EstadoDaEtapa* erro = erroEmAberto(e.diario))
        partes.push_back("último erro (" + nomeDaEtapaParaOperador(erro->etapa) + ", " +
                         textoDoMomento(*erro->ultimoErro) + "): " + erro->textoDoErro);
    if (!e.baseLida)
        partes.push_back("base de dados não lida");
    if (partes.empty())
        return "Em dia";
    std::string r = partes[0];
    for (size_t i = 1; i < partes.size(); ++i)
        r += ", " + partes[i];
    return r;
}

std::string textoDoEstado(const EstadoDoIntercambio& e) {
    std::string t = "Pacotes à espera de envio em EDI/OUT: " + std::to_string(e.pacotesEmOut) + "\n" +
                    "Pacotes à espera de importação em EDI/IN: " + std::to_string(e.pacotesEmIn) + "\n" +
                    "Arquivos ilegíveis separados em EDI/IN/corrompido: " + std::to_string(e.separadosAguardando) +
                    " à espera do servidor, " + std::to_string(e.separadosLiberados) + " já liberados\n" +
                    (e.retidos.vazia() ? "Registros retidos em EDI/IN/retidos: nenhum" : textoRetidos(e.retidos)) +
                    "\n";
    t += textoDasEtapas(e.diario) + textoDosPacotes(e.diario) + textoDosDias(e.diario);
    if (!e.baseLida)
        return t + "Base de dados não lida (" + e.erroDaBase + "): linhas por exportar e último estado indisponíveis\n";
    t += "Último estado: " + (e.ultimoEstado.empty() ? std::string("(nenhum)") : e.ultimoEstado) + "\n";
    t += "Linhas por exportar:\n";
    long long total = 0;
    for (const PendentesDaTabela& p : e.pendentes) {
        if (!p.erro.empty()) {
            t += "  " + p.tabela + ": não contadas (" + p.erro + ")\n";
            continue;
        }
        total += p.linhas;
        if (p.linhas > 0)
            t += "  " + p.tabela + ": " + std::to_string(p.linhas) + "\n";
    }
    t += "  total: " + std::to_string(total) + "\n";
    if (e.censos.empty())
        return t + "Último censo: nenhum\n";
    t += "Último censo:\n";
    for (const UltimoCenso& c : e.censos)
        t += "  " + textoDoCenso(c) + "\n";
    return t;
}

std::string jsonDoEstado(const EstadoDoIntercambio& e) {
    std::string j = "{\"pacotes_out\":" + std::to_string(e.pacotesEmOut) +
                    ",\"pacotes_in\":" + std::to_string(e.pacotesEmIn) +
                    ",\"separados\":{\"aguardando\":" + std::to_string(e.separadosAguardando) +
                    ",\"liberados\":" + std::to_string(e.separadosLiberados) + "}" +
                    ",\"retidos\":{\"nova_tentativa\":" + std::to_string(e.retidos.paraNovaTentativa) +
                    ",\"bloqueio\":" + std::to_string(e.retidos.aguardandoBloqueio) +
                    ",\"operador\":" + std::to_string(e.retidos.doOperador) + "}" +
                    ",\"base\":{\"lida\":" + (e.baseLida ? "true" : "false") +
                    ",\"erro\":" + (e.baseLida ? "null" : json(e.erroDaBase)) + "}" + jsonDoDiario(e.diario) +
                    ",\"resumo\":" + json(resumoDoEstado(e));
    if (!e.baseLida)
        return j + ",\"ultimo_estado\":null,\"pendentes\":null,\"censos\":null}\n";
    j += ",\"ultimo_estado\":" + json(e.ultimoEstado) + ",\"pendentes\":[";
    for (size_t i = 0; i < e.pendentes.size(); ++i) {
        const PendentesDaTabela& p = e.pendentes[i];
        j += std::string(i ? "," : "") + "{\"tabela\":" + json(p.tabela) +
             ",\"linhas\":" + (p.erro.empty() ? std::to_string(p.linhas) : "null") +
             ",\"erro\":" + (p.erro.empty() ? "null" : json(p.erro)) + "}";
    }
    j += "],\"censos\":[";
    auto momento = [](const std::optional<Timestamp>& t) {
        return t ? json(formatDateTime("yyyy-mm-dd hh:nn:ss", *t)) : std::string("null");
    };
    for (size_t i = 0; i < e.censos.size(); ++i) {
        const UltimoCenso& c = e.censos[i];
        j += std::string(i ? "," : "") + "{\"tabela\":" + json(c.tabela) + ",\"censo\":" + momento(c.censo) +
             ",\"resposta\":" + momento(c.resposta) + ",\"linhas\":" + std::to_string(c.linhas) +
             ",\"faixas\":" + std::to_string(c.faixas) + ",\"iguais\":" + std::to_string(c.iguais) +
             ",\"reparadas\":" + std::to_string(c.reparadas) + ",\"exclusoes\":" + std::to_string(c.exclusoes) +
             ",\"divergentes\":" + std::to_string(c.divergentes) + "}";
    }
    return j + "]}\n";
}

} // namespace edi
