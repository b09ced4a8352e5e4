#include "app/log_sql.h"

#include "core/formats.h"

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

std::string LinhaLogSQL(const db::TraceEvent& evento) {
    return formats::formatDate(evento.time.date) + " " + formats::formatTime(evento.time.time) + " - " +
           db::traceKindName(evento.kind) + ": " + evento.text;
}

void ListaLogSQL::Registra(const db::TraceEvent& evento) {
    Add(LinhaLogSQL(evento));
}

void ListaLogSQL::Add(const std::string& linha) {
    {
        std::lock_guard lock(estado_->mutex);
        estado_->linhas.push_back(linha);
        while (estado_->linhas.size() > estado_->maximo)
            estado_->linhas.pop_front();
    }
    avisa(&linha);
}

void ListaLogSQL::Clear() {
    {
        std::lock_guard lock(estado_->mutex);
        estado_->linhas.clear();
    }
    avisa(nullptr);
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

void ListaLogSQL::avisa(const std::string* linha) {
    // A copy, so that an observer may forget itself or add a line without holding the lock.
    std::map<int, Observador> observadores;
    {
        std::lock_guard lock(estado_->mutex);
        observadores = estado_->observadores;
    }
    for (const auto& [handle, observador] : observadores)
        observador(linha);
}

} // namespace edi
