// Export and import of setup files: member layout, streaming in 10000-byte chunks, and an import that changes nothing until it has it all.
#include "setup/export_file.h"

#include <algorithm>
#include <cctype>
#include <array>
#include <memory>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "core/config_store.h"
#include "core/db_statement.h"
#include "core/globals.h"
#include "core/run_lookup.h"
#include "core/run_table.h"
#include "core/trace_file.h"
#include "platform/sql/dbf_table.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/ui/userint.h"
#include "setup/setup_files.h"
#include "setup/setup_paths.h"
#include "setup/setup_seams.h"

namespace {

constexpr std::size_t kChunk = 10000;

void put_le32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t get_le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

bool write_le32(vsys::AtomicFile& out, std::uint32_t v)
{
    std::uint8_t b[4];
    put_le32(b, v);
    return out.write(b, 4);
}

void put_text(std::uint8_t* field, std::size_t width, const char* text)
{
    std::memset(field, 0, width);
    std::size_t n = strnlen(text, width - 1);
    std::memcpy(field, text, n);
}

std::string get_text(const std::uint8_t* field, std::size_t width)
{
    std::size_t n = strnlen(reinterpret_cast<const char*>(field), width);
    if (n == width) n = width - 1;  // a field without its NUL keeps all but its last byte
    return std::string(reinterpret_cast<const char*>(field), n);
}

// The POR information block, field by field in file order.
struct PorInfo {
    char system[17] = "", recipe[33] = "", trace[33] = "", comment[65] = "";
    short complete = 0, cassette = 0;
    char date[11] = "", time[9] = "";
    std::int32_t rate = 0, wafers = 0;
    std::uint32_t mask = 0;

    std::array<std::uint8_t, kPorInfoBlockSize> bytes() const
    {
        std::array<std::uint8_t, kPorInfoBlockSize> b{};
        std::uint8_t* p = b.data();
        put_text(p, 17, system), p += 17;
        put_text(p, 33, recipe), p += 33;
        put_text(p, 33, trace), p += 33;
        put_text(p, 65, comment), p += 65;
        p[0] = static_cast<std::uint8_t>(complete), p[1] = static_cast<std::uint8_t>(complete >> 8), p += 2;
        p[0] = static_cast<std::uint8_t>(cassette), p[1] = static_cast<std::uint8_t>(cassette >> 8), p += 2;
        put_text(p, 11, date), p += 11;
        put_text(p, 9, time), p += 9;
        put_le32(p, static_cast<std::uint32_t>(rate)), p += 4;
        put_le32(p, static_cast<std::uint32_t>(wafers)), p += 4;
        put_le32(p, mask);
        return b;
    }
    void read(const std::uint8_t* p)
    {
        auto text = [&](char* out, std::size_t w) {
            copy_bounded(out, get_text(p, w).c_str(), static_cast<int>(w - 1));
            p += w;
        };
        text(system, 17), text(recipe, 33), text(trace, 33), text(comment, 65);
        complete = static_cast<short>(p[0] | p[1] << 8), p += 2;
        cassette = static_cast<short>(p[0] | p[1] << 8), p += 2;
        text(date, 11), text(time, 9);
        rate = static_cast<std::int32_t>(get_le32(p)), p += 4;
        wafers = static_cast<std::int32_t>(get_le32(p)), p += 4;
        mask = get_le32(p);
    }
};

// One member found in an import file: where its bytes start and how many there are.
struct Member {
    long long offset = 0, length = 0;
};

// The layout of an import file, checked against its size before anything is written.
struct Layout {
    Member tables[5];
    std::optional<Member> por, interval;
    std::optional<long long> info;  // offset of the information block
};

bool read_at(std::FILE* f, long long offset, void* buffer, std::size_t n)
{
    return std::fseek(f, static_cast<long>(offset), SEEK_SET) == 0 && std::fread(buffer, 1, n, f) == n;
}

// Reads a member's length at `pos`; false when the file is corrupt there (a cut length, a negative length or
// more bytes declared than the file holds). At the very end of the file a member is absent (length 0).
bool next_member(std::FILE* f, long long size, long long& pos, Member& m)
{
    m = {pos, 0};
    if (pos == size) return true;
    std::uint8_t b[4];
    if (size - pos < 4 || !read_at(f, pos, b, 4)) return false;
    auto length = static_cast<std::int32_t>(get_le32(b));
    if (length < 0 || length > size - pos - 4) return false;
    m = {pos + 4, length};
    pos += 4 + length;
    return true;
}

bool read_layout(std::FILE* f, long long size, Layout& layout)
{
    if (size < 4) return false;
    long long pos = 4;
    for (Member& m : layout.tables)
        if (!next_member(f, size, pos, m)) return false;
    if (pos == size) return true;
    Member por;
    if (!next_member(f, size, pos, por)) return false;
    layout.por = por;
    if (por.length == 0) return true;
    Member interval;
    if (!next_member(f, size, pos, interval)) return false;
    layout.interval = interval;
    if (size - pos < kPorInfoBlockSize) return false;
    layout.info = pos;
    return true;
}

// Copies a member's bytes into a temporary file beside the target (renamed later); false on any failure.
bool stage_member(std::FILE* f, const Member& m, vsys::AtomicFile& out)
{
    if (std::fseek(f, static_cast<long>(m.offset), SEEK_SET) != 0) return false;
    std::vector<char> chunk(kChunk);
    long long left = m.length;
    while (left > 0) {
        std::size_t want = static_cast<std::size_t>(std::min<long long>(left, kChunk));
        if (std::fread(chunk.data(), 1, want, f) != want || !out.write(chunk.data(), want)) return false;
        left -= static_cast<long long>(want);
    }
    return out.is_open();
}

// The columns each table member must have, in order (N: a number, C: text), as the program creates them.
struct TableColumns {
    const char* table;
    const char* columns;  // "NAME:T NAME:T ..."
};
constexpr TableColumns kMemberColumns[5] = {
    {"INST", "CHANNEL:N S_TEXT:C"},
    {"ACTC", "CHANNEL:N CHART_TYPE:N DATA_PARAM:N D_INDEX:N POINTS:N RULES:N LIMITS:N PRECOAT:N PAGER:N D_TREE:C "
             "P_TEXT:C HALT:N"},
    {"LIMI", "TYPE:N SUBTYPE:N CHANNEL:N STEP_INDEX:N LCL:N TARGET:N UCL:N"},
    {"TAGS", "PARAM:N INDEX:N VAL_TEXT:C"},
    {"NUMB", "PARAM:N INDEX:N NUM_VAL:N"},
};

// Why a staged table member cannot be taken; "" when it is a table with the columns of its kind.
std::string table_member_problem(const std::string& staged, int member)
{
    const TableColumns& want = kMemberColumns[member];
    std::string why;
    auto fields = vsql::inspect_dbf_file(staged, why);
    if (!fields) return vsys::strprintf("its %s member is not a dBase table (%s)", want.table, why.c_str());
    std::string have;
    for (const vsql::DbfField& f : *fields) {
        if (!have.empty()) have += ' ';
        for (char c : f.name) have += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        have += ':';
        have += f.numeric() ? 'N' : f.type;
    }
    if (have != want.columns)
        return vsys::strprintf("its %s member does not have the columns of a %s table", want.table, want.table);
    return "";
}

bool printable(const char* text)
{
    for (const char* p = text; *p; ++p)
        if (static_cast<unsigned char>(*p) < 0x20 || static_cast<unsigned char>(*p) == 0x7F) return false;
    return true;
}

// The information block holds what a process-of-record header row can hold.
bool info_in_range(const PorInfo& info)
{
    // Rate codes run from one sample every 300 s to 10000 a second; 0 reads as the default.
    const bool rate = info.rate >= -300 && info.rate <= 10000;
    return rate && info.wafers >= 0 && info.wafers <= 999 && (info.complete == 0 || info.complete == 1) &&
           info.cassette >= -9999 && printable(info.system) && printable(info.recipe) &&
           printable(info.trace) && printable(info.comment) && printable(info.date) && printable(info.time);
}

constexpr const char* kTooMany =
    "Maximum number of processes exceeded.  You must delete another process before you can save a new one.";

}  // namespace

long long ExportFile(const std::string& path, vsys::AtomicFile& out)
{
    vsys::FilePtr in = vsys::open_file(path, "rb");
    std::optional<std::uint64_t> size = in ? vsys::file_size(path) : std::nullopt;
    if (!in || !size || *size > 0x7FFFFFFF) return write_le32(out, 0) ? 0 : -1;
    if (!write_le32(out, static_cast<std::uint32_t>(*size))) return -1;
    // Exactly the declared length follows, however the file changes meanwhile.
    std::vector<char> chunk(kChunk);
    std::uint64_t left = *size;
    while (left > 0) {
        std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, kChunk));
        if (std::fread(chunk.data(), 1, want, in.get()) != want || !out.write(chunk.data(), want)) return -1;
        left -= want;
    }
    return static_cast<long long>(*size);
}

int ExportRecipe(const char* name, const char* directory, char overwrite, char byName)
{
    const std::string path = export_file(directory, name);
    int process = recipe_num;
    if (byName) {
        char text[33];
        if (std::strlen(name) > 32) return 0;
        copy_text(text, name);
        get_put_char(hdbc, 0, 0, PROCESS_BY_NAME, text);
        if (std::strcmp(text, "Not Found") == 0) return 0;
        process = std::atoi(text);
    }
    if (!overwrite && vsys::file_exists(path)) return 0;
    vsys::AtomicFile out(path, vsys::AtomicFile::Where::confined);  // a typed name
    if (!out.is_open() || !write_le32(out, 0)) return 0;
    for (const char* table : kProcessTables)
        if (ExportFile(existing_table_file(vt_dir, process, table), out) < 0) return 0;
    const std::string por = por_trace_path(vt_dir, process);
    auto por_size = vsys::file_size(por);
    if (por_size && *por_size < kPorSizeLimit) {
        long long written = ExportFile(por, out);
        if (written < 0) return 0;
        if (written > 0) {
            if (ExportFile(interval_path(vt_dir, process), out) < 0) return 0;
            // Read into a record of its own: the run in progress keeps its globals.
            const RunRecord header = look_up_run(hdbc, -process);
            PorInfo info;
            copy_bounded(info.system, header.system_id.c_str(), 16);
            copy_bounded(info.recipe, header.recipe.c_str(), 32);
            copy_bounded(info.trace, header.trace_id.c_str(), 32);
            copy_bounded(info.comment, header.comment.c_str(), 64);
            if (header.found) {
                info.complete = header.complete;
                info.cassette = header.cassette;
            }
            copy_bounded(info.date, header.date.c_str(), 10);
            copy_bounded(info.time, header.time.c_str(), 8);
            // Without a header row the file has always carried the current rate and channels.
            info.rate = header.found ? header.rate_index : sample_rate_index;
            info.wafers = header.found ? header.wafers : 0;
            info.mask = header.found ? header.channels.mask : VantrelChannelStatusBits;
            auto block = info.bytes();
            if (!out.write(block.data(), block.size())) return 0;
        }
    }
    return out.commit() ? 1 : 0;
}

char ImportRecipe(const char* name, const char* directory)
{
    const std::string display_name = name;
    if (!process_name_acceptable(display_name)) return -1;
    const std::string path = export_file(directory, display_name);
    char text[33];
    copy_text(text, display_name);
    get_put_char(hdbc, 0, 0, PROCESS_BY_NAME, text);
    int target;
    if (std::strcmp(text, "Not Found") != 0) {
        if (ConfirmPopup("", "Import file already exist in Vantrel Setup directory.  Are you sure you want to write over "
                             "existing setup?") != 1)
            return -1;
        target = std::atoi(text);
    } else {
        get_put_char(hdbc, 0, 0, FIRST_FREE_PROCESS, text);
        target = std::atoi(text);
        if (target > 9000) {
            MessagePopup("", kTooMany);
            return -1;
        }
    }

    vsys::FilePtr in = vsys::open_file(path, "rb");
    auto size = in ? vsys::file_size(path) : std::nullopt;
    if (!in || !size) {
        MessagePopup("Import Error", vsys::strprintf("The setup file %s cannot be opened.", path.c_str()).c_str());
        return -1;
    }
    Layout layout;
    if (!read_layout(in.get(), static_cast<long long>(*size), layout)) {
        MessagePopup("Import Error",
                     vsys::strprintf("The setup file %s is damaged or incomplete; nothing was imported.", path.c_str())
                         .c_str());
        return -1;
    }
    // Every member goes to a temporary file first; the targets change only once all were read and checked.
    struct Staged {
        int table;  // index of the table member; -1 for the process-of-record files
        std::unique_ptr<vsys::AtomicFile> file;
    };
    std::vector<Staged> staged;
    auto stage = [&](const Member& m, const std::string& target, int table) {
        if (m.length == 0) return true;  // an empty member leaves the target's file as it is
        staged.push_back({table, std::make_unique<vsys::AtomicFile>(target)});
        return stage_member(in.get(), m, *staged.back().file);
    };
    bool ok = true;
    for (int i = 0; i < 5 && ok; ++i) ok = stage(layout.tables[i], process_table_file(vt_dir, target, kProcessTables[i]), i);
    PorInfo info;
    const bool has_por = ok && layout.por && layout.por->length > 0;
    if (has_por) {
        ok = stage(*layout.por, por_trace_path(vt_dir, target), -1) &&
             stage(*layout.interval, interval_path(vt_dir, target), -1);
        std::array<std::uint8_t, kPorInfoBlockSize> block{};
        ok = ok && read_at(in.get(), *layout.info, block.data(), block.size());
        if (ok) info.read(block.data());
    }
    std::string problem;
    for (Staged& s : staged) {
        if (!ok || !problem.empty()) break;
        if (vsys::Result r = s.file->prepare(); !r) ok = false;
        else if (s.table >= 0) problem = table_member_problem(s.file->temp_path(), s.table);
    }
    if (ok && problem.empty() && has_por && !info_in_range(info))
        problem = "its process-of-record information holds values out of range";
    if (!ok || !problem.empty()) {
        const std::string text =
            problem.empty() ? vsys::strprintf("The setup file %s could not be imported; nothing was changed.", path.c_str())
                            : vsys::strprintf("The setup file %s could not be imported: %s; nothing was changed.",
                                              path.c_str(), problem.c_str());
        MessagePopup("Import Error", text.c_str());
        return -1;
    }
    vsys::Result placed = vsys::Result::success();
    for (int i = 0; i < 5 && placed; ++i) {
        // A table file of another case would be found before ours: ours replaces it.
        std::string existing = existing_table_file(vt_dir, target, kProcessTables[i]);
        if (layout.tables[i].length > 0 && existing != process_table_file(vt_dir, target, kProcessTables[i]))
            placed = vsys::delete_file_if_present(existing);
    }
    for (Staged& s : staged)
        if (placed) placed = s.file->commit();
    in.reset();
    if (!placed) {
        MessagePopup("Import Error", vsys::strprintf("The setup file %s could not be imported: %s",
                                                     path.c_str(), placed.error.c_str())
                                         .c_str());
        return -1;
    }

    if (has_por) {
        RunContextKeeper keep;
        copy_bounded(save_date, info.date, 10);
        copy_bounded(save_time, info.time, 8);
        sample_rate_index = info.rate;
        num_of_wafers = info.wafers;
        VantrelChannelStatusBits = info.mask;
        info_table({hdbc, -1, target, info.system, info.trace, info.recipe, info.comment, &info.complete,
                    &info.cassette});
    }
    setup_seams().update_menu();

    recipe_num = target;
    vsys::format_into(text, sizeof text, "%d", target);
    get_put_char(hdbc, 0, 5, CONFIG_WRITE, text);
    copy_text(text, display_name);
    get_put_char(hdbc, 1, target, CONFIG_WRITE, text);
    LoadSetup();
    return 1;
}
