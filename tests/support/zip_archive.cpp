#include "support/zip_archive.h"

#include <gtest/gtest.h>
#include <zip.h>

namespace edi::test {

ZipEntry folder(std::string name) {
    return {std::move(name), {}, true};
}

ZipEntry withMode(std::string name, std::string content, unsigned mode) {
    return {std::move(name), std::move(content), false, mode};
}

ZipEntry deflated(std::string name, std::string content) {
    return {std::move(name), std::move(content), false, 0, true};
}

void makeZip(const std::filesystem::path& path, const std::vector<ZipEntry>& entries) {
    int error = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(z, nullptr) << "zip_open " << error;
    for (const ZipEntry& e : entries) {
        zip_int64_t index;
        if (e.directory) {
            index = zip_dir_add(z, e.name.c_str(), ZIP_FL_ENC_RAW);
        } else {
            zip_source_t* source = zip_source_buffer(z, e.content.data(), e.content.size(), 0);
            ASSERT_NE(source, nullptr);
            index = zip_file_add(z, e.name.c_str(), source, ZIP_FL_ENC_RAW);
            if (index < 0)
                zip_source_free(source);
            else
                zip_set_file_compression(z, static_cast<zip_uint64_t>(index),
                                         e.deflated ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
            // Without a mode the entry looks made on a system that records none (libzip would record 0666).
            if (index >= 0)
                zip_file_set_external_attributes(z, static_cast<zip_uint64_t>(index), 0,
                                                 e.mode ? ZIP_OPSYS_UNIX : ZIP_OPSYS_DOS,
                                                 e.mode ? ((e.mode & 0170000u ? 0u : 0100000u) | e.mode) << 16 : 0x20u);
        }
        ASSERT_GE(index, 0) << "cannot add '" << e.name << "': " << zip_strerror(z);
    }
    ASSERT_EQ(zip_close(z), 0) << zip_strerror(z);
}

} // namespace edi::test
