#include "central/packets.h"

#include "central/web_root.h"
#include "packet/packet_table.h"

namespace edi::central {

namespace {

FieldDef textField(std::string name, int size) {
    return FieldDef{std::move(name), FieldType::VarChar, size, 0, false};
}

FieldDef integerField(std::string name) {
    return FieldDef{std::move(name), FieldType::Integer, 0, 0, true};
}

void appendRow(PacketTable& ds, const std::vector<Value>& values) {
    ds.append();
    for (std::size_t i = 0; i < values.size(); ++i)
        ds.setValue(i, values[i]);
    ds.post();
}

} // namespace

std::string waitingFilesPacket(const std::vector<Delivery>& waiting) {
    PacketTable ds({integerField("CD_ARQUIVO"), textField("DS_CAMINHO", 255)});
    ds.setName("arquivos");
    for (const Delivery& d : waiting)
        appendRow(ds, {Value::int64(d.id), Value::text(serverPath("edi\\out", d.name))});
    return ds.saveToString();
}

std::string updatesPacket(const std::vector<Publication>& publications) {
    PacketTable ds({textField("NOME", 255), textField("DESTINO", 255), textField("TIPO", 10), textField("EXEC", 10)});
    ds.setName("arquivosApp");
    for (const Publication& p : publications)
        appendRow(ds, {Value::text(serverPath("app", p.nome)), Value::text(p.destino), Value::text(p.tipo),
                       Value::text(p.exec)});
    return ds.saveToString();
}

std::string unitsPacket(const std::vector<UnitRecord>& units, const std::string& defaultVersion) {
    PacketTable ds({integerField("UNIDADE"), textField("VERSAO", 20)});
    ds.setName("Unidades");
    for (const UnitRecord& u : units)
        appendRow(ds, {Value::int32(u.code), Value::text(u.version.empty() ? defaultVersion : u.version)});
    return ds.saveToString();
}

} // namespace edi::central
