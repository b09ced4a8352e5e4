#include "interchange/retidos.h"

#include "core/formats.h"
#include "packet/nome_do_pacote.h"
#include "packet/packet_table.h"

#include <algorithm>
#include <set>

namespace edi {

namespace fs = std::filesystem;

fs::path pastaRetidos(const fs::path& sPathIn) {
    return sPathIn / "retidos";
}

fs::path caminhoRetido(const fs::path& sPathIn, const std::string& original, int tentativas) {
    return pastaRetidos(sPathIn) / (std::to_string(tentativas) + "-" + original);
}

std::optional<ArquivoRetido> arquivoRetido(const fs::path& caminho) {
    const std::string nome = caminho.filename().string();
    const size_t traco = nome.find('-');
    if (traco == 0 || traco == std::string::npos || traco > 3 || nome.size() < traco + 5 ||
        !formats::equalsIgnoreCase(nome.substr(nome.size() - 4), kExtensaoPacote))
        return std::nullopt;
    for (size_t i = 0; i < traco; ++i)
        if (nome[i] < '0' || nome[i] > '9')
            return std::nullopt;
    return ArquivoRetido{caminho, nome.substr(traco + 1), std::stoi(nome.substr(0, traco))};
}

std::vector<ArquivoRetido> arquivosRetidos(const fs::path& sPathIn) {
    std::vector<ArquivoRetido> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(pastaRetidos(sPathIn), ec))
        if (e.is_regular_file(ec))
            if (auto r = arquivoRetido(e.path()))
                out.push_back(std::move(*r));
    std::sort(out.begin(), out.end(),
              [](const ArquivoRetido& a, const ArquivoRetido& b) { return a.caminho < b.caminho; });
    return out;
}

namespace {

// A record's whole content, to tell the same record met twice (its packet imported again after a kill).
std::string assinatura(const PacketTable& t) {
    std::string s = t.rowState() == PacketTable::RowState::Deleted ? "-" : "";
    for (size_t i = 0; i < t.fieldCount(); ++i)
        s += t.field(i).name + "=" + t.value(i).debugString() + ";";
    return s;
}

// Every field of `a`, then those of `b` it lacks: records of two layouts fit without losing a value.
std::vector<FieldDef> uniao(const PacketTable& a, const PacketTable& b) {
    std::vector<FieldDef> campos = a.fields();
    for (const auto& f : b.fields())
        if (a.fieldIndex(f.name) < 0)
            campos.push_back(f);
    return campos;
}

void copiaRegistros(PacketTable& de, PacketTable& para, std::set<std::string>& vistos) {
    for (de.first(); !de.eof(); de.next()) {
        if (!vistos.insert(assinatura(de)).second)
            continue;
        para.append();
        if (de.rowState() == PacketTable::RowState::Deleted)
            para.setRowState(PacketTable::RowState::Deleted);
        for (size_t i = 0; i < de.fieldCount(); ++i)
            para.setValue(de.field(i).name, de.value(i));
        para.post();
    }
}

} // namespace

void guardaRetidos(const fs::path& destino, PacketTable& novos, bool acrescenta) {
    fs::create_directories(destino.parent_path());
    std::error_code ec;
    if (!acrescenta || !fs::exists(destino, ec)) {
        novos.saveToFile(destino);
        return;
    }
    PacketTable existentes = PacketTable::loadFromFile(destino, PacketTable::RowView::WithDeleted);
    PacketTable junto(uniao(existentes, novos));
    std::set<std::string> vistos;
    copiaRegistros(existentes, junto, vistos);
    copiaRegistros(novos, junto, vistos);
    junto.saveToFile(destino);
}

ContagemRetidos contaRetidos(const fs::path& sPathIn) {
    ContagemRetidos c;
    for (const auto& r : arquivosRetidos(sPathIn)) {
        long n = 0;
        try {
            n = static_cast<long>(
                PacketTable::loadFromFile(r.caminho, PacketTable::RowView::WithDeleted).recordCount());
        } catch (const std::exception&) {
            n = 1; // unreadable: still something the operator must look at
        }
        if (r.tentativas >= kTentativasAutomaticas)
            c.doOperador += n;
        else if (r.tentativas == 0)
            c.aguardandoBloqueio += n;
        else
            c.paraNovaTentativa += n;
    }
    return c;
}

std::string textoRetidos(const ContagemRetidos& c) {
    if (c.vazia())
        return "";
    std::string texto = "Registros retidos em EDI/IN/retidos: " + std::to_string(c.paraNovaTentativa) +
                        " para nova tentativa, " + std::to_string(c.aguardandoBloqueio) +
                        " à espera de um registro bloqueado, " + std::to_string(c.doOperador) + " à espera do operador";
    if (c.doOperador > 0)
        texto += ". Veja o motivo de cada um nos logs das pastas do dia em EDI/IN, corrija-o e execute "
                 "\"edi-sync reimportar\"";
    return texto;
}

} // namespace edi
