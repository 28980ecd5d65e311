// The reference the SQLite imports are measured against: the rows an import left in one database
// file (its cases and invoices, and the register's run and record rows), loaded into another (fresh, same schema) with one prepared INSERT per table, bound row by
// row, in one transaction, with the pragmas the desk's connection sets. Only the load is timed;
// the rows are read into memory before.
//
//   bench_bulkload SOURCE.db TARGET.db     prints "seconds rows"
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Value
{
    int type = SQLITE_NULL;
    sqlite3_int64 integer = 0;
    double real = 0;
    std::string text;
};

bool run(sqlite3* db, const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", sql, error ? error : "?");
        sqlite3_free(error);
        return false;
    }
    return true;
}

struct Table
{
    std::string insert;
    int columns = 0;
    std::vector<Value> values; // row after row
};

bool read(sqlite3* db, const std::string& name, Table* table)
{
    sqlite3_stmt* q = nullptr;
    const std::string select = "SELECT * FROM \"" + name + "\" ORDER BY rowid";
    if (sqlite3_prepare_v2(db, select.c_str(), -1, &q, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", select.c_str(), sqlite3_errmsg(db));
        return false;
    }
    table->columns = sqlite3_column_count(q);
    std::string names;
    std::string marks;
    for (int c = 0; c < table->columns; ++c) {
        names += std::string(c ? ", " : "") + "\"" + sqlite3_column_name(q, c) + "\"";
        marks += c ? ", ?" : "?";
    }
    table->insert = "INSERT INTO \"" + name + "\" (" + names + ") VALUES (" + marks + ")";
    while (sqlite3_step(q) == SQLITE_ROW) {
        for (int c = 0; c < table->columns; ++c) {
            Value v;
            v.type = sqlite3_column_type(q, c);
            if (v.type == SQLITE_INTEGER) {
                v.integer = sqlite3_column_int64(q, c);
            } else if (v.type == SQLITE_FLOAT) {
                v.real = sqlite3_column_double(q, c);
            } else if (v.type != SQLITE_NULL) {
                v.type = SQLITE_TEXT;
                v.text = reinterpret_cast<const char*>(sqlite3_column_text(q, c));
            }
            table->values.push_back(std::move(v));
        }
    }
    sqlite3_finalize(q);
    return true;
}

bool load(sqlite3* db, const Table& table, long* rows)
{
    sqlite3_stmt* q = nullptr;
    if (sqlite3_prepare_v2(db, table.insert.c_str(), -1, &q, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", table.insert.c_str(), sqlite3_errmsg(db));
        return false;
    }
    for (size_t first = 0; first < table.values.size(); first += size_t(table.columns)) {
        for (int c = 0; c < table.columns; ++c) {
            const Value& v = table.values[first + size_t(c)];
            switch (v.type) {
            case SQLITE_INTEGER:
                sqlite3_bind_int64(q, c + 1, v.integer);
                break;
            case SQLITE_FLOAT:
                sqlite3_bind_double(q, c + 1, v.real);
                break;
            case SQLITE_TEXT:
                sqlite3_bind_text(q, c + 1, v.text.data(), int(v.text.size()), SQLITE_STATIC);
                break;
            default:
                sqlite3_bind_null(q, c + 1);
            }
        }
        if (sqlite3_step(q) != SQLITE_DONE) {
            std::fprintf(stderr, "insert: %s\n", sqlite3_errmsg(db));
            sqlite3_finalize(q);
            return false;
        }
        sqlite3_reset(q);
        ++*rows;
    }
    sqlite3_finalize(q);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SOURCE.db TARGET.db\n", argv[0]);
        return 2;
    }
    sqlite3* source = nullptr;
    sqlite3* target = nullptr;
    if (sqlite3_open_v2(argv[1], &source, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK
        || sqlite3_open(argv[2], &target) != SQLITE_OK) {
        std::fprintf(stderr, "cannot open the databases\n");
        return 1;
    }
    const char* names[]
        = { "tabella importazioni", "tabella importazioni record", "tabella pratiche", "tabella fatture" };
    std::vector<Table> tables(std::size(names));
    for (size_t i = 0; i < tables.size(); ++i) {
        if (!read(source, names[i], &tables[i])) {
            return 1;
        }
    }
    const auto start = std::chrono::steady_clock::now();
    long rows = 0;
    if (!run(target, "PRAGMA journal_mode=WAL") || !run(target, "PRAGMA synchronous=NORMAL")
        || !run(target, "BEGIN IMMEDIATE")) {
        return 1;
    }
    for (const Table& table : tables) {
        if (!load(target, table, &rows)) {
            return 1;
        }
    }
    if (!run(target, "COMMIT")) {
        return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.3f %ld\n", seconds, rows);
    sqlite3_close(target);
    sqlite3_close(source);
    return 0;
}
