#pragma once

// One unit's program folder and a transport pointed at a recording server, for the transport tests.
#include "core/datetime.h"
#include "packet/packet_table.h"
#include "support/http/recording_server.h"
#include "support/recording_ui.h"
#include "support/temp_dir.h"
#include "transport/transporte.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace edi::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline const std::string kRaiz = "E:\\Home\\quelmar\\Web\\";

// One unit's folders and a transport pointed at a recording server that wants the central account.
struct Estacao {
    TempDir raiz; // holds the program folder and nothing else, so a write outside it shows
    RecordingServer servidor;
    RecordingUi ui;
    UGeral geral;
    transport::HttpOptions opcoes;
    std::unique_ptr<TransporteEDI> transporte;
    std::vector<fs::path> iniciados;
    int carimbos = 0;

    Estacao() {
        servidor.requireCredentials("quelmar", "dorven");
        geral.definePastas(raiz / "programa");
        for (const auto& p : {geral.sPathIn, geral.sPathOut, geral.sPathTemp})
            fs::create_directories(p);
        geral.prmUnidade = "12";
        geral.sDominio = servidor.host();
        opcoes.login = "quelmar";
        opcoes.password = "dorven";
        opcoes.connectTimeout = 500ms;
        opcoes.requestTimeout = 2000ms;
        opcoes.lowSpeedTime = 1s;
        reinicia();
    }
    // A fresh transport, as after the program started again.
    void reinicia() {
        transporte = std::make_unique<TransporteEDI>(geral, ui, opcoes);
        transporte->iniciaPrograma = [this](const fs::path& p) { iniciados.push_back(p); };
        transporte->atualizaUpdate = [this] {
            ++carimbos;
            return std::string("2013-05-04 10:22:31");
        };
    }
    // How many requests asked for this path.
    size_t pedidosDe(const std::string& caminho) const {
        size_t n = 0;
        for (const auto& r : servidor.requests())
            n += r.path == caminho;
        return n;
    }
    // "METHOD path?query" of every request, and whether each carried the account.
    std::vector<std::string> pedidos() const {
        std::vector<std::string> out;
        for (const auto& r : servidor.requests()) {
            EXPECT_EQ(r.basicCredentials(), "quelmar:dorven") << r.target;
            out.push_back(r.method + " " + r.target);
        }
        return out;
    }
};

inline std::string lista(const std::vector<std::pair<int, std::string>>& entradas) {
    PacketTable cds({{"ID", FieldType::Integer}, {"ARQUIVO", FieldType::VarChar, 255}});
    for (const auto& [id, caminho] : entradas) {
        cds.append();
        cds.setValue(0, Value::int32(id));
        cds.setValue(1, Value::text(caminho));
        cds.post();
    }
    return cds.saveToString();
}

inline std::string listaApp(const std::vector<std::vector<std::string>>& linhas) {
    PacketTable cds({{"NOME", FieldType::VarChar, 255},
                     {"DESTINO", FieldType::VarChar, 255},
                     {"TIPO", FieldType::VarChar, 2},
                     {"EXEC", FieldType::VarChar, 2}});
    for (const auto& l : linhas) {
        cds.append();
        for (size_t i = 0; i < l.size(); ++i)
            cds.setValue(i, Value::text(l[i]));
        cds.post();
    }
    return cds.saveToString();
}

} // namespace edi::test
