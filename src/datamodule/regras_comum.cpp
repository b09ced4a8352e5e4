#include "datamodule/regras_comum.h"

namespace edi::datamodule {

void encadeia(Hooks::Event& slot, Hooks::Event regra) {
    if (!slot) {
        slot = std::move(regra);
        return;
    }
    slot = [antes = std::move(slot), regra = std::move(regra)](ModuleDataset& ds) {
        antes(ds);
        regra(ds);
    };
}

bool editandoOuInserindo(ModuleDataset& ds) {
    return ds.state() == db::DatasetState::Edit || ds.state() == db::DatasetState::Insert;
}

Value valorCorrente(TDMGERAL& modulo, const std::string& dataset, const std::string& coluna) {
    ModuleDataset* ds = modulo.findDataset(dataset);
    if (!ds || !ds->isOpen() || (ds->eof() && ds->state() == db::DatasetState::Browse))
        return Value();
    // A query whose select lacks the column (qyUsuario reads the whole USUARIO row) has no value for it.
    if (ds->raw().fieldIndex(coluna) < 0)
        return Value();
    return ds->value(coluna);
}

} // namespace edi::datamodule
