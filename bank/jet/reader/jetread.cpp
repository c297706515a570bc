// kviront-jetread FILE [TABLE]: reads one table of a Jet 3 / Jet 4 database (an old-format
// question bank) and writes its records to standard output in the stream that
// bank/jet/jetstream.h describes. The program runs it as a child process under resource limits,
// because libmdb is not hardened against damaged files: a crash here is only a failed read.
#include "jetstream_format.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <glib.h> // before mdbtools.h, which wraps it in extern "C"
#include <mdbtools.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Texts longer than this are refused rather than cut (libmdb cuts them silently).
constexpr size_t bindSize = 256 * 1024;

std::string out;
FILE* stream = nullptr; // the original standard output; libmdb's own prints go elsewhere

void flush() {
    if (!out.empty() && std::fwrite(out.data(), 1, out.size(), stream) != out.size())
        std::exit(3);
    out.clear();
}

void putByte(uint8_t value) {
    out.push_back(char(value));
}

void putU32(uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back(char((value >> (8 * i)) & 0xff));
}

void putBytes(const void* data, size_t size) {
    putU32(uint32_t(size));
    out.append(static_cast<const char*>(data), size);
    if (out.size() > 1024 * 1024)
        flush();
}

void putText(const std::string& text) {
    putBytes(text.data(), text.size());
}

[[noreturn]] void finish(uint8_t tag, const std::string& message) {
    putByte(tag);
    putText(message);
    flush();
    std::fflush(stream);
    std::exit(0);
}

uint8_t kindOf(int type) {
    switch (type) {
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
        return jetstream::kindInteger;
    case MDB_OLE:
    case MDB_BINARY:
        return jetstream::kindBinary;
    case MDB_TEXT:
    case MDB_MEMO:
        return jetstream::kindText;
    default:
        return jetstream::kindOther; // its text form, as libmdb gives it
    }
}

MdbCatalogEntry* findTable(MdbHandle* mdb, const char* name) {
    if (!mdb_read_catalog(mdb, MDB_TABLE))
        finish(jetstream::tagFailed, "не удаётся прочитать список таблиц");
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type == MDB_TABLE && g_ascii_strcasecmp(entry->object_name, name) == 0)
            return entry;
    }
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: kviront-jetread FILE [TABLE]\n");
        return 2;
    }
    const char* tableName = argc == 3 ? argv[2] : "kontrol";
    // libmdb prints warnings on standard output now and then: the stream gets a descriptor
    // of its own, and standard output goes to standard error.
    const int streamFd = dup(STDOUT_FILENO);
    if (streamFd < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0 ||
        !(stream = fdopen(streamFd, "wb")))
        return 3;
    // Jet 3 texts come through as Latin-1, one character per byte, so the program can decode
    // the bytes from the file's own code page.
    setenv("MDB_JET3_CHARSET", "ISO-8859-1", 1);
    out.reserve(2 * 1024 * 1024);
    out.append(jetstream::magic, sizeof jetstream::magic);

    MdbHandle* mdb = mdb_open(argv[1], MDB_NOFLAGS);
    if (!mdb)
        finish(jetstream::tagFailed, "заголовок файла повреждён или файл не дочитывается");
    putByte(jetstream::tagFile);
    putByte(mdb->f->jet_version == MDB_VER_JET3 ? 3 : 4);
    putU32(mdb->f->code_page);

    MdbCatalogEntry* entry = findTable(mdb, tableName);
    if (!entry)
        finish(jetstream::tagNoTable, tableName);
    MdbTableDef* table = mdb_read_table(entry);
    if (!table || !mdb_read_columns(table) || table->num_cols == 0 ||
        table->num_cols > jetstream::maxColumns)
        finish(jetstream::tagFailed, "не удаётся прочитать описание таблицы");
    mdb_rewind_table(table);
    mdb_set_bind_size(mdb, bindSize);

    const unsigned count = table->num_cols;
    for (unsigned i = 0; i < count; ++i)
        if (static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i))->name[0] == '\0')
            finish(jetstream::tagFailed, "повреждено описание таблицы: поле без имени");
    putByte(jetstream::tagColumns);
    putU32(count);
    std::vector<std::vector<char>> values(count, std::vector<char>(bindSize + 1));
    std::vector<int> lengths(count, 0);
    std::vector<uint8_t> kinds(count);
    for (unsigned i = 0; i < count; ++i) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
        kinds[i] = kindOf(col->col_type);
        putByte(kinds[i]);
        putText(col->name);
        mdb_bind_column(table, int(i) + 1, values[i].data(), &lengths[i]);
    }

    uint32_t records = 0;
    while (mdb_fetch_row(table)) {
        putByte(jetstream::tagRecord);
        for (unsigned i = 0; i < count; ++i) {
            auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
            if (lengths[i] <= 0) {
                putByte(0); // NULL (libmdb gives an empty text the same way)
                continue;
            }
            if (col->col_type == MDB_OLE) {
                size_t size = 0;
                void* bytes = mdb_ole_read_full(mdb, col, &size);
                if (!bytes)
                    finish(jetstream::tagFailed, "не удаётся прочитать двоичное поле записи " +
                                                     std::to_string(records + 1));
                putByte(1);
                putBytes(bytes, size);
                std::free(bytes);
                continue;
            }
            if (size_t(lengths[i]) + 8 >= bindSize)
                finish(jetstream::tagFailed,
                       "слишком длинный текст в записи " + std::to_string(records + 1));
            putByte(1);
            putBytes(values[i].data(), size_t(lengths[i]));
        }
        ++records;
    }
    putByte(jetstream::tagEnd);
    putU32(records);
    flush();
    std::fflush(stream);
    // The process ends here; libmdb's own tidy-up is skipped on purpose (it adds nothing).
    return 0;
}
