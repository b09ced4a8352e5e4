#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace edi::tools {

// A report's table content: one entry per row, the cells' texts as shown.
using LinhasDeTabela = std::vector<std::vector<std::string>>;

// Writes a new .xlsx workbook with `linhas` from cell A1 of its first worksheet, one worksheet row per row.
// Texts in the process formats become typed cells: "1.234,5" and "-7" numbers, "dd/mm/yyyy [hh:nn[:ss]]"
// dates; everything else (codes with leading zeros, too many digits for a number) stays text.
// Throws IoError when the file cannot be written.
void GravaPlanilha(const LinhasDeTabela& linhas, const std::filesystem::path& arquivo);

// A new, unused name in `pasta` for an export: Relatorio_yyyymmdd_hhnnss[_N].xlsx.
std::filesystem::path NomeDePlanilha(const std::filesystem::path& pasta);

} // namespace edi::tools
