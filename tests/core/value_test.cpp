#include "core/errors.h"
#include "core/formats.h"
#include "core/value.h"

#include <gtest/gtest.h>

namespace edi {
namespace {

TEST(Numeric, ParsesBothDecimalPointsExactlyAndRefusesLostDigits) {
    EXPECT_EQ(Numeric::parse("1234.56", 4).units, 12345600);
    EXPECT_EQ(Numeric::parse("-0,5", 2).units, -50);
    EXPECT_EQ(Numeric::parse("922337203685477.5807", 4).units, INT64_C(9223372036854775807));
    EXPECT_EQ(Numeric::parse("1.2300", 2).units, 123); // trailing zeros beyond the scale are harmless
    EXPECT_THROW(Numeric::parse("1.234", 2), ConversionError);
    EXPECT_THROW(Numeric::parse("12a", 0), ConversionError);
    EXPECT_THROW(Numeric::parse("", 0), ConversionError);
    EXPECT_THROW(Numeric::parse("99999999999999999999", 0), ConversionError);
    EXPECT_EQ((Numeric{-5, 4}.toString()), "-0.0005");
    EXPECT_EQ((Numeric{INT64_MIN, 0}.toString()), "-9223372036854775808");
}

TEST(Value, TextFollowsProcessFormats) {
    EXPECT_EQ(Value::numeric({12345600, 4}).asText(), "1234,56");
    EXPECT_EQ(Value::numeric({100, 2}).asText(), "1");
    EXPECT_EQ(Value::real(0.1).asText(), "0,1");
    EXPECT_EQ(Value::date(Date::fromYmd(2010, 12, 31)).asText(), "31/12/2010");
    EXPECT_EQ(Value::timestamp(Timestamp::fromParts(2010, 12, 31, 23, 5, 9)).asText(), "31/12/2010 23:05:09");
    EXPECT_EQ(Value::timestamp(Timestamp::fromParts(2010, 12, 31)).asText(), "31/12/2010");
    EXPECT_EQ(Value::null().asText(), "");
    EXPECT_EQ(formats::formatThousands(2096633), "2.096.633");
    EXPECT_EQ(formats::formatThousands(633), "633");
    // "0.00" patterns: fixed decimals, a half rounded away from zero, no "-0,00".
    EXPECT_EQ(formats::formatFixed(25, 2), "25,00");
    EXPECT_EQ(formats::formatFixed(0.125, 2), "0,13");
    EXPECT_EQ(formats::formatFixed(200.0 / 3, 2), "66,67");
    EXPECT_EQ(formats::formatFixed(-0.001, 2), "0,00");
}

TEST(Value, ConvertsForColumnsAndRefusesWhatDoesNotFit) {
    FieldDef integer{"CD", FieldType::Integer};
    EXPECT_EQ(convertForField(Value::text("12"), integer), Value::int32(12));
    EXPECT_THROW(convertForField(Value::text("-999x"), integer), ConversionError);
    EXPECT_THROW(convertForField(Value::int64(INT64_C(1) << 40), integer), ConversionError);
    FieldDef big{"CD", FieldType::BigInt};
    EXPECT_EQ(convertForField(Value::text("9007199254740993"), big).rawInt(), INT64_C(9007199254740993));
    FieldDef num{"VL", FieldType::Numeric, 18, 4};
    EXPECT_EQ(convertForField(Value::text("1.5"), num), Value::numeric({15000, 4}));
    FieldDef ts{"DT", FieldType::Timestamp};
    EXPECT_EQ(convertForField(Value::text("04/03/2011 17:20:05"), ts),
              Value::timestamp(Timestamp::fromParts(2011, 3, 4, 17, 20, 5)));
    EXPECT_EQ(convertForField(Value::boolean(true), integer), Value::int32(1));
    EXPECT_TRUE(convertForField(Value::null(), integer).isNull());
}

TEST(DateTime, FormatsThePatternsTheProductUses) {
    const auto ts = Timestamp::fromParts(2010, 12, 31, 23, 5, 9, 42);
    EXPECT_EQ(formatDateTime("ddmmyyhhnnss", ts), "311210230509");
    EXPECT_EQ(formatDateTime("hh:n:ss", ts), "23:5:09");
    EXPECT_EQ(formatDateTime("hhnss", ts), "23509");
    EXPECT_EQ(formatDateTime("yyyy-mm-dd hh:nn:ss", ts), "2010-12-31 23:05:09");
    EXPECT_EQ(formatDateTime("ddmmyy", ts), "311210");
    EXPECT_EQ(formatDateTime("hh:mm:ss.zzz", ts), "23:05:09.042");
    const auto early = Timestamp::fromParts(1601, 1, 1);
    int y = 0, m = 0, d = 0;
    early.date.toYmd(y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 16010101);
    EXPECT_THROW(Date::fromYmd(2011, 2, 29), ConversionError);
    EXPECT_EQ(formats::parseTimestamp("2024-03-15T14:30:05")->time, Time::fromHms(14, 30, 5));
    EXPECT_FALSE(formats::parseTimestamp("31/02/2024").has_value());
}

} // namespace
} // namespace edi
