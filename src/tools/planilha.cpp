#include "tools/planilha.h"

#include "core/errors.h"
#include "core/formats.h"

#include <xlsxwriter.h>

#include <memory>
#include <optional>
#include <regex>
#include <variant>

namespace edi::tools {

namespace fs = std::filesystem;

namespace {

struct Data {
    Timestamp momento;
    bool comHora;
};
using Celula = std::variant<std::string, double, Data>;

// Whole digits with "." every three, or plain digits without a leading zero; "," decimals.
std::optional<double> numeroDoTexto(const std::string& texto) {
    static const std::regex forma(R"(-?(0|[1-9]\d{0,2}(\.\d{3})+|[1-9]\d*)(,\d+)?)");
    // Beyond 15 significant digits a spreadsheet number loses digits: such a text is a code, not a quantity.
    if (texto.size() > 16 || !std::regex_match(texto, forma))
        return std::nullopt;
    std::string semMilhares;
    for (char c : texto)
        if (c != formats::kThousandSeparator)
            semMilhares += c;
    return formats::parseDouble(semMilhares);
}

std::optional<Data> dataDoTexto(const std::string& texto) {
    static const std::regex forma(R"(\d\d/\d\d/\d{4}( \d\d:\d\d(:\d\d)?)?)");
    if (!std::regex_match(texto, forma))
        return std::nullopt;
    const auto momento = formats::parseTimestamp(texto);
    if (!momento)
        return std::nullopt;
    return Data{*momento, texto.size() > 10};
}

Celula classifica(const std::string& bruto) {
    const std::string texto = formats::trim(bruto);
    if (const auto n = numeroDoTexto(texto))
        return *n;
    if (const auto d = dataDoTexto(texto))
        return *d;
    return bruto;
}

// At most `maximo` bytes, never cutting a character in two.
std::string cortaUtf8(const std::string& texto, std::size_t maximo) {
    if (texto.size() <= maximo)
        return texto;
    while (maximo > 0 && (static_cast<unsigned char>(texto[maximo]) & 0xC0) == 0x80)
        --maximo;
    return texto.substr(0, maximo);
}

lxw_datetime paraPlanilha(const Timestamp& t) {
    int ano = 0, mes = 0, dia = 0;
    t.date.toYmd(ano, mes, dia);
    return lxw_datetime{ano, mes, dia, t.time.hour(), t.time.minute(), static_cast<double>(t.time.second())};
}

struct FechaWorkbook {
    void operator()(lxw_workbook* w) const {
        if (w)
            workbook_close(w);
    }
};

} // namespace

void GravaPlanilha(const LinhasDeTabela& linhas, const fs::path& arquivo) {
    std::unique_ptr<lxw_workbook, FechaWorkbook> livro(workbook_new(arquivo.c_str()));
    if (!livro)
        throw IoError("Não foi possível criar a planilha " + arquivo.string());
    lxw_worksheet* folha = workbook_add_worksheet(livro.get(), nullptr);
    lxw_format* formatoData = workbook_add_format(livro.get());
    format_set_num_format(formatoData, "dd/mm/yyyy");
    lxw_format* formatoDataHora = workbook_add_format(livro.get());
    format_set_num_format(formatoDataHora, "dd/mm/yyyy hh:mm:ss");

    constexpr std::size_t kMaximoDoTexto = 32767; // the longest text a cell holds
    for (std::size_t r = 0; r < linhas.size() && r < LXW_ROW_MAX; ++r) {
        for (std::size_t c = 0; c < linhas[r].size() && c < LXW_COL_MAX; ++c) {
            const auto linha = static_cast<lxw_row_t>(r);
            const auto coluna = static_cast<lxw_col_t>(c);
            const Celula celula = classifica(linhas[r][c]);
            if (const auto* n = std::get_if<double>(&celula)) {
                worksheet_write_number(folha, linha, coluna, *n, nullptr);
            } else if (const auto* d = std::get_if<Data>(&celula)) {
                lxw_datetime dt = paraPlanilha(d->momento);
                worksheet_write_datetime(folha, linha, coluna, &dt, d->comHora ? formatoDataHora : formatoData);
            } else if (const auto& t = std::get<std::string>(celula); !t.empty()) {
                worksheet_write_string(folha, linha, coluna, cortaUtf8(t, kMaximoDoTexto).c_str(), nullptr);
            }
        }
    }
    const lxw_error erro = workbook_close(livro.release());
    if (erro != LXW_NO_ERROR)
        throw IoError("Não foi possível gravar a planilha " + arquivo.string() + ": " + lxw_strerror(erro));
}

fs::path NomeDePlanilha(const fs::path& pasta) {
    const std::string base = "Relatorio_" + formatDateTime("yyyymmdd_hhnnss", Timestamp::localNow());
    fs::path nome = pasta / (base + ".xlsx");
    for (int n = 2; fs::exists(nome); ++n)
        nome = pasta / (base + "_" + std::to_string(n) + ".xlsx");
    return nome;
}

} // namespace edi::tools
