#include "tools/error_reporter.h"

#include <cxxabi.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <iostream>

namespace edi::tools {

namespace fs = std::filesystem;

namespace {

std::string legivel(const char* nomeMangled) {
    int status = 0;
    char* nome = abi::__cxa_demangle(nomeMangled, nullptr, nullptr, &status);
    std::string texto = status == 0 && nome ? nome : nomeMangled;
    std::free(nome);
    return texto;
}

fs::path pastaDoExecutavel() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path(ec) : exe.parent_path();
}

// Appends all of `texto` or throws; O_APPEND keeps concurrent writers' reports whole.
void acrescentaAoArquivo(const fs::path& arquivo, const std::string& texto) {
    const int fd = ::open(arquivo.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        throw std::runtime_error("não foi possível abrir " + arquivo.string());
    size_t feito = 0;
    while (feito < texto.size()) {
        const ssize_t n = ::write(fd, texto.data() + feito, texto.size() - feito);
        if (n <= 0)
            break;
        feito += static_cast<size_t>(n);
    }
    ::close(fd);
    if (feito < texto.size())
        throw std::runtime_error("não foi possível gravar em " + arquivo.string());
}

// The reporter's own filter: makes the text, writes the report, shows it.
class FiltroPadrao : public IErrorFilter {
public:
    explicit FiltroPadrao(TErrorReporter& dono) : dono_(dono) {}

    ResultadoFiltro ExceptionMessage(const ErroCapturado& erro, std::string& texto) override {
        std::string onde;
        if (erro.pilhaDoLancamento && !erro.pilha.empty())
            onde = " em " + moduloDoEndereco(erro.pilha[0]) + ", " + localDoEndereco(erro.pilha[0]);
        else if (!erro.pilha.empty())
            onde = " (lançada em local desconhecido; capturada em " + localDoEndereco(erro.pilha[0]) + ")";
        const std::string mensagem = erro.objeto ? erro.objeto->what() : "(sem mensagem)";
        texto = dono_.semSegredos("Exceção " + erro.classe + onde + ":\n" + mensagem);
        return EXC_FILTER_STOP;
    }

    ResultadoFiltro LogException(const ErroCapturado&, const TextosDoErro& textos) override {
        try {
            acrescentaAoArquivo(dono_.LogFile, dono_.relatorio(textos));
        } catch (const std::exception& e) {
            // No log, yet the error itself must still be shown.
            std::cerr << "Erro ao gravar o relatório de erros: " << e.what() << std::endl;
        }
        return EXC_FILTER_STOP;
    }

    ResultadoFiltro ShowException(const ErroCapturado& erro, const TextosDoErro& textos) override {
        if (dono_.mostraErro && !erro.fatal)
            dono_.mostraErro(textos);
        else
            std::cerr << textos.titulo << ": " << textos.texto << "\n" << textos.pilha << std::flush;
        return EXC_FILTER_STOP;
    }

private:
    TErrorReporter& dono_;
};

} // namespace

std::string cabecalhoDoRelatorio() {
    const std::time_t agora = std::time(nullptr);
    std::tm tm{};
    localtime_r(&agora, &tm);
    char texto[32];
    std::strftime(texto, sizeof texto, "%d/%m/%Y %H:%M:%S", &tm);
    return texto;
}

TErrorReporter::TErrorReporter() : LogFile(pastaDoExecutavel() / "EDIMorvanix.log") {
    registra([](const ErroCapturado&) { return true; }, std::make_shared<FiltroPadrao>(*this));
}

void TErrorReporter::registra(Condicao condicao, std::shared_ptr<IErrorFilter> filtro) {
    std::lock_guard trava(serie_);
    filtros_.push_back({std::move(condicao), std::move(filtro)});
}

void TErrorReporter::UnregisterExceptionFilter(const std::shared_ptr<IErrorFilter>& filtro) {
    std::lock_guard trava(serie_);
    std::erase_if(filtros_, [&](const Registro& r) { return r.filtro == filtro; });
}

void TErrorReporter::ocultaSegredos(const std::vector<std::string>& segredos) {
    std::lock_guard trava(serie_);
    for (const auto& s : segredos)
        if (!s.empty() && std::find(segredos_.begin(), segredos_.end(), s) == segredos_.end())
            segredos_.push_back(s);
}

std::string TErrorReporter::semSegredos(std::string texto) const {
    for (const auto& s : segredos_)
        for (size_t p = texto.find(s); p != std::string::npos; p = texto.find(s, p + 4))
            texto.replace(p, s.size(), "****");
    return texto;
}

std::string TErrorReporter::relatorio(const TextosDoErro& t) const {
    return "======== " + cabecalhoDoRelatorio() + " ========\n" + t.titulo + "\n" + t.texto + "\nPilha de chamadas:\n" +
           t.pilha + "Contexto do processador:\n" + t.contexto + "\n\n";
}

ErroCapturado TErrorReporter::captura(std::exception_ptr ptr, bool fatal) const {
    ErroCapturado erro;
    erro.ptr = ptr;
    erro.fatal = fatal;
    if (const std::type_info* tipo = ptr.__cxa_exception_type())
        erro.classe = legivel(tipo->name());
    try {
        std::rethrow_exception(ptr);
    } catch (const std::exception& e) {
        erro.objeto = &e; // the exception object lives as long as `ptr`
        erro.classe = legivel(typeid(e).name());
        erro.pilha = pilhaDoLancamento(dynamic_cast<const void*>(&e));
    } catch (...) {
    }
    erro.pilhaDoLancamento = !erro.pilha.empty();
    if (!erro.pilhaDoLancamento)
        erro.pilha = pilhaAtual(2);
    return erro;
}

void TErrorReporter::HandleException(std::exception_ptr ptr, bool fatal) {
    std::lock_guard trava(serie_);
    const ErroCapturado erro = captura(ptr, fatal);
    TextosDoErro textos;
    textos.pilha = descrevePilha(erro.pilha);
    textos.mensagem = semSegredos(erro.objeto ? erro.objeto->what() : "");
    textos.contexto = "  indisponível: uma exceção C++ não interrompe o processador\n";

    // Newest registration first; copied, so a filter may (un)register while it runs.
    std::vector<Registro> filtros;
    for (auto it = filtros_.rbegin(); it != filtros_.rend(); ++it)
        if (it->condicao(erro))
            filtros.push_back(*it);
    auto percorre = [&](auto&& operacao) {
        for (auto& r : filtros)
            if (operacao(*r.filtro) == EXC_FILTER_STOP)
                break;
    };
    try {
        percorre([&](IErrorFilter& f) { return f.ExceptionMessage(erro, textos.texto); });
        percorre([&](IErrorFilter& f) { return f.LogException(erro, textos); });
        percorre([&](IErrorFilter& f) { return f.ShowException(erro, textos); });
    } catch (const std::exception& e) {
        // A filter failed: what is left to do is show the error, with the reason the report fell short.
        textos.texto += "\n\nFalha ao relatar o erro: " + semSegredos(e.what());
        filtros.back().filtro->ShowException(erro, textos);
    } catch (...) {
        filtros.back().filtro->ShowException(erro, textos);
    }
}

TErrorReporter& ErrorReporter() {
    static TErrorReporter reporter;
    return reporter;
}

} // namespace edi::tools
