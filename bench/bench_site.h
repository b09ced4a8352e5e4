#pragma once
// An installation for the benchmarks: a database made by create-db, its folders and its engine.
#include "app/session.h"
#include "app/ui.h"
#include "db/query.h"
#include "domain/create_database.h"
#include "domain/seed.h"
#include "interchange/tfrm_edi.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

namespace edi::bench {

namespace fs = std::filesystem;

class SilentUi : public Ui {
public:
    void setStageText(const std::string&) override {}
    void setMessage(const std::string& t) override { message_ = t; }
    std::string message() const override { return message_; }
    void setUnitText(const std::string&) override {}
    void setActive(bool) override {}
    void setProgressMax(int) override {}
    void setProgressPosition(int p) override { position_ = p; }
    int progressPosition() const override { return position_; }
    void pumpEvents() override {}
    void repaint() override {}
    void pause(int) override {}
    void showWarning(const std::string&, const std::string&) override {}
    void showError(const std::string& t) override { std::cerr << "error: " << t << "\n"; }
    void showInformation(const std::string&) override {}
    bool askYesNo(const std::string&, const std::string&) override { return false; }

private:
    std::string message_;
    int position_ = 0;
};

inline double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

struct Site {
    fs::path home;
    db::ConnectionParams params;
    SilentUi ui;
    std::unique_ptr<TDM> dm;
    UGeral geral;
    std::unique_ptr<TfrmEDI> engine;

    Site(const fs::path& folder, int unit, int patients) : home(folder) {
        fs::create_directories(home);
        params.database = (home / "edi.fdb").string();
        domain::CreateOptions o;
        o.connection = params;
        o.unit = unit;
        domain::createDatabase(o);
        if (patients > 0) {
            auto db = db::Database::open(params);
            domain::seedDatabase(*db, {patients, 42});
        }
        dm = std::make_unique<TDM>(params, ui);
        geral.sPath = home / "";
        InicializaParametros(*dm, geral);
        engine = std::make_unique<TfrmEDI>(*dm, geral, ui);
        engine->FormCreate();
    }
    int64_t count(const std::string& sql) {
        db::Query q(dm->DB(), sql);
        q.open();
        return q.value(0).asInt64();
    }
    // Rows of the tables this site sends that are still pending.
    int64_t pending() {
        int64_t n = 0;
        engine->btOrdemClick();
        for (const auto& r : engine->CDSTabela())
            if (r.enviar())
                n += count("select count(*) from " + r.NM_TABELA + " where DT_EXP is null");
        return n;
    }
};

} // namespace edi::bench
