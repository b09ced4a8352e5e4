#include "datamodule/roteiro.h"

#include "core/errors.h"
#include "core/formats.h"
#include "datamodule/tdmgeral.h"
#include "db/query.h"

#include <sstream>
#include <vector>

namespace edi::datamodule {

bool RoteiroUi::askYesNo(const std::string& caption, const std::string& text) {
    box(caption, text);
    if (answers_.empty())
        return false;
    const bool yes = answers_.front();
    answers_.pop_front();
    return yes;
}

namespace {

class ScriptError : public Error {
public:
    using Error::Error;
};

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

// "NAME=VALUE" -> {NAME, VALUE}; the value keeps its blanks.
std::pair<std::string, std::string> assignment(const std::string& line, size_t from) {
    const std::string rest = formats::trim(line.substr(from));
    const size_t eq = rest.find('=');
    if (eq == std::string::npos || eq == 0)
        throw ScriptError("esperava NOME=VALOR: " + rest);
    return {formats::trim(rest.substr(0, eq)), rest.substr(eq + 1)};
}

Value scriptValue(const std::string& text) {
    return text == "null" ? Value() : Value::text(text);
}

std::string printed(ModuleDataset& ds, const std::string& column) {
    return ds.value(column).isNull() ? "<null>" : ds.displayText(column);
}

class Roteiro {
public:
    Roteiro(TDMGERAL& modulo, RoteiroUi& ui, std::ostream& out) : modulo_(modulo), ui_(ui), out_(out) {}

    void run(const std::string& line) {
        const std::vector<std::string> w = words(line);
        if (w.empty() || w[0][0] == '#')
            return;
        const std::string& cmd = w[0];
        if (cmd == "commit" || cmd == "rollback") {
            arity(w, 1);
            cmd == "commit" ? modulo_.dm().Commit() : modulo_.dm().Rollback();
            return;
        }
        if (cmd == "answer") {
            arity(w, 2);
            if (w[1] != "yes" && w[1] != "no")
                throw ScriptError("answer espera yes ou no");
            ui_.answer(w[1] == "yes");
            return;
        }
        if (cmd == "user") {
            arity(w, 2);
            user(w[1]);
            return;
        }
        if (w.size() < 2)
            throw ScriptError("falta o conjunto de dados: " + line);
        ModuleDataset& ds = modulo_.dataset(w[1]);
        const size_t afterName = line.find(w[1]) + w[1].size();
        if (cmd == "param") {
            const auto [name, value] = assignment(line, afterName);
            ds.setParam(name, scriptValue(value));
        } else if (cmd == "set") {
            const auto [name, value] = assignment(line, afterName);
            ds.setValue(name, scriptValue(value));
        } else if (cmd == "splice") {
            // "splice DATASET MARKER [TEXT]": the text after the marker, up to the end of the line
            if (w.size() < 3)
                throw ScriptError("splice espera o conjunto e o marcador");
            const size_t afterMarker = line.find(w[2], afterName) + w[2].size();
            ds.splice(w[2], formats::trim(line.substr(afterMarker)));
        } else if (cmd == "locate") {
            const auto [name, value] = assignment(line, afterName);
            if (!ds.locate(name, scriptValue(value)))
                out_ << "não encontrado\n";
        } else {
            arity(w, 2);
            simple(cmd, ds);
        }
    }

private:
    static void arity(const std::vector<std::string>& w, size_t n) {
        if (w.size() != n)
            throw ScriptError("número de argumentos errado em " + w[0]);
    }

    void simple(const std::string& cmd, ModuleDataset& ds) {
        if (cmd == "open")
            ds.open();
        else if (cmd == "close")
            ds.close();
        else if (cmd == "first")
            ds.first();
        else if (cmd == "next")
            ds.next();
        else if (cmd == "insert")
            ds.insert();
        else if (cmd == "edit")
            ds.edit();
        else if (cmd == "post")
            ds.post();
        else if (cmd == "cancel")
            ds.cancel();
        else if (cmd == "delete")
            ds.remove();
        else if (cmd == "count")
            out_ << ds.recordCount() << "\n";
        else if (cmd == "print")
            print(ds);
        else
            throw ScriptError("comando desconhecido: " + cmd);
    }

    void print(ModuleDataset& ds) {
        if (!ds.isOpen())
            throw Error("O conjunto " + ds.name() + " está fechado");
        if (ds.eof() && ds.state() == db::DatasetState::Browse) {
            out_ << "(sem registro)\n";
            return;
        }
        for (const FieldDef& f : ds.columns())
            out_ << f.name << "=" << printed(ds, f.name) << "\n";
    }

    void user(const std::string& code) {
        db::Query q(modulo_.dm().DB(), "select CD_USUARIO, NM_USUARIO from USUARIO_CMP where CD_USUARIO = :CD");
        q.setParam("CD", Value::text(code));
        q.open();
        if (q.eof())
            throw ScriptError("usuário " + code + " inexistente");
        modulo_.usuario() = {q.value(0).asInt32(), q.value(1).asText()};
    }

    TDMGERAL& modulo_;
    RoteiroUi& ui_;
    std::ostream& out_;
};

} // namespace

int executaRoteiro(TDMGERAL& modulo, RoteiroUi& ui, std::istream& script, std::ostream& out) {
    Roteiro roteiro(modulo, ui, out);
    bool erro = false;
    for (std::string line; std::getline(script, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        try {
            roteiro.run(line);
        } catch (const Abort&) {
            out << "abort\n";
        } catch (const std::exception& e) {
            out << "error: " << e.what() << "\n";
            erro = true;
        }
        out.flush();
    }
    try {
        modulo.dm().Rollback();
    } catch (const std::exception& e) {
        out << "error: " << e.what() << "\n";
        erro = true;
    }
    return erro ? 1 : 0;
}

} // namespace edi::datamodule
