#pragma once

#include <filesystem>
#include <string>

namespace edi::db {

// The embedded engine keeps the lock table of a database in a folder of lock files, and two processes that
// share one database file with different folders damage it. The folder is read from FIREBIRD_LOCK once per
// process, when the engine is first used; its default (/tmp/firebird) belongs to the server package and is
// closed to ordinary users. The rule here, applied by every program and service alike: a value already set
// in FIREBIRD_LOCK is kept; otherwise the folder is ".firebird-lock" in the real folder of the first
// embedded database the process opens, so every process, of any user, that opens one database meets the
// same lock folder, and it travels with the database's folder (its owner, its "chown -R").

// The lock folder of an embedded database under the rule: ".firebird-lock" beside the real file.
std::filesystem::path lockFolderOf(const std::string& database);

// Before an embedded attach: points the engine at the database's lock folder the first time (creating it),
// and refuses a database in another folder when the engine shares files between processes. Throws
// DatabaseError with the reason when the folder cannot be used.
void prepareLockFolder(const std::string& database);

// After an embedded attach by root: the engine hands its lock files to its own system user, which would shut
// the database's owner out of its own lock folder; they go back to the folder's owner.
void handBackLockFiles();

} // namespace edi::db
