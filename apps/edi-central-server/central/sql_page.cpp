#include "central/sql_page.h"

#include "core/encoding.h"
#include "core/errors.h"
#include "db/query.h"

namespace edi::central {

namespace {

std::string page(const std::string& body) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>SQL</title></head><body>\n" + body +
           "</body></html>\n";
}

std::string paragraph(std::string_view text, std::string_view cssClass = {}) {
    std::string html = cssClass.empty() ? "<p>" : "<p class=\"" + std::string(cssClass) + "\">";
    return html + htmlEscape(text) + "</p>\n";
}

std::string cellText(const Value& value, const FieldDef& field) {
    if (field.type == FieldType::BinaryBlob && !value.isNull())
        return "(binary, " + std::to_string(value.asBytes().size()) + " bytes)";
    return encoding::textToUtf8(value.asText());
}

std::string resultTable(db::Query& query, std::size_t maxRows, std::size_t& rows, bool& truncated) {
    const auto& fields = query.fields();
    std::string html = "<table border=\"1\">\n<tr>";
    for (const FieldDef& f : fields)
        html += "<th>" + htmlEscape(f.name) + "</th>";
    html += "</tr>\n";
    rows = 0;
    truncated = false;
    for (; !query.eof(); query.next()) {
        if (rows == maxRows) {
            truncated = true;
            break;
        }
        html += "<tr>";
        for (std::size_t i = 0; i < fields.size(); ++i)
            html += "<td>" + htmlEscape(cellText(query.value(i), fields[i])) + "</td>";
        html += "</tr>\n";
        ++rows;
    }
    return html + "</table>\n";
}

} // namespace

std::string htmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

SqlConsole::SqlConsole(std::optional<db::ConnectionParams> database, std::size_t maxRows)
    : database_(std::move(database)), maxRows_(maxRows) {}

std::string SqlConsole::run(Operation operation, const std::string& sql) const {
    std::string body = "<pre>" + htmlEscape(encoding::textToUtf8(sql)) + "</pre>\n";
    if (!database_)
        return page(
            body +
            paragraph("Nenhum banco de dados está configurado neste servidor: o comando não foi executado.", "error"));
    if (sql.find_first_not_of(" \t\r\n") == std::string::npos)
        return page(body + paragraph("O comando está vazio.", "error"));
    try {
        return page(body + runOnDatabase(operation, sql));
    } catch (const std::exception& e) {
        return page(body +
                    paragraph(std::string("Erro ao executar o comando: ") + encoding::textToUtf8(e.what()), "error"));
    }
}

std::string SqlConsole::runOnDatabase(Operation operation, const std::string& sql) const {
    // On any error the query and then the attachment are destroyed, which rolls the transaction back.
    const auto database = db::Database::open(*database_);
    db::Query query(*database, sql);
    query.open();
    if (operation == Operation::Change) {
        const auto affected = query.rowsAffected();
        query.close();
        database->transaction().commit();
        return paragraph(std::to_string(affected) + (affected == 1 ? " registro afetado." : " registros afetados."));
    }
    std::size_t rows = 0;
    bool truncated = false;
    std::string html = resultTable(query, maxRows_, rows, truncated);
    html += paragraph(truncated ? "Primeiros " + std::to_string(rows) + " registros mostrados."
                                : std::to_string(rows) + (rows == 1 ? " registro." : " registros."));
    query.close();
    database->transaction().rollback();
    return html;
}

} // namespace edi::central
