// A dBase III table file, read into memory block by block as statements need it and kept in step with the file on disk.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/sql/value.h"
#include "platform/sys/files.h"

namespace vsql {

struct DbfField {
    std::string name;  // as stored, upper case in files we write
    char type = 'C';   // dBase type letter: C, N, F, D, L, ...
    int width = 0;
    int decimals = 0;
    int offset = 0;  // within the record; byte 0 is the deletion flag
    bool numeric() const { return type == 'N' || type == 'F'; }
};

// Column definition for a new table.
struct DbfColumnDef {
    std::string name;
    char type = 'C';  // 'C' or 'N'
    int width = 0;
    int decimals = 0;
};

// What identifies one version of a file on disk.
struct FileSignature {
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t mtime_ns = 0, ctime_ns = 0;
    bool operator==(const FileSignature&) const = default;
};
std::optional<FileSignature> file_signature(const std::string& path);

enum class EncodeStatus { ok, truncated, out_of_range };

class DbfTable {
public:
    // The one shared in-memory copy of the file at `path` in this process,
    // brought up to date with the file; null with `error` when it cannot be read.
    static std::shared_ptr<DbfTable> open(const std::string& path, std::string& error);
    // Creates an empty table file (written beside, then renamed into place).
    static bool create(const std::string& path, const std::vector<DbfColumnDef>& columns, std::string& error);

    ~DbfTable();
    DbfTable(const DbfTable&) = delete;
    DbfTable& operator=(const DbfTable&) = delete;

    enum class Freshness { same, reloaded, missing, failed };
    // Compares the file with the copy in memory and reloads it when it changed.
    Freshness refresh(std::string& error);

    const std::string& path() const { return path_; }
    const std::vector<DbfField>& fields() const { return fields_; }
    int field_index(const std::string& name) const;  // ignoring case; -1 when absent
    int record_count() const { return count_; }
    int record_length() const { return record_length_; }
    bool deleted(int row) const { return record(row)[0] == '*'; }
    // The record's bytes; its block is read from the file on first use.
    const char* record(int row) const
    {
        const std::size_t block = static_cast<std::size_t>(row) / block_rows_;
        const char* data = block < blocks_.size() ? blocks_[block].get() : nullptr;
        if (!data) data = read_block(block);
        return data + (static_cast<std::size_t>(row) % block_rows_) * record_length_;
    }
    Value value(int row, int field) const;
    // Bumped when the columns change (mounts must be redeclared) and when
    // record numbers may have changed (reload, pack).
    std::uint64_t schema_version() const { return schema_version_; }
    std::uint64_t layout_version() const { return layout_version_; }

    // Record editing: a raw record starts as blank_record() and takes values
    // through encode(); writes go to the file at once (flushed by flush()).
    std::string blank_record() const;
    EncodeStatus encode(std::string& record, int field, const Value& value) const;
    bool append(const std::string& record, int& row, std::string& error);
    bool replace(int row, const std::string& record, std::string& error);
    bool remove(int row, std::string& error);
    // Puts header and pending records on disk; a no-op when nothing changed.
    bool flush(std::string& error);
    // Rewrites the file without deleted records, through a new file renamed
    // over the old one.
    bool pack(std::string& error);
    // A statement's writes are kept or taken back as a whole: the first write of a statement notes
    // what it changes; keep_changes() forgets that, undo_changes() puts the file back as it was
    // before the statement (its size, header, end marker and changed records) and reads it again.
    void keep_changes() { undo_ = Undo{}; }
    void undo_changes();

    // Row numbers whose field equals the key (numbers compare as numbers,
    // texts ignoring trailing blanks), in record order. Deleted rows may be listed.
    // The first look-up reads only the field, without keeping the records.
    // The number look-up fills `rows`, reusing its storage: a join looks up once per outer row.
    void lookup_number(int field, double key, std::vector<int>& rows);
    std::vector<int> lookup_text(int field, const std::string& key);
    // Every row in the order of a numeric field, empty fields (NULL) first. Shared, never changed
    // afterwards: a scan keeps it while the table takes writes.
    using RowOrder = std::shared_ptr<const std::vector<int>>;
    RowOrder rows_by_number(int field);
    // Every row in the order of several numeric fields, each ascending or descending as SQLite
    // orders them (NULL lowest); rows equal in all of them in record order.
    struct OrderKey {
        int field;
        bool descending;
    };
    RowOrder rows_by_numbers(const std::vector<OrderKey>& keys);
    // The same for keys that may be text fields, compared as SQLite's RTRIM collation compares them
    // (bytes, trailing blanks ignored); rows equal in all keys in record order.
    RowOrder rows_by_fields(const std::vector<OrderKey>& keys);
    // How many rows an equality on the field matches, on average over its values: known from an index
    // that was built already, none otherwise.
    std::optional<double> rows_per_key(int field) const;
    // The field's number in a row (NaN when empty), from the field's key column; a field read
    // more often than it has rows gets its key column.
    double key_number(int field, int row);
    // Whether the field is known to hold its numbers in ascending order (empty fields first), from a
    // note of an earlier reading of this very file or from reading it whole: then a look-up by number
    // is a binary search over the records instead of a read of the whole field.
    bool known_ascending(int field) const
    {
        return field >= 0 && static_cast<std::size_t>(field) < ascending_.size() && ascending_[field];
    }

private:
    explicit DbfTable(std::string path);
    // What the module knows of one field's values, beside the records.
    struct FieldIndex {
        std::vector<double> numbers;  // numeric field: per row, NaN when empty
        bool numbers_ready = false;
        std::shared_ptr<std::vector<int>> order;  // rows by number, NaN first; empty until asked for
        bool order_ready = false;
        std::size_t distinct = 0;  // keys (NaN counted as one) when the order is ready
        std::unique_ptr<std::unordered_map<std::string, std::vector<int>>> texts;  // text field: rows by trimmed text
        int lookups = 0;
        int probes = 0;  // look-ups answered by a binary search over the records
        int parses = 0;  // numbers read from the records while there was no number column
    };

    bool load(std::string& error);
    void close_handle();
    void io_failed(std::string& error);
    const char* read_block(std::size_t block) const;
    // Calls `fn(first_row, rows, bytes)` for every block in order, from memory when the block was
    // read already, otherwise from the file through one buffer that is not kept.
    void for_each_block(const std::function<void(int, int, const char*)>& fn) const;
    FieldIndex& numbers_of(int field);
    void index_row(int row, const char* rec);
    void reindex_row(int row, const char* before, const char* after);
    char* writable_record(int row);

    std::string path_;
    void* handle_ = nullptr;  // shapelib DBFHandle
    bool writable_ = false;
    std::vector<DbfField> fields_;
    int record_length_ = 0;
    int header_length_ = 0;
    int count_ = 0;
    std::size_t block_rows_ = 1;
    vsys::FilePtr reader_;  // the same file as the handle, read block by block
    std::int64_t readable_rows_ = 0;  // rows the file held when it was opened
    mutable std::vector<std::unique_ptr<char[]>> blocks_;
    FileSignature signature_;
    bool dirty_ = false;
    std::uint64_t schema_version_ = 0;
    std::uint64_t layout_version_ = 0;
    std::vector<std::unique_ptr<FieldIndex>> indexes_;
    // Per field: its numbers are known ascending, and whether the kept note says so.
    std::vector<bool> ascending_, noted_;
    void read_order_note(const FileSignature& signature);
    // Notes the fields known ascending for the file as it is now: when that differs from the note, or
    // after this program changed the file and some field is still known ascending.
    void write_order_note(bool file_changed);
    std::optional<double> probe_number(int field, int row) const;
    bool probe_lookup(int field, double key, std::vector<int>& rows);
    void check_order_at(int row);
    std::map<std::string, RowOrder> multi_orders_;  // by their keys, dropped at any write
    // Rows marked deleted in memory whose flag is still to be written (by flush()).
    std::vector<int> pending_deletes_;
    bool write_deletions();

    struct Undo {
        bool active = false;
        std::uint64_t size = 0;                   // of the file
        std::string head;                         // the header's first 32 bytes: date and record count
        std::uint64_t tail_at = 0;
        std::string tail;                         // what followed the last record (the end marker)
        std::map<int, std::string> records;       // records as they were before being changed in place
    };
    Undo undo_;
    // Notes the file's state before the statement's first write, and the record before its first change.
    void note_before_write(int row);
};


std::string rtrim_blanks(const std::string& text);

// The columns of a dBase III file as its header declares them, checked against
// the file: none, with the reason in `error`, when the file is no whole table
// (a header, field list or record count that the file does not hold).
std::optional<std::vector<DbfField>> inspect_dbf_file(const std::string& path, std::string& error);

}  // namespace vsql
