#pragma once

#include "core/datetime.h"
#include "core/value.h"
#include "db/query.h"
#include "interchange/nomes.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace edi {

class TDM;

// What import remembers of every row it wrote: the moment of the packet that wrote it. A unit killed after
// registering a packet and before archiving it registers it again in a later run, and the central unit may
// receive it after a newer packet of the same rows; its records must not put the older values back.
// Made once per import run, at its first packet: creates the memory's table when the database lacks it (and
// commits) and prepares the statements every file uses.
class MemoriaDeVersoes {
public:
    explicit MemoriaDeVersoes(TDM& dm);
    ~MemoriaDeVersoes();

private:
    friend class VersoesRecebidas;
    std::unique_ptr<db::Query> maisNovasFaixas_, maisNovasLinhas_, grava_; // no row memory: no maisNovasLinhas_
};

// The memory as one file of a table sees it.
class VersoesRecebidas {
public:
    // For the rows a packet of `momento` writes into `tabela`; no moment (and no memory needed): every record
    // applies and none is remembered.
    VersoesRecebidas(MemoriaDeVersoes* memoria, std::string tabela, std::optional<Timestamp> momento);

    // True when a newer packet already wrote the row (as the memory stood when the file was opened: the
    // records of this file remember this file's moment, never a newer one).
    bool ultrapassada(const Value& cdUnd, const Value& cdEdi) const;
    // This file wrote the row: remembered by grava, in the transaction that wrote the row.
    void registra(const Value& cdUnd, const Value& cdEdi);
    // Writes what registra gathered, as runs of consecutive codes; due before each commit of the rows.
    void grava();

private:
    void carregaMaisNovas(db::Query& q);

    MemoriaDeVersoes* memoria_;
    std::string tabela_;
    std::optional<Timestamp> momento_;
    // Per owner (CD_UND), the runs of CD_EDI that newer packets wrote: sorted and disjoint.
    std::map<int64_t, std::vector<std::pair<int64_t, int64_t>>> maisNovas_;
    std::vector<std::pair<int64_t, int64_t>> pendentes_; // (CD_UND, CD_EDI) written since the last grava
};

} // namespace edi
