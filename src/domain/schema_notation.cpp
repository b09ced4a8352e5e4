#include "domain/schema_notation.h"

#include "core/errors.h"
#include "core/formats.h"

#include <cctype>
#include <optional>

namespace edi::domain {

namespace {

constexpr int kDefaultTextSize = 20;

[[noreturn]] void bad(std::string_view item, const std::string& why) {
    throw Error("Notação de coluna \"" + std::string(item) + "\": " + why);
}

// Splits at commas outside parentheses, so "numeric(18,4)" stays whole.
std::vector<std::string> splitItems(std::string_view text) {
    std::vector<std::string> items;
    std::string current;
    int depth = 0;
    for (char c : text) {
        if (c == '(')
            ++depth;
        else if (c == ')')
            --depth;
        if (c == ',' && depth == 0) {
            items.push_back(formats::trim(current));
            current.clear();
        } else {
            current += c;
        }
    }
    if (!formats::isBlank(current) || !items.empty())
        items.push_back(formats::trim(current));
    return items;
}

int parseNumber(std::string_view text, std::string_view item) {
    const auto n = formats::parseInteger(formats::trim(text));
    if (!n || *n <= 0 || *n > 32767)
        bad(item, "tamanho inválido \"" + std::string(text) + "\"");
    return static_cast<int>(*n);
}

// The type part: a name and up to two numbers in parentheses.
void parseType(std::string_view type, std::string_view item, Column& column) {
    const size_t open = type.find('(');
    const std::string base(type.substr(0, open));
    std::vector<int> args;
    if (open != std::string_view::npos) {
        if (type.back() != ')')
            bad(item, "parêntese não fechado");
        const std::string_view inner = type.substr(open + 1, type.size() - open - 2);
        const size_t comma = inner.find(',');
        args.push_back(parseNumber(inner.substr(0, comma), item));
        if (comma != std::string_view::npos)
            args.push_back(parseNumber(inner.substr(comma + 1), item));
    }
    struct Plain {
        const char* name;
        FieldType type;
    };
    static const Plain plain[] = {{"integer", FieldType::Integer}, {"smallint", FieldType::SmallInt},
                                  {"bigint", FieldType::BigInt},   {"date", FieldType::Date},
                                  {"time", FieldType::Time},       {"timestamp", FieldType::Timestamp},
                                  {"blob", FieldType::BinaryBlob}};
    for (const auto& p : plain) {
        if (base == p.name) {
            if (!args.empty())
                bad(item, base + " não leva tamanho");
            column.type = p.type;
            return;
        }
    }
    if (base == "char" || base == "varchar") {
        if (args.size() > 1)
            bad(item, base + " leva um tamanho");
        column.type = base == "char" ? FieldType::Char : FieldType::VarChar;
        column.size = args.empty() ? kDefaultTextSize : args[0];
        return;
    }
    if (base == "numeric") {
        if (args.size() != 2 || args[1] > args[0] || args[0] > 18)
            bad(item, "numeric precisa de (precisão,escala) com escala <= precisão <= 18");
        column.type = FieldType::Numeric;
        column.size = args[0];
        column.scale = args[1];
        return;
    }
    bad(item, "tipo desconhecido \"" + base + "\"");
}

bool isNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

void checkName(std::string_view name, std::string_view item) {
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0])))
        bad(item, "nome inválido");
    for (char c : name)
        if (!isNameChar(c))
            bad(item, "nome inválido");
}

// "PREFIX3..5" -> PREFIX3, PREFIX4, PREFIX5; a plain name -> itself.
std::vector<std::string> expandNames(std::string_view notation, std::string_view item) {
    const size_t dots = notation.find("..");
    if (dots == std::string_view::npos) {
        checkName(notation, item);
        return {std::string(notation)};
    }
    const std::string_view first = notation.substr(0, dots);
    size_t digits = first.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(first[digits - 1])))
        --digits;
    if (digits == first.size())
        bad(item, "um intervalo precisa de um número antes de \"..\"");
    const std::string prefix(first.substr(0, digits));
    const int from = parseNumber(first.substr(digits), item);
    const int to = parseNumber(notation.substr(dots + 2), item);
    if (to <= from)
        bad(item, "intervalo vazio");
    std::vector<std::string> names;
    for (int i = from; i <= to; ++i) {
        names.push_back(prefix + std::to_string(i));
        checkName(names.back(), item);
    }
    return names;
}

} // namespace

std::vector<Column> parseColumns(std::string_view notation) {
    std::vector<Column> columns;
    for (const std::string& item : splitItems(notation)) {
        std::string_view rest = item;
        const size_t blank = rest.find(' ');
        if (blank == std::string_view::npos)
            bad(item, "uma coluna precisa de nome e tipo");
        const std::string_view names = rest.substr(0, blank);
        std::string type = formats::trim(rest.substr(blank + 1));
        Column column;
        if (!type.empty() && type.back() == '!') {
            column.required = true;
            type.pop_back();
        }
        parseType(type, item, column);
        for (std::string& name : expandNames(names, item)) {
            column.name = std::move(name);
            columns.push_back(column);
        }
    }
    return columns;
}

std::vector<std::string> parseNameList(std::string_view list) {
    std::vector<std::string> names;
    for (std::string& item : splitItems(list)) {
        checkName(item, list);
        names.push_back(std::move(item));
    }
    return names;
}

std::vector<GeneratorUse> parseGeneratorUses(std::string_view list) {
    std::vector<GeneratorUse> uses;
    for (const std::string& item : splitItems(list)) {
        const size_t colon = item.find(':');
        if (colon == std::string::npos)
            bad(item, "o uso de um gerador escreve-se GERADOR:COLUNA");
        GeneratorUse use{item.substr(0, colon), item.substr(colon + 1)};
        checkName(use.generator, item);
        checkName(use.column, item);
        uses.push_back(std::move(use));
    }
    return uses;
}

} // namespace edi::domain
