#include "core/errors.h"
#include "packet/packet_table.h"

#include <gtest/gtest.h>

namespace edi {
namespace {

PacketTable registry() {
    return PacketTable({{"NM_TABELA", FieldType::VarChar, 31}, {"NR_ORDEM", FieldType::Integer}});
}

void add(PacketTable& ds, const std::string& table, Value order) {
    ds.append();
    ds.setValue("nm_tabela", Value::text(table));
    ds.setValue(1, order);
    ds.post();
}

std::vector<std::string> tables(PacketTable& ds) {
    std::vector<std::string> names;
    for (ds.first(); !ds.eof(); ds.next())
        names.push_back(ds.value("NM_TABELA").asText());
    return names;
}

TEST(PacketTable, AppendPostAndCancel) {
    PacketTable ds = registry();
    EXPECT_TRUE(ds.eof());
    EXPECT_EQ(ds.recNo(), 0u);
    EXPECT_THROW(ds.value(0), Error);

    add(ds, "PACIENTE", Value::text("2")); // converted to the field's type
    EXPECT_EQ(ds.value("NR_ORDEM"), Value::int32(2));
    EXPECT_EQ(ds.recNo(), 1u);

    add(ds, "UNIDADE", Value::int32(1));
    ds.append();
    ds.setValue(0, Value::text("NOTIFICACAO"));
    EXPECT_TRUE(ds.value(1).isNull()); // a new record starts all null
    EXPECT_EQ(ds.value(0), Value::text("NOTIFICACAO"));
    ds.cancel();
    EXPECT_EQ(ds.recordCount(), 2u);
    EXPECT_EQ(ds.value(0), Value::text("UNIDADE")); // back on the record current before

    ds.append();
    EXPECT_THROW(ds.setValue(1, Value::text("x1")), ConversionError);
    EXPECT_THROW(ds.setValue("NO_SUCH_FIELD", Value::int32(1)), Error);
    EXPECT_THROW(ds.first(), Error); // an appended record is never dropped silently
    ds.cancel();
    ds.cancel(); // nothing pending: no effect
    EXPECT_THROW(ds.setValue(0, Value::text("x")), Error);
    EXPECT_EQ(tables(ds), (std::vector<std::string>{"PACIENTE", "UNIDADE"}));
}

TEST(PacketTable, FieldsAreFoundWithoutRegardToCase) {
    PacketTable ds = registry();
    EXPECT_EQ(ds.fieldIndex("nr_ordem"), 1);
    EXPECT_EQ(ds.fieldIndex("NM_TABELA"), 0);
    EXPECT_EQ(ds.fieldIndex("DT_EXP"), -1);
    EXPECT_THROW(PacketTable({{"CD", FieldType::Integer}, {"cd", FieldType::Integer}}), Error);
    EXPECT_THROW(PacketTable({{"", FieldType::Integer}}), Error);
}

TEST(PacketTable, SortIsStableAscendingWithNullsFirst) {
    PacketTable ds = registry();
    add(ds, "C", Value::int32(3));
    add(ds, "B1", Value::int32(2));
    add(ds, "N1", Value());
    add(ds, "A", Value::int32(-1));
    add(ds, "B2", Value::int32(2));
    add(ds, "N2", Value());
    ds.sortBy("nr_ordem");
    EXPECT_EQ(ds.recNo(), 1u);
    EXPECT_EQ(tables(ds), (std::vector<std::string>{"N1", "N2", "A", "B1", "B2", "C"}));
    ds.sortBy("NM_TABELA");
    EXPECT_EQ(tables(ds), (std::vector<std::string>{"A", "B1", "B2", "C", "N1", "N2"}));
    EXPECT_THROW(ds.sortBy("NO_SUCH_FIELD"), Error);

    PacketTable amounts({{"VL", FieldType::Numeric, 18, 2}, {"DT", FieldType::Timestamp}});
    for (const char* v : {"10,5", "-3", "2,25"}) {
        amounts.append();
        amounts.setValue(0, Value::text(v));
        amounts.post();
    }
    amounts.sortBy("VL");
    std::vector<std::string> order;
    for (amounts.first(); !amounts.eof(); amounts.next())
        order.push_back(amounts.value(0).asText());
    EXPECT_EQ(order, (std::vector<std::string>{"-3", "2,25", "10,5"}));
}

TEST(PacketTable, CloseDropsTheRecordsAndClearTheFieldsToo) {
    PacketTable ds = registry();
    add(ds, "A", Value::int32(1));
    ds.close();
    EXPECT_EQ(ds.recordCount(), 0u);
    EXPECT_TRUE(ds.eof());
    EXPECT_EQ(ds.fieldCount(), 2u);
    add(ds, "B", Value::int32(2)); // usable again after close
    EXPECT_EQ(tables(ds), (std::vector<std::string>{"B"}));
    ds.clear();
    EXPECT_EQ(ds.fieldCount(), 0u);
    EXPECT_EQ(ds.recordCount(), 0u);
}

TEST(PacketTable, ManyRecordsOfMixedSizesKeepTheirValues) {
    // Records larger than a storage block and many small ones interleaved.
    PacketTable ds({{"CD", FieldType::Integer}, {"BL", FieldType::BinaryBlob}});
    for (int i = 0; i < 3000; ++i) {
        ds.append();
        ds.setValue(0, Value::int32(i));
        ds.setValue(1,
                    Value::blob(Bytes(static_cast<size_t>(i % 7 == 0 ? 70000 + i : i % 50), static_cast<uint8_t>(i))));
        ds.post();
    }
    int i = 0;
    for (ds.first(); !ds.eof(); ds.next(), ++i) {
        ASSERT_EQ(ds.value(0).asInt32(), i);
        const Bytes& b = ds.value(1).rawBytes();
        ASSERT_EQ(b.size(), static_cast<size_t>(i % 7 == 0 ? 70000 + i : i % 50));
        ASSERT_TRUE(b.empty() || (b.front() == static_cast<uint8_t>(i) && b.back() == static_cast<uint8_t>(i)));
    }
    EXPECT_EQ(i, 3000);
}

} // namespace
} // namespace edi
