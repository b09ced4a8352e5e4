#include "core/errors.h"
#include "core/files.h"
#include "packet/packet_table.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace edi {
namespace {

namespace fs = std::filesystem;

PacketTable patients() {
    return PacketTable({{"CD_PACIENTE", FieldType::Integer, 0, 0, true},
                        {"NM_PACIENTE", FieldType::VarChar, 50},
                        {"TP_SEXO", FieldType::Char, 1},
                        {"NR_CD4", FieldType::Numeric, 18, 4},
                        {"DT_OBITO", FieldType::Timestamp},
                        {"DS_OBS", FieldType::TextBlob}});
}

void addPatient(PacketTable& ds, int code, const std::string& name) {
    ds.append();
    ds.setValue("CD_PACIENTE", Value::int32(code));
    ds.setValue("NM_PACIENTE", Value::text(name));
    ds.post();
}

std::string messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const PacketError& e) {
        return e.what();
    }
    return "<no error>";
}

TEST(PacketWriter, WritesThePlainVariantExactly) {
    PacketTable ds = patients();
    ds.append();
    ds.setValue("CD_PACIENTE", Value::int32(1));
    ds.setValue("NM_PACIENTE", Value::text("Jo\xC3\xA3o & Filhos"));
    ds.setValue("TP_SEXO", Value::text("M"));
    ds.setValue("NR_CD4", Value::text("1234,56"));
    ds.setValue("DT_OBITO", Value::timestamp(Timestamp::fromParts(2024, 3, 15, 14, 30, 5, 123)));
    ds.setValue("DS_OBS", Value::text("Linha 1\r\nLinha 2"));
    ds.post();
    addPatient(ds, 2, "");
    EXPECT_EQ(ds.saveToString(),
              "<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
              "<FIELD attrname=\"CD_PACIENTE\" fieldtype=\"i4\" required=\"true\"/>"
              "<FIELD attrname=\"NM_PACIENTE\" fieldtype=\"string\" WIDTH=\"50\"/>"
              "<FIELD attrname=\"TP_SEXO\" fieldtype=\"string\" SUBTYPE=\"FixedChar\" WIDTH=\"1\"/>"
              "<FIELD attrname=\"NR_CD4\" fieldtype=\"fixed\" DECIMALS=\"4\" WIDTH=\"18\"/>"
              "<FIELD attrname=\"DT_OBITO\" fieldtype=\"dateTime\"/>"
              "<FIELD attrname=\"DS_OBS\" fieldtype=\"bin.hex\" SUBTYPE=\"Text\"/>"
              "</FIELDS><PARAMS CHANGE_LOG=\"1 0 4 2 0 4\"/></METADATA><ROWDATA>"
              "<ROW RowState=\"4\" CD_PACIENTE=\"1\" NM_PACIENTE=\"Jo&#227;o &amp; Filhos\" TP_SEXO=\"M\""
              " NR_CD4=\"1234.5600\" DT_OBITO=\"20240315T14:30:05123\" DS_OBS=\"TGluaGEgMQ0KTGluaGEgMg==\"/>"
              "<ROW RowState=\"4\" CD_PACIENTE=\"2\" NM_PACIENTE=\"\"/>"
              "</ROWDATA></DATAPACKET>");
}

TEST(PacketWriter, OutputIsPureAscii) {
    PacketTable ds = patients();
    addPatient(ds, 1, "Concei\xC3\xA7\xC3\xA3o \xE2\x82\xAC \xF0\x9F\x98\x80 \"a\" <b> 'c'\r\n\t\x7F");
    const std::string xml = ds.saveToString();
    for (char c : xml)
        ASSERT_TRUE(static_cast<unsigned char>(c) < 0x80 && (static_cast<unsigned char>(c) >= 0x20)) << xml;
    EXPECT_NE(xml.find("NM_PACIENTE=\"Concei&#231;&#227;o &#8364; &#128512; &quot;a&quot; &lt;b&gt; &apos;c&apos;"
                       "&#13;&#10;&#9;\x7F\""),
              std::string::npos)
        << xml;
}

TEST(PacketWriter, RefusesTextNoReaderCouldLoadNamingTableRowAndField) {
    PacketTable ds = patients();
    ds.setName("PACIENTE");
    addPatient(ds, 1, "ok");
    addPatient(ds, 2, std::string("bell\x07"));
    EXPECT_EQ(messageOf([&] { ds.saveToString(); }),
              "Não foi possível gravar PACIENTE: registro 2, campo NM_PACIENTE: o caractere de controle U+0007 não "
              "pode ser gravado num pacote de dados");

    PacketTable bad = patients();
    addPatient(bad, 1, "Jo\xE3o"); // Latin-1 bytes where UTF-8 was due
    EXPECT_NE(messageOf([&] { bad.saveToString(); }).find("registro 1, campo NM_PACIENTE: o texto não é UTF-8 válido"),
              std::string::npos);
}

TEST(PacketWriter, AnExistingFileIsOnlyReplacedByACompleteOne) {
    test::TempDir dir;
    const fs::path file = dir / "PACIENTE12311210230509.xml";
    PacketTable good = patients();
    addPatient(good, 1, "first");
    good.saveToFile(file);
    const std::string before = readFile(file);

    // Enough rows that the writer has streamed part of the file when the bad value comes.
    PacketTable failing = patients();
    for (int i = 0; i < 5000; ++i)
        addPatient(failing, i, std::string(40, 'x'));
    addPatient(failing, 5001, "nul\x01");
    const std::string message = messageOf([&] { failing.saveToFile(file); });
    EXPECT_NE(message.find("PACIENTE12311210230509.xml: registro 5001, campo NM_PACIENTE"), std::string::npos)
        << message;
    EXPECT_EQ(readFile(file), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1) << "temporary left";

    PacketTable second = patients();
    addPatient(second, 2, "second");
    second.saveToFile(file);
    PacketTable loaded = PacketTable::loadFromFile(file);
    EXPECT_EQ(loaded.value("NM_PACIENTE"), Value::text("second"));
}

TEST(PacketWriter, SavingIntoAMissingFolderIsAnIoError) {
    test::TempDir dir;
    EXPECT_THROW(patients().saveToFile(dir / "no" / "such" / "x.xml"), IoError);
}

TEST(PacketWriter, NamesThatCannotBeAttributesKeepTheirRealName) {
    PacketTable ds({{"NR ORDEM", FieldType::Integer},
                    {"NR_ORDEM", FieldType::Integer},
                    {"A\xC3\x87\xC3\x83O", FieldType::VarChar, 10},
                    {"RowState", FieldType::Integer},
                    {"1ST", FieldType::Integer}});
    ds.append();
    for (size_t i = 0; i < ds.fieldCount(); ++i)
        ds.setValue(i, Value::int32(static_cast<int32_t>(i + 1)));
    ds.post();
    const std::string xml = ds.saveToString();
    EXPECT_NE(xml.find("<FIELD fieldname=\"NR ORDEM\" attrname=\"NR_ORDEM_2\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("<FIELD fieldname=\"A&#199;&#195;O\" attrname=\"A____O\""), std::string::npos) << xml;

    PacketTable loaded = PacketTable::loadFromString(xml);
    ASSERT_EQ(loaded.fieldCount(), ds.fieldCount());
    for (size_t i = 0; i < ds.fieldCount(); ++i) {
        EXPECT_EQ(loaded.field(i).name, ds.field(i).name);
        EXPECT_EQ(loaded.value(i).asText(), std::to_string(i + 1)) << ds.field(i).name;
    }
}

TEST(PacketWriter, LoadedRowsAreWrittenMergedAndAppendedOnesAsInserted) {
    PacketTable ds = patients();
    addPatient(ds, 1, "a");
    PacketTable loaded = PacketTable::loadFromString(ds.saveToString());
    addPatient(loaded, 2, "b");
    const std::string xml = loaded.saveToString();
    EXPECT_NE(xml.find("<PARAMS CHANGE_LOG=\"2 0 4\"/>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<ROW CD_PACIENTE=\"1\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("<ROW RowState=\"4\" CD_PACIENTE=\"2\""), std::string::npos) << xml;
}

// Every value form with its edges, escapes at the ends of a text, plain runs between them, nulls and empty texts:
// these are the bytes peers read.
TEST(PacketWriter, EveryValueFormIsWrittenExactly) {
    PacketTable ds({{"SI", FieldType::SmallInt},
                    {"IN", FieldType::Integer},
                    {"BI", FieldType::BigInt},
                    {"RE", FieldType::Double},
                    {"N4", FieldType::Numeric, 18, 4},
                    {"N0", FieldType::Numeric, 18, 0},
                    {"DT", FieldType::Date},
                    {"HR", FieldType::Time},
                    {"TS", FieldType::Timestamp},
                    {"TX", FieldType::VarChar, 60},
                    {"MM", FieldType::TextBlob},
                    {"BL", FieldType::BinaryBlob},
                    {"FL", FieldType::Boolean}});
    const std::vector<std::vector<Value>> rows = {
        {Value::int16(INT16_MIN), Value::int32(INT32_MIN), Value::int64(INT64_MIN), Value::real(-0.1),
         Value::numeric({INT64_MIN, 4}), Value::numeric({INT64_MIN, 0}), Value::date(Date::fromYmd(1, 1, 1)),
         Value::time(Time::fromHms(0, 0, 0)), Value::timestamp(Timestamp::fromParts(1, 1, 1, 0, 0, 0, 0)),
         Value::text("&<>\"'\r\n\t\x7F plain \"run\"&"), Value::text("Linha\r\n"), Value::blob(Bytes{0, 255, 128}),
         Value::boolean(true)},
        {Value::int16(INT16_MAX), Value::int32(INT32_MAX), Value::int64(INT64_MAX), Value::real(1.5e21),
         Value::numeric({INT64_MAX, 4}), Value::numeric({INT64_MAX, 0}), Value::date(Date::fromYmd(9999, 12, 31)),
         Value::time(Time::fromHms(23, 59, 59, 999)),
         Value::timestamp(Timestamp::fromParts(9999, 12, 31, 23, 59, 59, 999)),
         Value::text("Concei\xC3\xA7\xC3\xA3o \xE2\x82\xAC\xF0\x9F\x98\x80"), Value::text(""), Value::blob(Bytes{}),
         Value::boolean(false)},
        {Value::int16(0), Value::int32(-1), Value::int64(1), Value::real(0.1 + 0.2), Value::numeric({-1, 4}),
         Value::numeric({0, 0}), Value::date(Date::fromYmd(1969, 12, 31)), Value::time(Time::fromHms(12, 0, 0, 5)),
         Value::timestamp(Timestamp::fromParts(1899, 12, 30, 12, 0, 0, 5)), Value::text(""), Value::text("\xC3\xA9"),
         Value(), Value()},
        {Value(), Value(), Value(), Value::real(1e-7), Value::numeric({5, 4}), Value(), Value(), Value(), Value(),
         Value::text("\xC3\xA9"), Value(), Value(), Value()},
    };
    for (const auto& row : rows) {
        ds.append();
        for (size_t i = 0; i < row.size(); ++i)
            ds.setValue(i, row[i]);
        ds.post();
    }
    const std::string xml = ds.saveToString();
    EXPECT_EQ(
        xml.substr(xml.find("<ROWDATA>")),
        "<ROWDATA><ROW RowState=\"4\" SI=\"-32768\" IN=\"-2147483648\" BI=\"-9223372036854775808\" RE=\"-0.1\""
        " N4=\"-922337203685477.5808\" N0=\"-9223372036854775808\" DT=\"00010101\" HR=\"00:00:00000\""
        " TS=\"00010101T00:00:00000\" TX=\"&amp;&lt;&gt;&quot;&apos;&#13;&#10;&#9;\x7F plain &quot;run&quot;&amp;\""
        " MM=\"TGluaGENCg==\" BL=\"AP+A\" FL=\"TRUE\"/>"
        "<ROW RowState=\"4\" SI=\"32767\" IN=\"2147483647\" BI=\"9223372036854775807\""
        " RE=\"1500000000000000000000\" N4=\"922337203685477.5807\" N0=\"9223372036854775807\" DT=\"99991231\""
        " HR=\"23:59:59999\" TS=\"99991231T23:59:59999\" TX=\"Concei&#231;&#227;o &#8364;&#128512;\" MM=\"\""
        " BL=\"\" FL=\"FALSE\"/>"
        "<ROW RowState=\"4\" SI=\"0\" IN=\"-1\" BI=\"1\" RE=\"0.30000000000000004\" N4=\"-0.0001\" N0=\"0\""
        " DT=\"19691231\" HR=\"12:00:00005\" TS=\"18991230T12:00:00005\" TX=\"\" MM=\"w6k=\"/>"
        "<ROW RowState=\"4\" RE=\"0.0000001\" N4=\"0.0005\" TX=\"&#233;\"/></ROWDATA></DATAPACKET>")
        << xml;
}

} // namespace
} // namespace edi
