#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace edi {

class PacketTable;

// Writes a dataset as a plain-variant packet: one line, pure ASCII, appended records with RowState 4 and their
// CHANGE_LOG, as the previous exporter wrote them.
class PacketWriter {
public:
    // `tableName` names the table in error messages.
    PacketWriter(const PacketTable& dataset, std::string tableName);

    // Streams to `out` in pieces when given and returns what is left (nothing); without a stream, returns the
    // whole packet. Throws PacketError for a value the layout cannot carry.
    std::string write(std::ostream* out);

private:
    void writeFields();
    void writeParams();
    void writeRows();
    void flushIfFull();
    [[noreturn]] void failAt(size_t row, size_t field, const std::string& problem) const;

    const PacketTable& ds_;
    std::string tableName_;
    std::vector<std::string> attrNames_;
    std::string buf_;
    std::ostream* out_ = nullptr;
};

} // namespace edi
