#include "app/log_sql.h"

#include "core/formats.h"

#include <cstdio>
#include <deque>
#include <map>
#include <mutex>

namespace edi {

struct ListaLogSQL::Estado {
    std::size_t maximo;
    std::mutex mutex;
    std::deque<std::string> linhas;
    std::map<int, Observador> observadores;
    int proximoHandle = 1;
};

ListaLogSQL::ListaLogSQL(std::size_t maximo) : estado_(std::make_unique<Estado>()) {
    estado_->maximo = maximo == 0 ? 1 : maximo;
}

ListaLogSQL::~ListaLogSQL() = default;

namespace {

// "<dd/mm/yyyy> <hh:nn:ss> - <kind>: <text>" into `linha`, keeping its storage.
void escreveLinha(std::string& linha, const db::TraceEvent& evento) {
    int ano = 0, mes = 0, dia = 0;
    evento.time.date.toYmd(ano, mes, dia);
    const Time& hora = evento.time.time;
    char prefixo[64];
    const int n = std::snprintf(prefixo, sizeof prefixo, "%02d/%02d/%04d %02d:%02d:%02d - %s: ", dia, mes, ano,
                                hora.hour(), hora.minute(), hora.second(), db::traceKindName(evento.kind));
    linha.assign(prefixo, static_cast<size_t>(n)).append(evento.text);
}

} // namespace

std::string LinhaLogSQL(const db::TraceEvent& evento) {
    std::string linha;
    escreveLinha(linha, evento);
    return linha;
}

// Every statement of the session passes here: one lock, the storage of the line that leaves the list reused for
// the one that comes in, and copies only for observers there are.
template <typename Escreve> void ListaLogSQL::acrescenta(Escreve&& escreve) {
    std::map<int, Observador> observadores;
    std::string aviso;
    {
        std::lock_guard lock(estado_->mutex);
        auto& linhas = estado_->linhas;
        std::string linha;
        if (linhas.size() >= estado_->maximo) {
            linha = std::move(linhas.front());
            linhas.pop_front();
        }
        escreve(linha);
        if (!estado_->observadores.empty()) {
            observadores = estado_->observadores;
            aviso = linha;
        }
        linhas.push_back(std::move(linha));
    }
    for (const auto& [handle, observador] : observadores)
        observador(&aviso);
}

void ListaLogSQL::Registra(const db::TraceEvent& evento) {
    acrescenta([&](std::string& linha) { escreveLinha(linha, evento); });
}

void ListaLogSQL::Add(std::string linha) {
    acrescenta([&](std::string& destino) { destino = std::move(linha); });
}

void ListaLogSQL::Clear() {
    std::map<int, Observador> observadores;
    {
        std::lock_guard lock(estado_->mutex);
        estado_->linhas.clear();
        observadores = estado_->observadores;
    }
    for (const auto& [handle, observador] : observadores)
        observador(nullptr);
}

std::vector<std::string> ListaLogSQL::Linhas() const {
    std::lock_guard lock(estado_->mutex);
    return {estado_->linhas.begin(), estado_->linhas.end()};
}

std::size_t ListaLogSQL::Count() const {
    std::lock_guard lock(estado_->mutex);
    return estado_->linhas.size();
}

int ListaLogSQL::Observa(Observador observador) {
    std::lock_guard lock(estado_->mutex);
    const int handle = estado_->proximoHandle++;
    estado_->observadores.emplace(handle, std::move(observador));
    return handle;
}

void ListaLogSQL::Esquece(int handle) {
    std::lock_guard lock(estado_->mutex);
    estado_->observadores.erase(handle);
}

} // namespace edi
