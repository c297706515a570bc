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
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Texts longer than this are refused rather than cut (libmdb cuts them silently).
constexpr size_t bindSize = 256 * 1024;

const std::string cutShort =
    "файл обрезан: таблица продолжается за его концом (файл скопирован не полностью?)";

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

// Written in pieces of what a pipe holds, so that the program decodes one piece while the
// next is read from the file.
constexpr size_t piece = 64 * 1024;

void putBytes(const void* data, size_t size) {
    putU32(uint32_t(size));
    out.append(static_cast<const char*>(data), size);
    if (out.size() > piece)
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

uint32_t le32(const unsigned char* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

// Pages the file holds in full.
uint64_t pagesInFile(MdbHandle* mdb, const char* path) {
    struct stat info {};
    if (stat(path, &info) != 0 || mdb->fmt->pg_size <= 0)
        return 0;
    return uint64_t(info.st_size) / uint64_t(mdb->fmt->pg_size);
}

// A file cut short (a copy broken off, a full disk) still opens, and libmdb reads what is there
// without a word: every page the table owns must lie within the file.
void checkTablePages(MdbHandle* mdb, MdbTableDef* table, uint64_t pages) {
    // The map itself first: libmdb reads a map it cannot find as an empty one.
    if (mdb_read_alt_pg(mdb, table->entry->table_pg) != mdb->fmt->pg_size ||
        (le32(mdb->alt_pg_buf + mdb->fmt->tab_usage_map_offset) >> 8) >= pages)
        finish(jetstream::tagFailed, cutShort);
    if (!table->usage_map || table->map_sz == 0)
        return;
    gint32 page = 0;
    while ((page = mdb_map_find_next(mdb, table->usage_map, guint(table->map_sz), guint32(page))) >
           0)
        if (uint64_t(page) >= pages)
            finish(jetstream::tagFailed, cutShort);
    if (page < 0)
        finish(jetstream::tagFailed, cutShort);
}

// Where row `pgRow` (page << 8 | row) lies, as mdb_find_pg_row() finds it, which copies the
// whole page buffers back and forth twice to look there: the page is read into alt_pg_buf and
// its row table read in place. False when the page cannot be read or its row table points
// outside it, as mdb_find_pg_row() says.
bool findPageRow(MdbHandle* mdb, uint32_t pgRow, const unsigned char** page, int* offset,
                 size_t* length) {
    const uint32_t row = pgRow & 0xff;
    if (mdb_read_alt_pg(mdb, pgRow >> 8) != mdb->fmt->pg_size)
        return false;
    const unsigned char* buf = mdb->alt_pg_buf;
    const int table = mdb->fmt->row_count_offset;
    const int start = mdb_get_int16(const_cast<unsigned char*>(buf), table + 2 + int(row) * 2);
    const int next =
        row == 0 ? int(mdb->fmt->pg_size)
                 : mdb_get_int16(const_cast<unsigned char*>(buf), table + int(row) * 2) & 0x1fff;
    *page = buf;
    *offset = start & 0x1fff;
    *length = size_t(next - (start & 0x1fff));
    // The row table points outside the page: no such row.
    return (start & 0x1fff) < mdb->fmt->pg_size && (start & 0x1fff) <= next &&
           next <= mdb->fmt->pg_size;
}

// A memo or OLE value of the record just fetched that is kept on pages of its own: whether all
// of it is there. libmdb reads what it finds of the chain of pages and says nothing of the rest.
bool longValueComplete(MdbHandle* mdb, const MdbColumn* col, uint64_t pages) {
    if (col->cur_value_len < 12 || col->cur_value_start < 0 ||
        col->cur_value_start + 12 > mdb->fmt->pg_size)
        return true; // NULL or empty, or held in the record itself
    const unsigned char* head = mdb->pg_buf + col->cur_value_start;
    const uint32_t word = le32(head);
    if (word & 0x80000000u)
        return true; // in the record itself
    const bool onePage = word & 0x40000000u;
    const size_t declared = word & 0x3fffffffu;
    size_t found = 0;
    for (uint32_t at = le32(head + 4); at != 0 && found < declared;) {
        const unsigned char* page = nullptr;
        int offset = 0;
        size_t length = 0;
        if ((at >> 8) >= pages || !findPageRow(mdb, at, &page, &offset, &length))
            return false;
        if (onePage)
            return length >= declared;
        if (length <= 4)
            return false; // a link that carries nothing: a loop or damage
        found += length - 4;
        at = le32(page + offset);
    }
    return found >= declared;
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
    out.reserve(2 * piece);
    out.append(jetstream::magic, sizeof jetstream::magic);

    MdbHandle* mdb = mdb_open(argv[1], MDB_NOFLAGS);
    if (!mdb)
        finish(jetstream::tagFailed, "заголовок файла повреждён или файл не дочитывается");
    putByte(jetstream::tagFile);
    putByte(mdb->f->jet_version == MDB_VER_JET3 ? 3 : 4);
    putU32(mdb->f->code_page);

    const uint64_t pages = pagesInFile(mdb, argv[1]);
    MdbCatalogEntry* entry = findTable(mdb, tableName);
    if (!entry) {
        // A list of tables cut short lacks the table for that reason alone.
        MdbCatalogEntry catalog{};
        catalog.mdb = mdb;
        std::strcpy(catalog.object_name, "MSysObjects");
        catalog.object_type = MDB_TABLE;
        catalog.table_pg = 2;
        if (MdbTableDef* objects = mdb_read_table(&catalog))
            checkTablePages(mdb, objects, pages);
        finish(jetstream::tagNoTable, tableName);
    }
    MdbTableDef* table = mdb_read_table(entry);
    if (!table || !mdb_read_columns(table) || table->num_cols == 0 ||
        table->num_cols > jetstream::maxColumns)
        finish(jetstream::tagFailed, "не удаётся прочитать описание таблицы");
    checkTablePages(mdb, table, pages);
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
            if ((col->col_type == MDB_MEMO || col->col_type == MDB_OLE) &&
                !longValueComplete(mdb, col, pages))
                finish(jetstream::tagFailed, "поле " + std::string(col->name) + " записи " +
                                                 std::to_string(records + 1) +
                                                 " не дочитывается: файл обрезан или повреждён");
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
    // The table's own count of its records: fewer read means pages lost (cut off or damaged).
    if (records != table->num_rows)
        finish(jetstream::tagFailed, "в таблице записей " + std::to_string(table->num_rows) +
                                         ", а прочитано " + std::to_string(records) +
                                         ": файл обрезан или повреждён");
    putByte(jetstream::tagEnd);
    putU32(records);
    flush();
    std::fflush(stream);
    // The process ends here; libmdb's own tidy-up is skipped on purpose (it adds nothing).
    return 0;
}
