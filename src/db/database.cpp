#include "db/database.h"

#include "core/encoding.h"
#include "core/formats.h"
#include "db/fb_support.h"
#include "db/lock_folder.h"

#include <firebird/Interface.h>
#include <ibase.h>

#include <functional>
#include <memory>
#include <vector>

namespace edi::db {

using namespace Firebird;

namespace detail {

std::string formatStatus(const IStatus* status) {
    char buffer[4096];
    const unsigned len = Database::util()->formatStatus(buffer, sizeof buffer, const_cast<IStatus*>(status));
    // Messages quote values in the connection's character set.
    std::string text = encoding::textToUtf8(std::string_view(buffer, len));
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

long gdsCode(const IStatus* status) {
    const intptr_t* v = const_cast<IStatus*>(status)->getErrors();
    if (!v || v[0] != isc_arg_gds)
        return 0;
    // A failed conversion of text comes under a general arithmetic error; the specific code says more.
    for (const intptr_t* p = v; *p != isc_arg_end; p += *p == isc_arg_cstring ? 3 : 2)
        if (p[0] == isc_arg_gds && p[1] == isc_transliteration_failed)
            return isc_transliteration_failed;
    return static_cast<long>(v[1]);
}

void rethrow(const FbException& e, const std::string& context) {
    std::string message = formatStatus(e.getStatus());
    if (!context.empty())
        message = context + "\n" + message;
    throw DatabaseError(message, gdsCode(e.getStatus()));
}

Status::Status() : status_(Database::master()->getStatus()), wrapper_(status_) {}
Status::~Status() {
    status_->dispose();
}

} // namespace detail

namespace {

// A transaction that reads committed record versions and fails at once on a lock conflict.
const std::vector<unsigned char>& sessionTpb() {
    static const std::vector<unsigned char> tpb = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed,
                                                   isc_tpb_rec_version, isc_tpb_nowait};
    return tpb;
}

std::string describe(const ConnectionParams& p) {
    return "o banco de dados \"" + p.database + "\" (usuário " + p.user + ")";
}

struct Dpb {
    IXpbBuilder* builder;
    explicit Dpb(detail::Status& st) : builder(Database::util()->getXpbBuilder(&st, IXpbBuilder::DPB, nullptr, 0)) {}
    ~Dpb() { builder->dispose(); }
};

void fillDpb(detail::Status& st, IXpbBuilder* dpb, const ConnectionParams& p) {
    dpb->insertString(&st, isc_dpb_user_name, p.user.c_str());
    if (!p.password.empty())
        dpb->insertString(&st, isc_dpb_password, p.password.c_str());
    dpb->insertString(&st, isc_dpb_lc_ctype, p.charset.empty() ? "UTF8" : p.charset.c_str());
    // Without this a plain path the engine cannot open silently goes to a server on localhost.
    if (isEmbeddedPath(p.database))
        dpb->insertString(&st, isc_dpb_config, "Providers=Engine12");
}

[[noreturn]] void connectionFailed(const FbException& e, const ConnectionParams& p, const char* action) {
    const long code = detail::gdsCode(e.getStatus());
    std::string context = std::string("Não foi possível ") + action + " " + describe(p) + ":";
    if (isEmbeddedPath(p.database) && code == isc_network_error)
        context += " o motor de banco de dados embutido não está disponível (pacote firebird3.0-server-core)";
    detail::rethrow(e, context);
}

} // namespace

bool isTransliterationFailure(const DatabaseError& e) {
    return e.gdsCode() == isc_transliteration_failed;
}

bool isLockConflict(const DatabaseError& e) {
    return e.gdsCode() == isc_deadlock || e.gdsCode() == isc_lock_conflict || e.gdsCode() == isc_update_conflict;
}

bool isEmbeddedPath(const std::string& connection) {
    if (connection.empty())
        return true;
    if (connection[0] == '/' || connection[0] == '.' || connection[0] == '~')
        return true;
    return connection.find(':') == std::string::npos;
}

// ---- Transaction ----

Transaction::Transaction(Database& db) : db_(db) {}

Transaction::~Transaction() {
    if (handle_) {
        try {
            detail::Status st;
            handle_->rollback(&st);
        } catch (const FbException&) {
            handle_->release();
        }
        handle_ = nullptr;
    }
}

void Transaction::start() {
    if (handle_)
        return;
    detail::Status st;
    try {
        const auto& tpb = sessionTpb();
        handle_ = db_.attachment()->startTransaction(&st, static_cast<unsigned>(tpb.size()), tpb.data());
    } catch (const FbException& e) {
        detail::rethrow(e, "Não foi possível iniciar uma transação");
    }
    db_.trace(TraceKind::Transaction, "Início da transação");
}

ITransaction* Transaction::handle() {
    start();
    return handle_;
}

namespace {
const char* const kCommitFailed = "Não foi possível confirmar a transação";
const char* const kRollbackFailed = "Não foi possível desfazer a transação";
} // namespace

// Runs one engine operation on the transaction; `ends` when it releases the handle.
template <typename Operation>
void Transaction::act(const char* what, const char* failure, bool ends, Operation operation) {
    if (!handle_)
        return;
    detail::Status st;
    try {
        operation(&st);
        if (ends)
            handle_ = nullptr;
    } catch (const FbException& e) {
        db_.trace(TraceKind::Error, detail::formatStatus(e.getStatus()));
        detail::rethrow(e, failure);
    }
    db_.trace(TraceKind::Transaction, what);
}

void Transaction::commitRetaining() {
    act("Confirmação retendo a transação", kCommitFailed, false, [this](auto* st) { handle_->commitRetaining(st); });
    ++commits_;
}

void Transaction::rollbackRetaining() {
    ++rollbacks_;
    act("Reversão retendo a transação", kRollbackFailed, false, [this](auto* st) { handle_->rollbackRetaining(st); });
}

void Transaction::commit() {
    act("Confirmação da transação", kCommitFailed, true, [this](auto* st) { handle_->commit(st); });
    ++commits_;
}

void Transaction::rollback() {
    ++rollbacks_;
    act("Reversão da transação", kRollbackFailed, true, [this](auto* st) { handle_->rollback(st); });
}

// ---- Database ----

IMaster* Database::master() {
    return fb_get_master_interface();
}

IUtil* Database::util() {
    return master()->getUtilInterface();
}

Database::Database(ConnectionParams params, IAttachment* attachment)
    : params_(std::move(params)), attachment_(attachment), transaction_(std::make_unique<Transaction>(*this)) {}

Database::~Database() {
    transaction_.reset();
    if (attachment_) {
        try {
            detail::Status st;
            attachment_->detach(&st);
        } catch (const FbException&) {
            attachment_->release();
        }
    }
}

std::unique_ptr<Database> Database::attach(const ConnectionParams& params, bool create,
                                           const std::function<void(detail::Status&, IXpbBuilder*)>& moreDpb) {
    if (params.database.empty())
        throw DatabaseError("Nenhum banco de dados indicado: o texto de conexão está vazio");
    prepareLockFolder(params.database);
    detail::Status st;
    IProvider* provider = master()->getDispatcher();
    try {
        Dpb dpb(st);
        fillDpb(st, dpb.builder, params);
        if (moreDpb)
            moreDpb(st, dpb.builder);
        const auto length = dpb.builder->getBufferLength(&st);
        const auto* buffer = dpb.builder->getBuffer(&st);
        IAttachment* att = create ? provider->createDatabase(&st, params.database.c_str(), length, buffer)
                                  : provider->attachDatabase(&st, params.database.c_str(), length, buffer);
        provider->release();
        if (isEmbeddedPath(params.database))
            handBackLockFiles();
        return std::unique_ptr<Database>(new Database(params, att));
    } catch (const FbException& e) {
        provider->release();
        if (isEmbeddedPath(params.database))
            handBackLockFiles();
        connectionFailed(e, params, create ? "criar" : "abrir");
    }
}

std::unique_ptr<Database> Database::open(const ConnectionParams& params) {
    return attach(params, false, {});
}

std::unique_ptr<Database> Database::create(const ConnectionParams& params, const std::string& defaultCharset,
                                           int pageSize, bool forcedWrites) {
    return attach(params, true, [&](detail::Status& st, IXpbBuilder* dpb) {
        dpb->insertInt(&st, isc_dpb_sql_dialect, 3);
        dpb->insertInt(&st, isc_dpb_page_size, pageSize);
        dpb->insertString(&st, isc_dpb_set_db_charset, defaultCharset.c_str());
        dpb->insertInt(&st, isc_dpb_force_write, forcedWrites ? 1 : 0);
    });
}

void Database::drop() {
    transaction_->rollback();
    detail::Status st;
    try {
        attachment_->dropDatabase(&st);
        attachment_ = nullptr;
    } catch (const FbException& e) {
        detail::rethrow(e, "Não foi possível apagar " + describe(params_));
    }
}

namespace {

// The connection character sets whose text differs from UTF-8; NONE and OCTETS take the bytes as given.
encoding::Charset connectionCharset(const std::string& name) {
    const std::string n = formats::toUpper(formats::trim(name));
    if (n.empty() || n == "UTF8" || n == "UNICODE_FSS" || n == "NONE" || n == "OCTETS")
        return encoding::Charset::Utf8;
    if (n == "WIN1252")
        return encoding::Charset::Windows1252;
    if (n == "ISO8859_1" || n == "LATIN1")
        return encoding::Charset::Latin1;
    return encoding::Charset::Ascii;
}

} // namespace

std::string Database::statementText(const std::string& sql) const {
    try {
        return encoding::encodeText(sql, connectionCharset(params_.charset));
    } catch (const ConversionError& e) {
        throw ConversionError("Comando impossível de enviar pela conexão em " + params_.charset + ": " + e.what());
    }
}

void Database::execute(const std::string& sql) {
    detail::Status st;
    trace(TraceKind::Execute, sql);
    const std::string text = statementText(sql);
    try {
        attachment_->execute(&st, transaction_->handle(), 0, text.c_str(), 3, nullptr, nullptr, nullptr, nullptr);
    } catch (const FbException& e) {
        trace(TraceKind::Error, detail::formatStatus(e.getStatus()));
        detail::rethrow(e);
    }
}

void Database::trace(TraceKind kind, std::string_view text) const {
    if (trace_)
        trace_(TraceEvent{Timestamp::localNow(), kind, text});
}

} // namespace edi::db
