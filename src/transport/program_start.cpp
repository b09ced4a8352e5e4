#include "transport/program_start.h"

#include "core/errors.h"
#include "core/messages.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace edi::transport {

namespace {

std::string cannotStart(const std::filesystem::path& program) {
    return "Não foi possível iniciar " + program.string();
}

class SpawnSetup {
public:
    SpawnSetup() {
        posix_spawnattr_init(&attributes_);
        posix_spawn_file_actions_init(&actions_);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions_);
        posix_spawnattr_destroy(&attributes_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // Own session: closing our terminal or our process group's signals do not reach the program.
    // Default signals and an empty mask: it must not inherit what this process ignores or blocks.
    int detach() {
        sigset_t none, defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        for (int sig : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGUSR1, SIGUSR2})
            sigaddset(&defaults, sig);
        int rc = posix_spawnattr_setsigmask(&attributes_, &none);
        if (rc == 0)
            rc = posix_spawnattr_setsigdefault(&attributes_, &defaults);
        if (rc == 0)
            rc = posix_spawnattr_setflags(&attributes_,
                                          POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        if (rc == 0)
            rc = posix_spawn_file_actions_addclosefrom_np(&actions_, 3);
        return rc;
    }
    int changeDirectory(const std::filesystem::path& folder) {
        return posix_spawn_file_actions_addchdir_np(&actions_, folder.c_str());
    }

    posix_spawnattr_t* attributes() { return &attributes_; }
    posix_spawn_file_actions_t* actions() { return &actions_; }

private:
    posix_spawnattr_t attributes_;
    posix_spawn_file_actions_t actions_;
};

// Waits for the program in the background so that it never lingers as a zombie, without touching the
// process-wide SIGCHLD disposition that other code may rely on.
void reapWhenDone(pid_t pid) {
    std::thread([pid] {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

} // namespace

pid_t startProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                   const std::filesystem::path& workingDirectory) {
    const auto fail = [&](int code) { return IoError(msg::withCause(cannotStart(program), std::strerror(code))); };
    if (program.empty())
        throw IoError("Não foi possível iniciar um programa: nenhum caminho indicado");

    std::error_code ec;
    if (!workingDirectory.empty() && !std::filesystem::is_directory(workingDirectory, ec))
        throw IoError(cannotStart(program) + ": a pasta " + workingDirectory.string() + " não existe");

    SpawnSetup setup;
    int rc = setup.detach();
    if (rc == 0 && !workingDirectory.empty())
        rc = setup.changeDirectory(workingDirectory);
    if (rc != 0)
        throw fail(rc);

    std::vector<std::string> argvText;
    argvText.reserve(arguments.size() + 1);
    argvText.push_back(program.string());
    argvText.insert(argvText.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : argvText)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    rc = ::posix_spawn(&pid, program.c_str(), setup.actions(), setup.attributes(), argv.data(), environ);
    if (rc != 0)
        throw fail(rc);
    reapWhenDone(pid);
    return pid;
}

} // namespace edi::transport
