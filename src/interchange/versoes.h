#pragma once

#include "core/datetime.h"
#include "interchange/nomes.h"
#include "core/value.h"
#include "db/query.h"

#include <memory>
#include <optional>
#include <set>
#include <string>

namespace edi {

class TDM;

// What import remembers of every row it wrote: the moment of the packet that last wrote it. A unit killed after
// registering a packet and before archiving it registers it again in a later run, and the central unit may
// receive it after a newer packet of the same rows; its records must not put the older values back.
class VersoesRecebidas {
public:
    // For the rows a packet of `momento` writes into `tabela`; no moment: every record applies and none is
    // remembered. Creates the memory's table when the database lacks it (and commits).
    VersoesRecebidas(TDM& dm, std::string tabela, std::optional<Timestamp> momento);
    ~VersoesRecebidas();

    // True when a newer packet already wrote the row (as the memory stood when the file was opened: the
    // records of this file remember this file's moment, never a newer one).
    bool ultrapassada(const Value& cdUnd, const Value& cdEdi) const;
    // Remembers this packet as the row's last writer, in the transaction that writes the row.
    void registra(const Value& cdUnd, const Value& cdEdi);

private:
    std::string tabela_;
    std::optional<Timestamp> momento_;
    std::set<std::pair<int64_t, int64_t>> maisNovas_; // (CD_UND, CD_EDI) of the rows newer packets wrote
    std::unique_ptr<db::Query> grava_;
};

} // namespace edi
