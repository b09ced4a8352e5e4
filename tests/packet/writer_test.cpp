#include "core/errors.h"
#include "core/files.h"
#include "packet/packet_table.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

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

void addPatient(PacketTable &ds, int code, const std::string &name) {
    ds.append();
    ds.setValue("CD_PACIENTE", Value::int32(code));
    ds.setValue("NM_PACIENTE", Value::text(name));
    ds.post();
}

std::string messageOf(const std::function<void()> &action) {
    try {
        action();
    } catch (const PacketError &e) {
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

} // namespace
} // namespace edi
