#pragma once

#include "app/session.h"
#include "support/db/scratch_database.h"
#include "support/recording_ui.h"

#include <memory>

namespace edi::test {

// A session on a fresh database holding the system tables the application core reads.
struct AppFixture {
    ScratchDatabase scratch;
    RecordingUi ui;
    std::unique_ptr<TDM> dm;

    AppFixture() {
        scratch.run("create table DUAL (X integer)\n;\ninsert into DUAL values (1)\n;\n"
                    "create table PARAMETRO (CD_PARAMETRO integer not null primary key, VALOR varchar(200))\n;\n"
                    "create table UNIDADE (CD_UNIDADE integer not null primary key, DS_UNIDADE varchar(60))\n;\n"
                    "insert into PARAMETRO values (29, 'x')");
        dm = std::make_unique<TDM>(scratch.params(), ui);
    }
    std::string scalarText(const std::string& sql) {
        db::Query q(dm->DB(), sql);
        q.open();
        return q.eof() ? "<no row>" : q.value(0).asText();
    }
};

} // namespace edi::test
