#include "campaign/campaign_rig.h"

#include "app/configuracao.h"
#include "central/manifest.h"
#include "core/files.h"
#include "core/formats.h"
#include "db/query.h"
#include "domain/create_database.h"
#include "domain/exclusoes.h"
#include "domain/regras_exclusao.h"
#include "domain/schema.h"
#include "domain/seed.h"
#include "packet/packet_table.h"
#include "support/zip_archive.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <utility>

extern char** environ;

namespace edi::campaign {

namespace fs = std::filesystem;

namespace {

constexpr int kUnidade = 12;
constexpr int kCentral = 31;
constexpr int kPacientes = 2;
constexpr int kRodadasMaximas = 4;

// The published update: an archive of two files unpacked into the program folder.
const std::vector<test::ZipEntry> kPacoteUpdate = {{"modelo.txt", std::string(200000, 'm')}, {"leia.txt", "leia-me"}};

// The databases are made once (create-db, seed) and copied for every network.
struct Modelos {
    test::TempDir pasta;
    fs::path unidade = pasta / "u12.fdb", central = pasta / "c31.fdb";

    Modelos() {
        for (const auto& [arquivo, codigo] : {std::pair{unidade, kUnidade}, std::pair{central, kCentral}}) {
            domain::CreateOptions o;
            o.connection.database = arquivo.string();
            o.unit = codigo;
            o.central = kCentral;
            o.forcedWrites = false;
            domain::createDatabase(o);
            if (codigo == kUnidade) {
                auto db = db::Database::open(o.connection);
                domain::seedDatabase(*db, {kPacientes, 3});
                // The first notification has risk factors, whatever the seed drew: its deletion cascades.
                for (const char* fator : {"TRANSFUSAO", "TATUAGEM"})
                    db->execute(std::string("insert into ") + fator + " (CD_" + fator + ", CD_FICHA, CD_UND) select " +
                                "(select coalesce(max(CD_" + fator + "), 0) + 1 from " + fator +
                                "), min(CD_FICHA), 12 from NOTIFICACAO where CD_UND = 12");
                db->transaction().commitRetaining();
            }
        }
    }
};

const Modelos& modelos() {
    static Modelos m;
    return m;
}

std::string leArquivo(const fs::path& f) {
    std::error_code ec;
    return fs::exists(f, ec) ? readFile(f) : std::string();
}

// Names the interchange takes for packets: not hidden, ending ".xml", not a list answer.
bool ehPacote(const fs::path& f) {
    const std::string nome = f.filename().string();
    return !nome.empty() && nome[0] != '.' && f.extension() == ".xml" && nome != "arquivos.xml" &&
           nome != "arquivosApp.xml";
}

std::vector<fs::path> pacotesEm(const fs::path& pasta) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(pasta, ec))
        if (e.is_regular_file() && ehPacote(e.path()))
            out.push_back(e.path());
    return out;
}

// A row as "column=value" texts over every column but DT_EXP.
using Linha = std::vector<std::string>;

// Every row of a table owned by the unit, by (CD_UND, CD_EDI).
std::multimap<std::string, Linha> linhasDaUnidade(db::Database& db, const domain::Table& t) {
    db::Query q(db, "select * from " + t.name + " where CD_UND = " + std::to_string(kUnidade));
    std::multimap<std::string, Linha> out;
    for (q.open(); !q.eof(); q.next()) {
        Linha linha;
        for (size_t i = 0; i < q.fields().size(); ++i)
            if (q.fields()[i].name != "DT_EXP")
                linha.push_back(q.fields()[i].name + "=" + q.value(i).debugString());
        out.emplace(q.value("CD_UND").asText() + "/" + q.value("CD_EDI").asText(), linha);
    }
    return out;
}

// The columns where two versions of a row differ: "unit value -> central value".
std::string diferencas(const Linha& unidade, const Linha& central) {
    std::string out;
    for (size_t i = 0; i < unidade.size() && i < central.size(); ++i)
        if (unidade[i] != central[i])
            out += " " + unidade[i] + " -> " + central[i];
    return out;
}

std::vector<const domain::Table*> tabelasDeDados() {
    std::vector<const domain::Table*> out;
    for (const domain::Table* t : domain::registeredTables())
        if (t->kind == domain::TableKind::Data && t->hasColumn("CD_UND") && t->hasColumn("CD_EDI"))
            out.push_back(t);
    return out;
}

// Tables no other table refers to: their rows can be deleted on their own.
bool semFilhas(const domain::Table& t) {
    for (const domain::Table* outra : domain::registeredTables())
        for (const domain::ForeignKey& fk : outra->foreignKeys)
            if (formats::equalsIgnoreCase(fk.parent, t.name))
                return false;
    return true;
}

} // namespace

bool& longoPorArgumento() {
    static bool longo = false;
    return longo;
}

void registraArgumentos(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--long")
            longoPorArgumento() = true;
}

bool modoLongo() {
    const char* env = std::getenv("EDI_CAMPAIGN_LONG");
    return longoPorArgumento() || (env && *env && std::string(env) != "0");
}

Rede::Rede() {
    central::ServerConfig c;
    c.root = raiz_ / "servidor";
    c.centralUnit = kCentral;
    c.units = {{kUnidade, "2.0"}};
    servidor_ = std::make_unique<central::CentralServer>(c, logServidor_);
    const int porta = servidor_->start();

    test::makeZip(raiz_ / "relatorios.zip", kPacoteUpdate);
    central::publishUpdate(central::WebRoot(c.root), raiz_ / "relatorios.zip",
                           {Timestamp::fromParts(2020, 1, 1), "", "/*APP*/relatorios/modelo.txt", "1", "0"});

    unidade_ = raiz_ / "u12";
    central_ = raiz_ / "c31";
    for (const auto& [home, modelo] :
         {std::pair{unidade_, modelos().unidade}, std::pair{central_, modelos().central}}) {
        fs::create_directories(home);
        fs::copy_file(modelo, home / "edi.fdb");
        writeFileAtomically(home / "jaq.ini", "[Geral]\r\nDB=" + (home / "edi.fdb").string() +
                                                  "\r\n[EDI]\r\nExportar=SIM\r\nImportar=SIM\r\nServidor=127.0.0.1:" +
                                                  std::to_string(porta) + "\r\nPausa=0\r\n");
    }
}

Rede::~Rede() = default;

db::ConnectionParams Rede::conexao(Lado lado) const {
    db::ConnectionParams p;
    p.database = (home(lado) / "edi.fdb").string();
    return p;
}

Execucao Rede::roda(Lado lado, const Morte& morte, const std::vector<std::string>& etapas) {
    const char* cliente = std::getenv("EDI_CAMPAIGN_CLIENT");
    if (!cliente)
        throw std::runtime_error("EDI_CAMPAIGN_CLIENT not set");
    const Relogio& relogio = relogios_[lado == Lado::Unidade ? 0 : 1];
    std::vector<std::string> args, ambiente;
    for (char** v = environ; *v; ++v)
        if (relogio.fuso.empty() || std::string(*v).rfind("TZ=", 0) != 0)
            ambiente.emplace_back(*v);
    if (relogio.inicio) {
        const long long deslocamento = static_cast<long long>(*relogio.inicio - std::time(nullptr));
        args = {"faketime", "-f", (deslocamento >= 0 ? "+" : "") + std::to_string(deslocamento)};
        ambiente.emplace_back("FAKETIME_DONT_FAKE_MONOTONIC=1"); // waits and timeouts keep their real length
    }
    if (!relogio.fuso.empty())
        ambiente.push_back("TZ=" + relogio.fuso);
    args.insert(args.end(), {cliente, home(lado).string()});
    if (!morte.ponto.empty())
        args.insert(args.end(), {"--kill", morte.ponto, std::to_string(morte.vez)});
    if (lado == Lado::Central && !escritaNaCentral_.empty())
        args.insert(args.end(), {"--writer", escritaNaCentral_});
    if (lado == Lado::Unidade && !exclusaoNaExecucao_.empty())
        args.insert(args.end(), {"--exclui", std::exchange(exclusaoNaExecucao_, {})});
    args.insert(args.end(), etapas.begin(), etapas.end());
    std::vector<char*> argv, envp;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& a : ambiente)
        envp.push_back(a.data());
    envp.push_back(nullptr);

    const fs::path saida = home(lado) / ".saida-do-cliente";
    posix_spawn_file_actions_t acoes;
    posix_spawn_file_actions_init(&acoes);
    posix_spawn_file_actions_addopen(&acoes, 1, saida.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int falha = posix_spawnp(&pid, argv[0], &acoes, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&acoes);
    if (falha != 0)
        throw std::runtime_error("cannot start the campaign client");
    int status = 0;
    waitpid(pid, &status, 0);

    Execucao e;
    e.morto = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    std::istringstream texto(leArquivo(saida));
    fs::remove(saida);
    for (std::string linha; std::getline(texto, linha);) {
        if (linha.rfind("pontos=", 0) == 0)
            e.pontos = std::stol(linha.substr(7));
        else if (linha.rfind("erro=", 0) == 0)
            e.erro = linha.substr(5);
    }
    if (!e.morto && (!WIFEXITED(status) || WEXITSTATUS(status) != 0))
        e.erro += " (status " + std::to_string(status) + ")";
    return e;
}

void Rede::acertaRelogio(Lado lado, std::optional<std::time_t> inicio, const std::string& fuso) {
    relogios_[lado == Lado::Unidade ? 0 : 1] = {inicio, fuso};
}

void Rede::ciclo() {
    roda(Lado::Unidade);
    roda(Lado::Central);
}

void Rede::renomeiaPacientes(int rodada) {
    auto db = db::Database::open(conexao(Lado::Unidade));
    db->execute("update PACIENTE set NM_PACIENTE = substring(NM_PACIENTE from 1 for 40) || ' v" +
                std::to_string(rodada) + "', DT_EXP = null where mod(CD_PACIENTE, 2) = 0");
    db->transaction().commitRetaining();
}

// One transaction, as a user's deletion is: the unit's first notification with risk factors, deleted with them as
// the data module's cascade does it, and a third of the coded rows of each table nothing refers to.
std::string Rede::comandoDeExclusao(int rodada) {
    const std::string unidade = std::to_string(kUnidade);
    std::string bloco =
        "execute block as declare ficha bigint; begin\n"
        "  select min(n.CD_FICHA) from NOTIFICACAO n where n.CD_UND = " +
        unidade + " and exists (select 1 from TRANSFUSAO t where t.CD_FICHA = n.CD_FICHA and t.CD_UND = " + unidade +
        ") into :ficha;\n";
    for (const char* filha : domain::kFilhasNotificacao)
        bloco += std::string("  delete from ") + filha + " where CD_UND = " + unidade + " and CD_FICHA = :ficha;\n";
    bloco += "  delete from NOTIFICACAO where CD_UND = " + unidade + " and CD_FICHA = :ficha;\n";
    for (const domain::Table* t : tabelasDeDados())
        if (semFilhas(*t))
            bloco += "  delete from " + t->name + " where CD_UND = " + unidade +
                     " and mod(CD_EDI, 3) = " + std::to_string(rodada % 3) + ";\n";
    return bloco + "end";
}

void Rede::excluiNaUnidade(int rodada) {
    auto db = db::Database::open(conexao(Lado::Unidade));
    db->execute(comandoDeExclusao(rodada));
    db->transaction().commitRetaining();
}

void Rede::alteraUnidade(int rodada) {
    renomeiaPacientes(rodada);
    excluiNaUnidade(rodada);
    auto db = db::Database::open(conexao(Lado::Unidade));
    domain::seedDatabase(*db, {1, static_cast<uint64_t>(100 + rodada)});
}

std::string Rede::oQueEspera() {
    std::string espera;
    for (const central::Delivery& d : servidor_->store().deliveries())
        if (d.status == central::Delivery::Status::Waiting)
            espera += "no servidor para " + std::to_string(d.to) + ": " + d.name + "\n";
    for (Lado lado : {Lado::Unidade, Lado::Central})
        for (const char* pasta : {"EDI/OUT", "EDI/IN", "EDI/IN/retidos"})
            for (const auto& f : pacotesEm(home(lado) / pasta))
                espera += std::string(pasta) + ": " + f.filename().string() + "\n";
    auto db = db::Database::open(conexao(Lado::Unidade));
    for (const domain::Table* t : tabelasDeDados()) {
        db::Query q(*db, "select count(*) from " + t->name + " where DT_EXP is null");
        q.open();
        if (const int64_t n = q.value(0).asInt64())
            espera += t->name + ": " + std::to_string(n) + " linhas pendentes na unidade\n";
    }
    db::Query exclusoes(*db, std::string("select NM_TABELA, count(*) from ") + domain::kTabelaExclusoes +
                                 " where DT_EXP is null group by NM_TABELA");
    for (exclusoes.open(); !exclusoes.eof(); exclusoes.next())
        espera +=
            exclusoes.value(0).asText() + ": " + exclusoes.value(1).asText() + " exclusões pendentes na unidade\n";
    return espera;
}

std::string Rede::assentaEJulga() {
    for (rodadas_ = 1; rodadas_ <= kRodadasMaximas; ++rodadas_) {
        ciclo();
        if (oQueEspera().empty())
            return julga();
    }
    return "nunca quieto:\n" + oQueEspera() + julga();
}

std::string Rede::julga() {
    std::string falhas = julgaLinhas();
    for (Lado lado : {Lado::Unidade, Lado::Central})
        falhas += julgaArquivos(lado) + julgaUpdate(lado);
    return falhas;
}

std::string Rede::julgaLinhas() {
    auto u = db::Database::open(conexao(Lado::Unidade));
    auto c = db::Database::open(conexao(Lado::Central));
    std::string falhas;
    for (const domain::Table* t : tabelasDeDados()) {
        const auto proprias = linhasDaUnidade(*u, *t), recebidas = linhasDaUnidade(*c, *t);
        int contadas = 0;
        auto falha = [&](const std::string& texto) {
            if (++contadas <= 3)
                falhas += t->name + " " + texto + "\n";
        };
        for (auto it = proprias.begin(); it != proprias.end(); it = proprias.upper_bound(it->first)) {
            const auto [de, ate] = recebidas.equal_range(it->first);
            const auto n = std::distance(de, ate);
            if (n == 0)
                falha(it->first + " falta na central");
            else if (n > 1 || proprias.count(it->first) > 1)
                falha(it->first + " em dobro");
            else if (de->second != it->second)
                falha(it->first + " difere na central:" + diferencas(it->second, de->second));
        }
        for (auto it = recebidas.begin(); it != recebidas.end(); it = recebidas.upper_bound(it->first))
            if (!proprias.count(it->first))
                falha(it->first + " na central e não na unidade");
    }
    return falhas;
}

// Every packet file under a real name, in any folder, is complete; nothing was set aside as unreadable.
std::string Rede::julgaArquivos(Lado lado) {
    std::string falhas;
    for (const auto& e : fs::recursive_directory_iterator(home(lado) / "EDI")) {
        const fs::path& f = e.path();
        const std::string nome = f.filename().string();
        if (!e.is_regular_file() || nome[0] == '.')
            continue;
        if (f.string().find("corrompido") != std::string::npos)
            falhas += "posto de lado como ilegível: " + f.string() + "\n";
        if (f.extension() != ".xml" && f.extension() != ".bkp")
            continue;
        try {
            PacketTable::loadFromFile(f);
        } catch (const std::exception& x) {
            falhas += "arquivo incompleto " + f.string() + ": " + x.what() + "\n";
        }
    }
    return falhas;
}

// The published files are in place, whole, and the moment of the update was stamped.
std::string Rede::julgaUpdate(Lado lado) {
    std::string falhas;
    for (const auto& entrada : kPacoteUpdate)
        if (leArquivo(home(lado) / "relatorios" / entrada.name) != entrada.content)
            falhas += home(lado).filename().string() + ": update sem " + entrada.name + " inteiro\n";
    if (LeConfiguracao(home(lado) / "jaq.ini").update == "01-01-1900")
        falhas += home(lado).filename().string() + ": momento do update não gravado\n";
    return falhas;
}

std::vector<std::string> Rede::sobras() const {
    std::vector<std::string> out;
    for (Lado lado : {Lado::Unidade, Lado::Central})
        for (const auto& e : fs::recursive_directory_iterator(home(lado)))
            if (const std::string nome = e.path().filename().string();
                nome.find(".tmp") != std::string::npos || nome.rfind(".unzip-", 0) == 0)
                out.push_back(fs::relative(e.path(), raiz_.path()).string());
    return out;
}

} // namespace edi::campaign
