#include "app/log_sql.h"

#include "core/formats.h"

namespace edi {

ListaLogSQL::ListaLogSQL(std::size_t maximo) : maximo_(maximo == 0 ? 1 : maximo) {}

std::string LinhaLogSQL(const db::TraceEvent& evento) {
    return formats::formatDate(evento.time.date) + " " + formats::formatTime(evento.time.time) + " - " +
           db::traceKindName(evento.kind) + ": " + evento.text;
}

void ListaLogSQL::Registra(const db::TraceEvent& evento) {
    Add(LinhaLogSQL(evento));
}

void ListaLogSQL::Add(const std::string& linha) {
    {
        std::lock_guard lock(mutex_);
        linhas_.push_back(linha);
        while (linhas_.size() > maximo_)
            linhas_.pop_front();
    }
    avisa(&linha);
}

void ListaLogSQL::Clear() {
    {
        std::lock_guard lock(mutex_);
        linhas_.clear();
    }
    avisa(nullptr);
}

std::vector<std::string> ListaLogSQL::Linhas() const {
    std::lock_guard lock(mutex_);
    return {linhas_.begin(), linhas_.end()};
}

std::size_t ListaLogSQL::Count() const {
    std::lock_guard lock(mutex_);
    return linhas_.size();
}

int ListaLogSQL::Observa(Observador observador) {
    std::lock_guard lock(mutex_);
    const int handle = proximoHandle_++;
    observadores_.emplace(handle, std::move(observador));
    return handle;
}

void ListaLogSQL::Esquece(int handle) {
    std::lock_guard lock(mutex_);
    observadores_.erase(handle);
}

void ListaLogSQL::avisa(const std::string* linha) {
    // A copy, so that an observer may forget itself or add a line without holding the lock.
    std::map<int, Observador> observadores;
    {
        std::lock_guard lock(mutex_);
        observadores = observadores_;
    }
    for (const auto& [handle, observador] : observadores)
        observador(linha);
}

} // namespace edi
