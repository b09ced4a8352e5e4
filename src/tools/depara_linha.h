#pragma once

#include "core/errors.h"

#include <filesystem>
#include <map>
#include <ostream>
#include <set>
#include <string>

namespace edi::tools {

// The options of `edi-admin depara` that take a value.
extern const std::set<std::string> kOpcoesDeParaLinha;

// A De-Para command line that cannot run as given.
class UsoDeParaErrado : public Error {
public:
    using Error::Error;
};

// Runs one De-Para operation ("abrir", "apagar-para", "de-para", "comparar") the way an operator would in the
// window: open De, open Para, then the operation; the log lines go to `saida`. User, password and character
// set come from `jaqIni`. "apagar-para" runs only with the option "yes". Returns the exit status: "de-para"
// ends with a line counting the rows copied and failed, and returns 1 when any row failed.
int ExecutaDeParaLinha(const std::string& operacao, const std::map<std::string, std::string>& opcoes,
                       const std::filesystem::path& jaqIni, std::ostream& saida);

} // namespace edi::tools
