#include "interchange/row_writer.h"

#include "app/session.h"
#include "core/errors.h"
#include "core/formats.h"
#include "db/dataset.h"
#include "db/query.h"

namespace edi {

namespace {

const char* kConsultaChaves = "select rdb$field_name NM_CAMPO\n"
                              "from rdb$relation_constraints c,\n"
                              "     rdb$index_segments i\n"
                              "where c.rdb$relation_name = :NM_TABELA\n"
                              "and c.rdb$constraint_type='PRIMARY KEY'\n"
                              "and c.rdb$index_name = i.rdb$index_name";

// Statement texts keep their lines; the engine takes "\r" as white space like any other.
constexpr char CR = '\r';

} // namespace

ComandosTabela MontaComandos(TDM& dm, const std::string& T) {
    return MontaComandos(dm.DB(), T);
}

ComandosTabela MontaComandos(db::Database& db, const std::string& T) {
    try {
        ComandosTabela c;
        {
            db::Query qyCampos(db, kConsultaChaves);
            qyCampos.setParam("NM_TABELA", Value::text(T));
            for (qyCampos.open(); !qyCampos.eof(); qyCampos.next())
                c.chaves.push_back(formats::trim(qyCampos.value(0).asText()));
        }
        if (c.chaves.empty())
            throw Error("Campo Chave nao definido!");

        c.select = "SELECT * FROM " + T + " where 1=2";
        db::Query estrutura(db, c.select);
        for (const auto& f : estrutura.fields())
            c.colunas.push_back(f.name);

        std::string colunas, valores, atribuicoes, condicao;
        for (size_t i = 0; i < c.colunas.size(); ++i) {
            const std::string& C = c.colunas[i];
            colunas += C;
            valores += ":" + C;
            atribuicoes += C + " = :" + C;
            if (i + 1 != c.colunas.size()) {
                colunas += ",";
                valores += ",";
                atribuicoes += std::string(",") + CR;
            }
        }
        for (size_t i = 0; i < c.chaves.size(); ++i) {
            condicao += c.chaves[i] + " = :OLD_" + c.chaves[i];
            if (i + 1 != c.chaves.size())
                condicao += std::string(1, CR) + "and ";
        }
        c.insert = "INSERT INTO " + T + "(" + colunas + ") VALUES(" + valores + ")";
        c.modify = "UPDATE " + T + " set " + atribuicoes + " where " + condicao;
        c.del = "DELETE FROM " + T + " where " + condicao;
        return c;
    } catch (const std::exception& e) {
        throw Error("Erro:" + T + CR + e.what());
    }
}

ComandosTabela MontaDataSet(TDM& dm, const std::string& nmTabela, db::Dataset& ibds) {
    ComandosTabela c = MontaComandos(dm, nmTabela);
    ibds.close();
    ibds.setSelectSql(c.select);
    ibds.setInsertSql(c.insert);
    ibds.setModifySql(c.modify);
    ibds.setDeleteSql(c.del);
    return c;
}

std::optional<Value> CopiaValor(const FieldDef& de, const Value& valor) {
    if (valor.isNull())
        return std::nullopt;
    switch (de.type) {
    case FieldType::Char:
    case FieldType::VarChar: return Value::text(valor.asText());
    case FieldType::SmallInt:
    case FieldType::Integer: return Value::int32(valor.asInt32());
    case FieldType::BigInt: return Value::text(valor.asText()); // exact beyond a double's range
    case FieldType::Boolean: return Value::int32(valor.asBool() ? 1 : 0);
    case FieldType::Double: return Value::real(valor.asDouble());
    case FieldType::Date:
    case FieldType::Timestamp: return Value::timestamp(valor.asTimestamp());
    case FieldType::Numeric: // numerics, times and blobs travel as they are
    case FieldType::Time:
    case FieldType::TextBlob:
    case FieldType::BinaryBlob: break;
    }
    return valor;
}

} // namespace edi
