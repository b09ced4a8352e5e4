#include "db/lock_folder.h"

#include "core/errors.h"
#include "core/files.h"
#include "core/formats.h"
#include "db/database.h"

#include <firebird/Interface.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace edi::db {

namespace fs = std::filesystem;

namespace {

const char* const kVariable = "FIREBIRD_LOCK";
const char* const kFolderName = ".firebird-lock";

// The engine reads the folder once per process, so the choice is made once too.
struct Choice {
    std::mutex mutex;
    bool decided = false;
    bool ours = false; // chosen here, not by whoever started the program
    fs::path folder;
};

Choice& choice() {
    static Choice c;
    return c;
}

// The engine takes the file for itself in its default mode (a second process is refused); only when it is
// set up to share files between processes does a second lock folder for one database do harm.
bool engineSharesFiles() {
    Firebird::IFirebirdConf* conf = Database::master()->getConfigManager()->getFirebirdConf();
    const char* value = conf->asString(conf->getKey("ServerMode"));
    const std::string mode = formats::toUpper(value ? value : "");
    conf->release();
    return !mode.empty() && mode != "SUPER" && mode != "THREADEDDEDICATED";
}

void giveToOwnerOf(const fs::path& path, const fs::path& owner) {
    struct stat st {};
    if (::stat(owner.c_str(), &st) == 0)
        (void)::lchown(path.c_str(), st.st_uid, st.st_gid);
}

void createLockFolder(const fs::path& folder, const std::string& database) {
    if (::mkdir(folder.c_str(), 0770) != 0 && errno != EEXIST)
        throw DatabaseError("Não foi possível criar a pasta " + folder.string() +
                            ", onde o motor de banco de dados embutido guarda as travas de " + database + ": " +
                            describeWriteError(errno));
    if (::geteuid() == 0)
        giveToOwnerOf(folder, folder.parent_path());
}

// A process whose first database is on a server has no database folder yet: its own folder, private to the
// user, serves the embedded databases it may open later.
fs::path privateFolder() {
    const fs::path folder = fs::temp_directory_path() / ("edi-firebird-lock-" + std::to_string(::geteuid()));
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return {};
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return {}; // someone else's: the engine's default then
    return folder;
}

void decide(Choice& c, const std::string& database) {
    if (const char* set = std::getenv(kVariable); set && *set) {
        c.folder = set;
        c.decided = true;
        return;
    }
    fs::path folder;
    if (isEmbeddedPath(database)) {
        folder = lockFolderOf(database);
        createLockFolder(folder, database);
    } else {
        folder = privateFolder();
    }
    if (!folder.empty())
        ::setenv(kVariable, folder.c_str(), 1);
    c.folder = folder;
    c.ours = !folder.empty();
    c.decided = true;
}

} // namespace

fs::path lockFolderOf(const std::string& database) {
    std::error_code ec;
    fs::path file = fs::weakly_canonical(fs::absolute(database), ec);
    if (ec)
        file = fs::absolute(database).lexically_normal();
    return file.parent_path() / kFolderName;
}

void prepareLockFolder(const std::string& database) {
    Choice& c = choice();
    const std::lock_guard<std::mutex> lock(c.mutex);
    if (!c.decided) {
        decide(c, database);
        return;
    }
    if (!c.ours || !isEmbeddedPath(database))
        return;
    const fs::path wanted = lockFolderOf(database);
    if (wanted != c.folder && engineSharesFiles())
        throw DatabaseError("As travas do banco de dados " + database + " ficam em " + wanted.string() +
                            ", mas este programa já usa a pasta de travas " + c.folder.string() +
                            ", e o motor embutido está configurado para compartilhar os bancos entre processos: "
                            "defina " +
                            std::string(kVariable) +
                            " com uma pasta comum a todos os programas que abrem estes bancos de dados");
}

void handBackLockFiles() {
    if (::geteuid() != 0)
        return;
    Choice& c = choice();
    const std::lock_guard<std::mutex> lock(c.mutex);
    if (!c.ours)
        return;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(c.folder, ec))
        giveToOwnerOf(entry.path(), c.folder);
}

} // namespace edi::db
