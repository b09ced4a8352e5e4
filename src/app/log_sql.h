#pragma once

#include "db/trace.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace edi {

// The SQL trace of the session connection as text lines, "<date> <time> - <event>", for the SQL log window.
// Bounded to the newest lines: the process runs for months and every cycle traces thousands of statements.
// Observers hear of each new line and of the emptying; the trace may come from any thread, so observers must
// not assume the user-interface thread.
class ListaLogSQL {
public:
    static constexpr std::size_t kLinhasMaximas = 10000;

    // A new line (`linha` set) or the list emptied (`linha` null).
    using Observador = std::function<void(const std::string* linha)>;

    explicit ListaLogSQL(std::size_t maximo = kLinhasMaximas);
    ~ListaLogSQL();
    ListaLogSQL(const ListaLogSQL&) = delete;
    ListaLogSQL& operator=(const ListaLogSQL&) = delete;

    void Add(std::string linha); // drops the oldest line beyond the bound
    void Registra(const db::TraceEvent& evento);
    void Clear();

    std::vector<std::string> Linhas() const;
    std::size_t Count() const;

    // Returns a handle for Esquece.
    int Observa(Observador observador);
    void Esquece(int handle);

private:
    template <typename Escreve> void acrescenta(Escreve&& escreve);

    // Apart, so that this header stays light for the windows that include it. Observers are called on a copy of
    // their list, outside the lock, so that one may forget itself or add a line.
    struct Estado;
    std::unique_ptr<Estado> estado_;
};

// "<dd/mm/yyyy> <hh:nn:ss> - <kind>: <text>" of one trace event.
std::string LinhaLogSQL(const db::TraceEvent& evento);

} // namespace edi
