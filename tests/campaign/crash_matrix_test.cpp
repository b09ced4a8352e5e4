// The client killed (SIGKILL) at every named point of every stage, and at random moments of whole cycles; after
// each kill the cycle runs until quiet and the oracle judges both installations.
#include "campaign/campaign_rig.h"

#include "core/formats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <iostream>
#include <random>
#include <regex>

namespace edi::campaign {
namespace {

namespace fs = std::filesystem;

// Deletions the killed run carries: none, made by the unit's users after a first cycle, or made by the killed run
// itself (committed, then the kill).
enum class Exclusoes { Nenhuma, DoUsuario, NaExecucao };

struct PontoNomeado {
    const char* etapa;
    Lado lado;
    Morte morte;
    bool depoisDeUmCiclo = false; // the kill comes in the second cycle (the unit then receives the central's lists)
    bool escritor = false;        // another user at the central unit holds the rows the killed run updates
    Exclusoes exclusoes = Exclusoes::Nenhuma;
};

// Another user's edit, uncommitted, of the patients renamed at the unit.
const char* kEdicaoNaCentral =
    "update PACIENTE set NM_PACIENTE = NM_PACIENTE where CD_UND = 12 and mod(CD_PACIENTE, 2) = 0";

std::ostream& operator<<(std::ostream& out, const PontoNomeado& p) {
    return out << p.morte.ponto << "#" << p.morte.vez << (p.lado == Lado::Unidade ? "@12" : "@31");
}

const PontoNomeado kMatriz[] = {
    {"export", Lado::Unidade, {"export:keys-stamped", 1}},
    {"export", Lado::Unidade, {"export:row", 4}},
    {"export", Lado::Unidade, {"export:packet-written", 1}},
    {"send", Lado::Unidade, {"send:uploaded", 1}},
    {"send", Lado::Unidade, {"send:registered", 1}},
    {"send", Lado::Unidade, {"send:registered", 3}},
    {"receive", Lado::Central, {"receive:downloading", 1}},
    {"receive", Lado::Central, {"receive:downloaded", 1}},
    {"receive", Lado::Unidade, {"receive:downloaded", 1}, true},
    {"import", Lado::Central, {"import:record-written", 3}}, // inside a batch: its records never committed
    {"import", Lado::Central, {"import:batch-committed", 2}},
    {"import", Lado::Central, {"import:file-read", 1}},
    {"import", Lado::Central, {"import:file-read", 3}},
    {"import", Lado::Central, {"import:kept-written", 1}, false, true}, // kept, its packet not yet moved
    {"import", Lado::Unidade, {"import:batch-committed", 1}, true},
    {"update", Lado::Unidade, {"update:downloading", 1}},
    {"update", Lado::Unidade, {"update:extracting", 1}},
    {"update", Lado::Unidade, {"update:extracted", 1}},
    {"delete", Lado::Unidade, {"delete:committed", 1}, false, false, Exclusoes::NaExecucao},       // captured, not sent
    {"export", Lado::Unidade, {"export:deletions-marked", 1}, false, false, Exclusoes::DoUsuario}, // mid-packet
    {"export", Lado::Unidade, {"export:packet-written", 1}, false, false, Exclusoes::DoUsuario},   // before the mark
    {"import", Lado::Central, {"import:record-written", 2}, false, false, Exclusoes::DoUsuario},   // mid-apply
    {"census", Lado::Unidade, {"census:packet-written", 1}},       // the census not yet marked taken
    {"census", Lado::Central, {"census:answer-written", 1}, true}, // the census answered, not yet filed
};

// One line of the matrix in the test output: stage, point, side, rounds until quiet, leftovers, verdict.
void relata(const std::string& caso, const Rede& rede, const std::string& falhas) {
    std::string sobras;
    for (const auto& s : rede.sobras())
        sobras += " " + s;
    std::cout << "[matriz] " << caso << " | rodadas " << rede.rodadasAteQuieto() << " | "
              << (falhas.empty() ? "igual" : "FALHA") << " | sobras:" << (sobras.empty() ? " nenhuma" : sobras)
              << std::endl;
}

class MatrizDeQueda : public testing::TestWithParam<PontoNomeado> {};

TEST_P(MatrizDeQueda, KilledAtTheNamedPointTheNextCyclesEndEqualOnBothSides) {
    const PontoNomeado& p = GetParam();
    Rede rede;
    if (p.depoisDeUmCiclo)
        rede.ciclo();
    if (p.escritor) {
        rede.ciclo();
        rede.renomeiaPacientes(2);
        rede.prendeNaCentral(kEdicaoNaCentral);
    }
    if (p.exclusoes != Exclusoes::Nenhuma) {
        rede.ciclo();
        if (p.exclusoes == Exclusoes::DoUsuario)
            rede.excluiNaUnidade(1);
        else
            rede.excluiNaProximaExecucao(1);
    }
    if (p.lado == Lado::Central)
        rede.roda(Lado::Unidade);
    const Execucao e = rede.roda(p.lado, p.morte);
    rede.solta();
    ASSERT_TRUE(e.morto) << "the run never reached " << p << " (" << e.pontos << " points) " << e.erro;

    const std::string falhas = rede.assentaEJulga();
    std::ostringstream caso;
    caso << p.etapa << " | " << p;
    relata(caso.str(), rede, falhas);
    EXPECT_EQ(falhas, "");
}

INSTANTIATE_TEST_SUITE_P(Campanha, MatrizDeQueda, testing::ValuesIn(kMatriz),
                         [](const testing::TestParamInfo<PontoNomeado>& ponto) {
                             std::string nome = std::to_string(ponto.index) + "_" + ponto.param.morte.ponto;
                             std::replace_if(
                                 nome.begin(), nome.end(), [](char c) { return !std::isalnum(c); }, '_');
                             return nome;
                         });

// The points one cycle passes: the unit's run, then the central unit's.
struct Contagem {
    long unidade = 0, central = 0;
};

// A kill at the kth point of a cycle (no kill when the cycle passes fewer).
void cicloMorto(Rede& rede, const Contagem& c, long k) {
    if (k <= c.unidade) {
        rede.roda(Lado::Unidade, {"*", k});
        rede.roda(Lado::Central);
    } else {
        rede.roda(Lado::Unidade);
        rede.roda(Lado::Central, {"*", k - c.unidade});
    }
}

TEST(Campanha, KilledAtRandomMomentsOfTwoCyclesTheNetworkEndsEqual) {
    // The clean run first: it counts the points of each cycle and proves the oracle passes without a kill.
    Contagem primeiro, segundo;
    {
        Rede rede;
        primeiro = {rede.roda(Lado::Unidade).pontos, rede.roda(Lado::Central).pontos};
        rede.alteraUnidade(1);
        const std::string espera = rede.oQueEspera(); // the deletion cascaded to the notification's risk factors
        for (const char* tabela : {"NOTIFICACAO: 1", "TRANSFUSAO: ", "TATUAGEM: "})
            EXPECT_TRUE(std::regex_search(espera, std::regex(std::string("(^|\n)") + tabela + "[0-9]* exclusões")))
                << tabela << "\n"
                << espera;
        segundo = {rede.roda(Lado::Unidade).pontos, rede.roda(Lado::Central).pontos};
        ASSERT_GT(primeiro.unidade, 10);
        ASSERT_GT(primeiro.central, 10);
        ASSERT_EQ(rede.assentaEJulga(), "");
    }
    const char* semente = std::getenv("EDI_CAMPAIGN_SEED");
    const uint64_t base = semente ? std::stoull(semente) : 20240611;
    const int tentativas = modoLongo() ? 60 : 2;
    for (int t = 0; t < tentativas; ++t) {
        std::mt19937_64 sorte(base + static_cast<uint64_t>(t));
        auto sorteia = [&](const Contagem& c) {
            return std::uniform_int_distribution<long>(1, c.unidade + c.central)(sorte);
        };
        const long k1 = sorteia(primeiro), k2 = sorteia(segundo);
        Rede rede;
        cicloMorto(rede, primeiro, k1);
        rede.alteraUnidade(1);
        cicloMorto(rede, segundo, k2);
        const std::string falhas = rede.assentaEJulga();
        relata("aleatório semente " + std::to_string(base + static_cast<uint64_t>(t)) + " | pontos " +
                   std::to_string(k1) + "/" + std::to_string(primeiro.unidade) + "+" +
                   std::to_string(primeiro.central) + ", " + std::to_string(k2) + "/" +
                   std::to_string(segundo.unidade) + "+" + std::to_string(segundo.central),
               rede, falhas);
        EXPECT_EQ(falhas, "") << "seed " << base + static_cast<uint64_t>(t);
    }
}

// The records another user holds stay kept and counted as waiting until the edit is released, then arrive.
TEST(Campanha, ACentralUnitWithAConcurrentWriterEndsEqualOnceTheEditIsReleased) {
    Rede rede;
    rede.ciclo();
    rede.renomeiaPacientes(2);
    rede.prendeNaCentral(kEdicaoNaCentral);
    rede.ciclo();
    EXPECT_NE(rede.oQueEspera().find("EDI/IN/retidos: 0-PACIENTE12"), std::string::npos) << rede.oQueEspera();
    rede.solta();
    EXPECT_EQ(rede.assentaEJulga(), "");
}

// The unit's outgoing packets in the order send takes them (newest name first).
std::vector<std::string> ordemDeEnvio(const Rede& rede) {
    std::vector<std::string> nomes;
    for (const auto& e : fs::directory_iterator(rede.home(Lado::Unidade) / "EDI" / "OUT"))
        if (e.is_regular_file())
            nomes.push_back(e.path().filename().string());
    std::sort(nomes.begin(), nomes.end(),
              [](const std::string& a, const std::string& b) { return formats::toUpper(a) > formats::toUpper(b); });
    return nomes;
}

// The positions (from 1) of the unit's packets of `tabela` in that order.
std::vector<long> posicoesDe(const std::vector<std::string>& ordem, const std::string& tabela) {
    std::vector<long> out;
    for (size_t i = 0; i < ordem.size(); ++i)
        if (ordem[i].rfind(tabela + "12", 0) == 0)
            out.push_back(static_cast<long>(i) + 1);
    return out;
}

TEST(Campanha, AnOlderPacketRegisteredAgainAfterANewerOneWasImportedDoesNotBringBackOldValues) {
    Rede rede;
    rede.roda(Lado::Unidade, {}, {"export"});
    auto antigo = posicoesDe(ordemDeEnvio(rede), "PACIENTE");
    ASSERT_EQ(antigo.size(), 1u);
    // Registered (op=I), then killed before the archive move: the packet stays in EDI/OUT.
    ASSERT_TRUE(rede.roda(Lado::Unidade, {"send:registered", antigo[0]}, {"send"}).morto);
    rede.roda(Lado::Central); // imports the patients as they were

    rede.renomeiaPacientes(2);
    rede.roda(Lado::Unidade, {}, {"export"});
    const auto ordem = ordemDeEnvio(rede);
    const auto pacientes = posicoesDe(ordem, "PACIENTE");
    ASSERT_EQ(pacientes.size(), 2u) << "the newer packet must not replace the older one waiting";
    // The newer packet goes first and is registered; the older is uploaded again and the run dies before op=I.
    ASSERT_TRUE(rede.roda(Lado::Unidade, {"send:uploaded", pacientes[1]}, {"send"}).morto);
    rede.roda(Lado::Central); // applies the renamed patients
    // The next cycle registers the older packet again and the central unit receives it after the newer one.
    EXPECT_EQ(rede.assentaEJulga(), "");
}

// Wrong clocks at the unit, with the users' edits between its runs (Lisbon time): each unit run starts at the
// given moment (UTC), and the central unit runs after each one, or only after the last.
struct FalhaDeRelogio {
    const char* nome;
    std::vector<const char*> momentos;
    bool umaImportacao = false;
};

const FalhaDeRelogio kFalhasDeRelogio[] = {
    {"atrasado", {"2026-03-01 10:00:00", "2026-01-01 10:00:00"}},
    // 01:50 summer time, then 01:10 of the repeated hour.
    {"hora_repetida", {"2026-10-25 00:50:00", "2026-10-25 01:10:00"}},
    {"hora_repetida_numa_importacao", {"2026-10-25 00:50:00", "2026-10-25 01:10:00"}, true},
    {"antes_de_2000", {"2026-03-01 10:00:00", "1999-12-31 23:59:00", "2026-03-01 11:00:00"}},
};

std::time_t utc(const char* texto) {
    std::tm tm{};
    strptime(texto, "%Y-%m-%d %H:%M:%S", &tm);
    return timegm(&tm);
}

class RelogioErrado : public testing::TestWithParam<FalhaDeRelogio> {};

TEST_P(RelogioErrado, LaterEditsAtTheUnitReachTheCentralUnit) {
    const FalhaDeRelogio& f = GetParam();
    Rede rede;
    for (size_t i = 0; i < f.momentos.size(); ++i) {
        if (i > 0)
            rede.renomeiaPacientes(static_cast<int>(i));
        rede.acertaRelogio(Lado::Unidade, utc(f.momentos[i]), "Europe/Lisbon");
        const Execucao e = rede.roda(Lado::Unidade);
        ASSERT_EQ(e.erro, "") << f.momentos[i];
        if (!f.umaImportacao)
            rede.roda(Lado::Central);
    }
    rede.acertaRelogio(Lado::Unidade, std::nullopt);
    const std::string falhas = rede.assentaEJulga();
    relata(std::string("relógio | ") + f.nome, rede, falhas);
    EXPECT_EQ(falhas, "");
}

INSTANTIATE_TEST_SUITE_P(Campanha, RelogioErrado, testing::ValuesIn(kFalhasDeRelogio),
                         [](const testing::TestParamInfo<FalhaDeRelogio>& f) { return std::string(f.param.nome); });

} // namespace
} // namespace edi::campaign

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    edi::campaign::registraArgumentos(argc, argv);
    return RUN_ALL_TESTS();
}
