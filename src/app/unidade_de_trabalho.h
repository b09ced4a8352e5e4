#pragma once

#include <cstdint>

namespace edi {

class TDM;

// A piece of work on the session's one transaction (see TDM::TS for who may commit when). confirma() makes what
// it wrote durable; leaving the scope by an exception undoes what was not confirmed.
class UnidadeDeTrabalho {
public:
    // Starts the session transaction when it is not.
    explicit UnidadeDeTrabalho(TDM& dm);
    ~UnidadeDeTrabalho();
    UnidadeDeTrabalho(const UnidadeDeTrabalho&) = delete;
    UnidadeDeTrabalho& operator=(const UnidadeDeTrabalho&) = delete;

    void confirma(); // commit retaining
    void desfaz();   // rollback retaining; the scope goes on
    // The unit's work begins anew here: what others commit or roll back is counted from now.
    void recomeca();
    // Whether something else (started from the message loop) committed, or rolled back, the session transaction
    // since the unit began or last confirmed or undid its work: the unit's rows are durable already, or gone.
    bool confirmadaPorOutro() const;
    bool desfeitaPorOutro() const;

private:
    void contaDaqui();

    TDM& dm_;
    int excecoes_; // in flight when the unit began: more at its end means the scope is left by one
    bool desfeita_ = false;
    uint64_t commits_ = 0;
    uint64_t rollbacks_ = 0;
};

} // namespace edi
