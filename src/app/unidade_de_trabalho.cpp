#include "app/unidade_de_trabalho.h"

#include "app/session.h"

#include <exception>

namespace edi {

UnidadeDeTrabalho::UnidadeDeTrabalho(TDM& dm) : dm_(dm), excecoes_(std::uncaught_exceptions()) {
    dm_.Transacao();
    recomeca();
}

UnidadeDeTrabalho::~UnidadeDeTrabalho() {
    if (desfeita_ || std::uncaught_exceptions() <= excecoes_)
        return;
    try {
        dm_.Rollback();
    } catch (...) {
        // the connection is gone: so is the work
    }
}

void UnidadeDeTrabalho::confirma() {
    dm_.Commit();
    recomeca();
}

void UnidadeDeTrabalho::desfaz() {
    desfeita_ = true; // a failed rollback is not tried again on the way out
    dm_.Rollback();
    contaDaqui();
}

void UnidadeDeTrabalho::recomeca() {
    desfeita_ = false;
    contaDaqui();
}

void UnidadeDeTrabalho::contaDaqui() {
    commits_ = dm_.TS().commitCount();
    rollbacks_ = dm_.TS().rollbackCount();
}

bool UnidadeDeTrabalho::confirmadaPorOutro() const {
    return dm_.TS().commitCount() != commits_;
}

bool UnidadeDeTrabalho::desfeitaPorOutro() const {
    return dm_.TS().rollbackCount() != rollbacks_;
}

} // namespace edi
