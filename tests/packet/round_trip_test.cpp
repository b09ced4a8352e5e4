#include "core/errors.h"
#include "packet/packet_table.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

namespace edi {
namespace {

std::vector<FieldDef> everyType() {
    return {
        {"CD_SMALL", FieldType::SmallInt, 0, 0, true},
        {"CD_INT", FieldType::Integer},
        {"CD_BIG", FieldType::BigInt},
        {"VL_DOUBLE", FieldType::Double},
        {"VL_NUM", FieldType::Numeric, 18, 4},
        {"DT_DATE", FieldType::Date},
        {"HR_TIME", FieldType::Time},
        {"DT_STAMP", FieldType::Timestamp},
        {"TP_CHAR", FieldType::Char, 5},
        {"NM_TEXT", FieldType::VarChar, 120},
        {"TX_MEMO", FieldType::TextBlob},
        {"BL_DATA", FieldType::BinaryBlob},
        {"FL_BOOL", FieldType::Boolean},
    };
}

Bytes allByteValues() {
    Bytes b;
    for (int i = 0; i < 256; ++i)
        b.push_back(static_cast<uint8_t>(255 - i));
    return b;
}

using Row = std::vector<Value>;

std::vector<Row> edgeRows() {
    const std::string portuguese = "Jo\xC3\xA3o Concei\xC3\xA7\xC3\xA3o, A\xC3\xA7\xC3\xBA"
                                   "car & \"<>'"
                                   " \xE2\x82\xAC \xF0\x9F\x98\x80";
    return {
        {Value::int16(INT16_MIN), Value::int32(INT32_MIN), Value::int64(INT64_MIN), Value::real(-0.1),
         Value::numeric({INT64_MIN, 4}), Value::date(Date::fromYmd(1850, 1, 1)), Value::time(Time::fromHms(0, 0, 0)),
         Value::timestamp(Timestamp::fromParts(1899, 12, 30, 0, 0, 0, 1)), Value::text("AB   "),
         Value::text(portuguese), Value::text("Linha 1\r\nLinha 2\tfim\n"), Value::blob(allByteValues()),
         Value::boolean(true)},
        {Value::int16(INT16_MAX), Value::int32(INT32_MAX), Value::int64(INT64_MAX), Value::real(DBL_MAX),
         Value::numeric({INT64_MAX, 4}), Value::date(Date::fromYmd(9999, 12, 31)),
         Value::time(Time::fromHms(23, 59, 59, 999)),
         Value::timestamp(Timestamp::fromParts(2024, 2, 29, 23, 59, 59, 999)), Value::text(" X   "),
         Value::text("  leading and trailing  "), Value::text("\xC3\xA9"), Value::blob(Bytes{0}),
         Value::boolean(false)},
        // 2^53 + 1 does not survive a double.
        {Value::int16(0), Value::int32(0), Value::int64(9007199254740993LL), Value::real(0.1 + 0.2),
         Value::numeric({-1, 4}), Value::date(Date::fromYmd(1, 1, 1)), Value::time(Time::fromHms(12, 0, 0, 5)),
         Value::timestamp(Timestamp::fromParts(1, 1, 1, 0, 0, 0, 0)), Value::text("     "), Value::text(""),
         Value::text(""), Value::blob(Bytes{}), Value()},
        // Every field null but the required one.
        {Value::int16(1), Value(), Value(), Value(), Value(), Value(), Value(), Value(), Value(), Value(), Value(),
         Value(), Value()},
        {Value::int16(-1), Value::int32(-1), Value::int64(-9007199254740993LL), Value::real(5e-324),
         Value::numeric({999999999999999999LL, 4}), Value::date(Date::fromYmd(1899, 12, 31)), Value(),
         Value::timestamp(Timestamp::fromParts(1752, 9, 14, 1, 2, 3, 40)), Value::text("\"'&"), Value::text("<&>"),
         Value::text("&amp; is not decoded twice"), Value(), Value::boolean(true)},
    };
}

PacketTable filled() {
    PacketTable ds(everyType());
    for (const Row& row : edgeRows()) {
        ds.append();
        for (size_t i = 0; i < row.size(); ++i)
            ds.setValue(i, row[i]);
        ds.post();
    }
    return ds;
}

void expectSameTable(PacketTable& loaded) {
    const auto expectedFields = everyType();
    ASSERT_EQ(loaded.fieldCount(), expectedFields.size());
    for (size_t i = 0; i < expectedFields.size(); ++i) {
        SCOPED_TRACE(expectedFields[i].name);
        EXPECT_EQ(loaded.field(i).name, expectedFields[i].name);
        EXPECT_EQ(loaded.field(i).type, expectedFields[i].type);
        EXPECT_EQ(loaded.field(i).size, expectedFields[i].size);
        EXPECT_EQ(loaded.field(i).scale, expectedFields[i].scale);
        EXPECT_EQ(loaded.field(i).required, expectedFields[i].required);
    }
    const auto rows = edgeRows();
    ASSERT_EQ(loaded.recordCount(), rows.size());
    size_t r = 0;
    for (loaded.first(); !loaded.eof(); loaded.next(), ++r) {
        EXPECT_EQ(loaded.recNo(), r + 1);
        for (size_t i = 0; i < rows[r].size(); ++i)
            EXPECT_EQ(loaded.value(i), rows[r][i]) << "row " << r + 1 << ", field " << expectedFields[i].name;
    }
}

TEST(PacketRoundTrip, EveryTypeKeepsItsEdgeValuesThroughAString) {
    PacketTable loaded = PacketTable::loadFromString(filled().saveToString());
    expectSameTable(loaded);
}

TEST(PacketRoundTrip, EveryTypeKeepsItsEdgeValuesThroughAFile) {
    test::TempDir dir;
    filled().saveToFile(dir / "TABELA.xml");
    PacketTable loaded = PacketTable::loadFromFile(dir / "TABELA.xml");
    expectSameTable(loaded);
    // Saved again, the loaded table gives the same values once more.
    loaded.saveToFile(dir / "again.xml");
    PacketTable again = PacketTable::loadFromFile(dir / "again.xml");
    expectSameTable(again);
}

TEST(PacketRoundTrip, NumbersAreWrittenExactlyWithAPoint) {
    PacketTable ds({{"VL", FieldType::Double}, {"NR", FieldType::Numeric, 18, 4}, {"CD", FieldType::BigInt}});
    ds.append();
    ds.setValue(0, Value::real(0.1 + 0.2));
    ds.setValue(1, Value::text("1234,56")); // process format in, packet format out
    ds.setValue(2, Value::int64(9007199254740993LL));
    ds.post();
    const std::string xml = ds.saveToString();
    EXPECT_NE(xml.find("VL=\"0.30000000000000004\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("NR=\"1234.5600\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("CD=\"9007199254740993\""), std::string::npos) << xml;

    // Never in exponent form, and still the shortest text that reads back to the same double.
    for (const double v : {1e-7, -2.5e-10, 1.5e21, 1e300, 5e-324, 123456789012345680.0}) {
        PacketTable real({{"VL", FieldType::Double}});
        real.append();
        real.setValue(0, Value::real(v));
        real.post();
        const std::string text = real.saveToString();
        const size_t at = text.find("VL=\"") + 4;
        const std::string written = text.substr(at, text.find('"', at) - at);
        EXPECT_EQ(written.find_first_not_of("-0123456789."), std::string::npos) << written;
        EXPECT_EQ(PacketTable::loadFromString(text).value(0).asDouble(), v) << written;
    }
}

TEST(PacketRoundTrip, EmptyTableKeepsItsFields) {
    PacketTable ds(everyType());
    PacketTable loaded = PacketTable::loadFromString(ds.saveToString());
    EXPECT_EQ(loaded.recordCount(), 0u);
    EXPECT_TRUE(loaded.eof());
    EXPECT_EQ(loaded.fieldCount(), everyType().size());
}

TEST(PacketRoundTrip, ValuesThePacketCannotCarryAreRefusedNamingTheField) {
    PacketTable ds({{"CD", FieldType::Integer}, {"VL", FieldType::Double}});
    ds.setName("TABELA");
    ds.append();
    ds.setValue(0, Value::int32(1));
    ds.post();
    ds.append();
    ds.setValue(1, Value::real(std::numeric_limits<double>::infinity()));
    ds.post();
    try {
        ds.saveToString();
        FAIL() << "an infinite value was written";
    } catch (const PacketError& e) {
        EXPECT_NE(std::string(e.what()).find("TABELA: registro 2, campo VL"), std::string::npos) << e.what();
    }
}

} // namespace
} // namespace edi
