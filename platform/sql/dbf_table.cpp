// dBase III table files through shapelib's DBF functions, with the blocks read so far and the field indexes.
#include "platform/sql/dbf_table.h"

#include <shapefil.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <strings.h>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <numeric>
#include <mutex>
#include <set>
#include <string_view>
#include <unordered_map>

#include "platform/sql/order_notes.h"
#include "platform/sys/atomic_file.h"
#include "platform/sys/clock.h"
#include "platform/sys/dir_handle.h"
#include "platform/sys/fault_plan.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"

namespace vsql {
namespace {

// shapelib derives the names of companion files from the path it is given and
// only knows the extensions ".dbf" and ".DBF"; the hooks below open exactly
// the file we found (whatever the case of its name), refuse the code-page
// companion and note any failed write, seek or flush, which shapelib itself
// does not report.
thread_local const char* t_open_path = nullptr;
thread_local bool t_io_failed = false;

// A file that failed once fails for good, until it is opened again. shapelib
// carries on after a failed call, and the header would then be rewritten from
// what a failed read left. Nothing more reaches such a file; the table is read
// again from disk.
struct IoFaults {
    std::mutex mutex;
    std::set<const void*> failed;
};
IoFaults& io_faults()
{
    static IoFaults f;
    return f;
}

struct HookFile;
bool refused(const HookFile* f, vsys::FileOp op);

void mark_failed(const void* f)
{
    t_io_failed = true;
    IoFaults& faults = io_faults();
    std::lock_guard lock(faults.mutex);
    faults.failed.insert(f);
}

bool ends_with_nocase(const char* text, const char* suffix)
{
    std::size_t n = std::strlen(text), m = std::strlen(suffix);
    return n >= m && strcasecmp(text + n - m, suffix) == 0;
}

// shapelib seeks to the record, writes it, then seeks to the header, reads it
// back and rewrites it, for every statement. Through a buffered stream each of
// those seeks costs system calls of its own; here a seek only moves our
// position and every read or write goes to the file at once, at that position.
struct HookFile {
    int fd = -1;
    std::int64_t position = 0;
    std::string path;  // for the fault plan
};

// True when the call must not run: the file failed before, or the fault plan makes this call fail.
bool refused(const HookFile* f, vsys::FileOp op)
{
    IoFaults& faults = io_faults();
    std::lock_guard lock(faults.mutex);
    if (faults.failed.count(f)) return true;
    if (vsys::file_fault(op, f->path)) {
        faults.failed.insert(f);
        return true;
    }
    return false;
}

HookFile* file_of(SAFile f) { return reinterpret_cast<HookFile*>(f); }

SAFile hook_open(const char* filename, const char* access)
{
    if (ends_with_nocase(filename, ".cpg")) return nullptr;
    const char* target = (t_open_path && ends_with_nocase(filename, ".dbf")) ? t_open_path : filename;
    const bool update = std::strchr(access, '+') != nullptr;
    int flags = O_CLOEXEC;
    switch (access[0]) {
    case 'r': flags |= update ? O_RDWR : O_RDONLY; break;
    case 'w': flags |= (update ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC; break;
    case 'a': flags |= (update ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND; break;
    default: return nullptr;
    }
    // In a directory held by handle a table file that is a link is refused: it could lead out of it.
    if (vsys::is_handle_path(target)) flags |= O_NOFOLLOW;
    const int fd = ::open(target, flags, 0666);
    if (fd < 0) return nullptr;
    auto* file = new HookFile;
    file->fd = fd;
    file->path = target;
    return reinterpret_cast<SAFile>(file);
}
SAOffset hook_read(void* p, SAOffset size, SAOffset n, SAFile f)
{
    HookFile* file = file_of(f);
    if (refused(file, vsys::FileOp::read)) {
        mark_failed(file);
        return 0;
    }
    if (size == 0 || n == 0) return 0;
    const std::size_t want = static_cast<std::size_t>(size * n);
    std::size_t got = 0;
    while (got < want) {
        ssize_t r = ::pread(file->fd, static_cast<char*>(p) + got, want - got, static_cast<off_t>(file->position + got));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        got += static_cast<std::size_t>(r);
    }
    file->position += static_cast<std::int64_t>(got);
    return got / size;
}
SAOffset hook_write(void* p, SAOffset size, SAOffset n, SAFile f)
{
    HookFile* file = file_of(f);
    if (refused(file, vsys::FileOp::write)) {
        mark_failed(file);
        return 0;
    }
    if (size == 0 || n == 0) return 0;
    const std::size_t want = static_cast<std::size_t>(size * n);
    std::size_t done = 0;
    while (done < want) {
        ssize_t r = ::pwrite(file->fd, static_cast<const char*>(p) + done, want - done,
                             static_cast<off_t>(file->position + done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        done += static_cast<std::size_t>(r);
    }
    file->position += static_cast<std::int64_t>(done);
    if (done != want) mark_failed(file);
    return done / size;
}
SAOffset hook_seek(SAFile f, SAOffset offset, int whence)
{
    HookFile* file = file_of(f);
    if (refused(file, vsys::FileOp::seek)) {
        mark_failed(file);
        return -1;
    }
    std::int64_t base = 0;
    if (whence == SEEK_CUR) {
        base = file->position;
    } else if (whence == SEEK_END) {
        struct stat st {};
        if (::fstat(file->fd, &st) != 0) {
            mark_failed(file);
            return -1;
        }
        base = static_cast<std::int64_t>(st.st_size);
    } else if (whence != SEEK_SET) {
        mark_failed(file);
        return -1;
    }
    const std::int64_t to = base + static_cast<std::int64_t>(offset);
    if (to < 0) {
        mark_failed(file);
        return -1;
    }
    file->position = to;
    return 0;
}
SAOffset hook_tell(SAFile f) { return static_cast<SAOffset>(file_of(f)->position); }
int hook_flush(SAFile f)
{
    // Nothing is held back: every write reached the file when it was made.
    HookFile* file = file_of(f);
    if (refused(file, vsys::FileOp::flush)) {
        mark_failed(file);
        return EOF;
    }
    return 0;
}
int hook_close(SAFile f)
{
    HookFile* file = file_of(f);
    {
        IoFaults& faults = io_faults();
        std::lock_guard lock(faults.mutex);
        if (faults.failed.erase(file)) t_io_failed = true;
    }
    int rc = ::close(file->fd);
    delete file;
    if (rc != 0) t_io_failed = true;
    return rc;
}
int hook_remove(const char* filename) { return std::remove(filename); }
void hook_error(const char*) { t_io_failed = true; }
double hook_atof(const char* text) { return std::atof(text); }

SAHooks make_hooks()
{
    SAHooks h{};
    h.FOpen = hook_open;
    h.FRead = hook_read;
    h.FWrite = hook_write;
    h.FSeek = hook_seek;
    h.FTell = hook_tell;
    h.FFlush = hook_flush;
    h.FClose = hook_close;
    h.Remove = hook_remove;
    h.Error = hook_error;
    h.Atof = hook_atof;
    return h;
}

DBFHandle open_dbf(const std::string& path, bool& writable)
{
    SAHooks hooks = make_hooks();
    t_open_path = path.c_str();
    t_io_failed = false;
    DBFHandle h = DBFOpenLL(path.c_str(), "rb+", &hooks);
    writable = h != nullptr;
    // Only a file that cannot be opened for writing is taken read-only: one whose header could not be
    // read is not opened at all, or the table would stay read-only after the disk recovered.
    if (!h && !t_io_failed) h = DBFOpenLL(path.c_str(), "rb", &hooks);
    t_open_path = nullptr;
    return h;
}

void stamp_today(DBFHandle h)
{
    vsys::CivilTime now = vsys::civil_now();
    DBFSetLastModifiedDate(h, now.year - 1900, now.month, now.day);
}

std::map<std::string, std::weak_ptr<DbfTable>>& registry()
{
    static std::map<std::string, std::weak_ptr<DbfTable>> tables;
    return tables;
}

std::string upper(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Formats a number into exactly `width` characters, right-aligned, with as
// many of `decimals` as fit; nothing when even the integer part does not fit.
std::optional<std::string> format_number(double v, int width, int decimals)
{
    if (!std::isfinite(v)) return std::nullopt;
    for (int d = decimals; d >= 0; --d) {
        std::string text = vsys::strprintf("%.*f", d, v);
        if (text[0] == '-' && text.find_first_not_of("0.", 1) == std::string::npos) text.erase(0, 1);
        if (static_cast<int>(text.size()) <= width) return std::string(width - text.size(), ' ') + text;
    }
    return std::nullopt;
}

std::optional<double> parse_number(const char* p, int width)
{
    // Most fields hold plain integers: read those without strtod.
    {
        int i = 0;
        while (i < width && (p[i] == ' ' || p[i] == '\0')) ++i;
        bool negative = i < width && p[i] == '-';
        if (negative || (i < width && p[i] == '+')) ++i;
        int digits = 0;
        std::int64_t v = 0;
        while (i < width && p[i] >= '0' && p[i] <= '9' && digits < 18) {
            v = v * 10 + (p[i] - '0');
            ++i;
            ++digits;
        }
        int j = i;
        while (j < width && (p[j] == ' ' || p[j] == '\0')) ++j;
        if (digits > 0 && j == width && (i == width || p[i] == ' ' || p[i] == '\0'))
            return static_cast<double>(negative ? -v : v);
        // A plain decimal of at most 15 digits: both the digits and the power of ten are exact doubles,
        // so one division rounds as strtod does.
        if (i < width && p[i] == '.') {
            int k = i + 1, decimals = 0;
            while (k < width && p[k] >= '0' && p[k] <= '9' && digits < 15) {
                v = v * 10 + (p[k] - '0');
                ++k;
                ++digits;
                ++decimals;
            }
            j = k;
            while (j < width && (p[j] == ' ' || p[j] == '\0')) ++j;
            if (digits > 0 && digits < 16 && j == width && (k == width || p[k] == ' ' || p[k] == '\0')) {
                static constexpr double kTens[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                   1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
                const double d = static_cast<double>(v) / kTens[decimals];
                return negative ? -d : d;
            }
        }
    }
    char buf[64];
    int n = 0;
    for (int i = 0; i < width; ++i)
        if (p[i] != ' ' && p[i] != '\0') {
            if (n >= 63) return std::nullopt;
            buf[n++] = p[i];
        }
    if (n == 0) return std::nullopt;
    buf[n] = '\0';
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(buf, &end);
    if (end == buf || *end != '\0' || !std::isfinite(v)) return std::nullopt;
    return v;
}

constexpr double kNoNumber = std::numeric_limits<double>::quiet_NaN();

double field_number(const char* rec, const DbfField& f)
{
    auto v = parse_number(rec + f.offset, f.width);
    return v ? *v : kNoNumber;
}

// Empty fields first, as SQLite orders NULL.
bool number_before(double a, double b) { return std::isnan(a) ? !std::isnan(b) : (!std::isnan(b) && a < b); }

std::string text_key(const char* rec, const DbfField& f)
{
    std::string text(rec + f.offset, f.width);
    for (char& c : text)
        if (c == '\0') c = ' ';
    return rtrim_blanks(text);
}

// About 64 KB of records per block: one read each, few enough to keep a table of years.
constexpr std::size_t kBlockBytes = 64 * 1024;

}  // namespace

std::optional<std::vector<DbfField>> inspect_dbf_file(const std::string& path, std::string& error)
{
    auto size = vsys::file_size(path);
    vsys::FilePtr f = size ? vsys::open_file(path, "rb") : nullptr;
    if (!f) {
        error = "it cannot be opened";
        return std::nullopt;
    }
    unsigned char head[32];
    if (*size < 32 || std::fread(head, 1, 32, f.get()) != 32) {
        error = "it is too short for a dBase header";
        return std::nullopt;
    }
    auto le16 = [](const unsigned char* p) { return static_cast<std::uint64_t>(p[0] | p[1] << 8); };
    const std::uint64_t records = static_cast<std::uint64_t>(head[4]) | static_cast<std::uint64_t>(head[5]) << 8 |
                                  static_cast<std::uint64_t>(head[6]) << 16 | static_cast<std::uint64_t>(head[7]) << 24;
    const std::uint64_t header_length = le16(head + 8), record_length = le16(head + 10);
    if ((head[0] & 0x07) != 0x03 || header_length < 65 || header_length > *size || (header_length - 33) % 32 > 1) {
        error = "its header is not that of a dBase III table";
        return std::nullopt;
    }
    std::vector<DbfField> fields;
    int offset = 1;
    for (std::uint64_t at = 32; at + 32 < header_length + 1; at += 32) {
        unsigned char d[32];
        if (std::fread(d, 1, 1, f.get()) != 1) break;
        if (d[0] == 0x0D) break;
        if (std::fread(d + 1, 1, 31, f.get()) != 31) {
            error = "its field list is cut short";
            return std::nullopt;
        }
        DbfField field;
        field.name.assign(reinterpret_cast<const char*>(d), strnlen(reinterpret_cast<const char*>(d), 11));
        field.type = static_cast<char>(d[11]);
        field.width = d[16];
        field.decimals = d[17];
        field.offset = offset;
        const bool named = !field.name.empty() && std::all_of(field.name.begin(), field.name.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
        });
        if (!named || std::strchr("CNFDLM", field.type) == nullptr || field.type == '\0' || field.width == 0) {
            error = "its field list is not that of a dBase table";
            return std::nullopt;
        }
        offset += field.width;
        fields.push_back(field);
    }
    if (fields.empty() || static_cast<std::uint64_t>(offset) != record_length) {
        error = "its record length does not match its fields";
        return std::nullopt;
    }
    if (header_length + records * record_length > *size) {
        error = "it holds fewer records than its header declares";
        return std::nullopt;
    }
    // The engine itself must read it as well.
    std::string why;
    auto table = DbfTable::open(path, why);
    if (!table || table->fields().size() != fields.size() || table->record_count() != static_cast<int>(records)) {
        error = why.empty() ? "it cannot be read as a dBase table" : why;
        return std::nullopt;
    }
    return fields;
}


std::string rtrim_blanks(const std::string& text)
{
    std::size_t end = text.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

std::optional<FileSignature> file_signature(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    FileSignature s;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.mtime_ns = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.ctime_ns = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return s;
}

DbfTable::DbfTable(std::string path) : path_(std::move(path)) {}

DbfTable::~DbfTable() { close_handle(); }

void DbfTable::close_handle()
{
    if (handle_) {
        std::string ignored;
        flush(ignored);
        // Everything of ours is on disk; keep shapelib from rewriting the
        // header over rows another program may have appended since.
        DBFHandle h = static_cast<DBFHandle>(handle_);
        h->bUpdated = 0;
        DBFClose(h);
        handle_ = nullptr;
    }
}

std::shared_ptr<DbfTable> DbfTable::open(const std::string& path, std::string& error)
{
    auto& tables = registry();
    for (auto it = tables.begin(); it != tables.end();) it = it->second.expired() ? tables.erase(it) : std::next(it);
    std::shared_ptr<DbfTable> table = tables[path].lock();
    if (!table) {
        table.reset(new DbfTable(path));
        if (!table->load(error)) {
            tables.erase(path);
            return nullptr;
        }
        tables[path] = table;
        return table;
    }
    Freshness f = table->refresh(error);
    if (f == Freshness::missing || f == Freshness::failed) return nullptr;
    return table;
}

bool DbfTable::load(std::string& error)
{
    close_handle();
    auto sig = file_signature(path_);
    if (!sig) {
        error = "The table file " + path_ + " does not exist";
        return false;
    }
    DBFHandle h = open_dbf(path_, writable_);
    if (!h) {
        error = "The table file " + path_ + " cannot be read as a dBase file";
        return false;
    }
    std::vector<DbfField> fields;
    int nfields = DBFGetFieldCount(h);
    for (int i = 0; i < nfields; ++i) {
        char name[XBASE_FLDNAME_LEN_READ + 1] = {};
        int width = 0, decimals = 0;
        DBFGetFieldInfo(h, i, name, &width, &decimals);
        DbfField f;
        f.name = name;
        f.type = DBFGetNativeFieldType(h, i);
        f.width = width;
        f.decimals = decimals;
        f.offset = h->panFieldOffset[i];  // counts the deletion flag already
        fields.push_back(f);
    }
    bool same_columns = fields.size() == fields_.size();
    for (std::size_t i = 0; same_columns && i < fields.size(); ++i)
        same_columns = fields[i].name == fields_[i].name && fields[i].type == fields_[i].type &&
                       fields[i].width == fields_[i].width && fields[i].decimals == fields_[i].decimals &&
                       fields[i].offset == fields_[i].offset;
    if (!same_columns) ++schema_version_;
    ++layout_version_;
    fields_ = std::move(fields);
    record_length_ = h->nRecordLength;
    header_length_ = h->nHeaderLength;
    int n = DBFGetRecordCount(h);
    // Never trust a header count beyond what the file can hold: a writer still
    // appending leaves fewer records than its header says.
    if (record_length_ > 0 && sig->size > static_cast<std::uint64_t>(header_length_)) {
        std::uint64_t fit = (sig->size - static_cast<std::uint64_t>(header_length_)) / static_cast<std::uint64_t>(record_length_);
        if (static_cast<std::uint64_t>(n) > fit) n = static_cast<int>(fit);
    } else {
        n = 0;
    }
    count_ = std::max(n, 0);
    readable_rows_ = count_;
    // The records are read when a statement reaches them, from this stream,
    // which stays on the file found now even when another replaces it.
    reader_ = vsys::open_file(path_, "rb");
    if (!reader_) {
        DBFClose(h);
        error = "The table file " + path_ + " cannot be read";
        return false;
    }
    block_rows_ = std::max<std::size_t>(1, kBlockBytes / static_cast<std::size_t>(std::max(record_length_, 1)));
    blocks_.clear();
    blocks_.resize((static_cast<std::size_t>(count_) + block_rows_ - 1) / block_rows_ + 1);
    handle_ = h;
    signature_ = *sig;
    dirty_ = false;
    pending_deletes_.clear();
    indexes_.clear();
    indexes_.resize(fields_.size());
    multi_orders_.clear();
    ascending_.assign(fields_.size(), false);
    noted_ = ascending_;
    read_order_note(*sig);
    return true;
}

void DbfTable::read_order_note(const FileSignature& signature)
{
    if (count_ < kOrderNotedFromRows || !reader_) return;
    std::string header(static_cast<std::size_t>(header_length_), '\0');
    if (::pread(::fileno(reader_.get()), header.data(), header.size(), 0) != static_cast<ssize_t>(header.size())) return;
    // The note must describe the file that was read, not one that changed while it was opened.
    auto now = file_signature(path_);
    if (!now || !(*now == signature)) return;
    for (int field : noted_ascending_fields(path_, signature, header))
        if (field >= 0 && static_cast<std::size_t>(field) < fields_.size() && fields_[field].numeric())
            ascending_[field] = noted_[field] = true;
}

void DbfTable::write_order_note(bool file_changed)
{
    if (count_ < kOrderNotedFromRows || dirty_ || !reader_) return;
    if (file_changed ? std::find(ascending_.begin(), ascending_.end(), true) == ascending_.end() : ascending_ == noted_) return;
    // Only for the file as memory knows it: nothing else wrote it since it was read or flushed.
    auto before = file_signature(path_);
    if (!before || !(*before == signature_)) return;
    std::string header(static_cast<std::size_t>(header_length_), '\0');
    if (::pread(::fileno(reader_.get()), header.data(), header.size(), 0) != static_cast<ssize_t>(header.size())) return;
    auto after = file_signature(path_);
    if (!after || !(*after == *before)) return;
    std::vector<int> fields;
    for (std::size_t f = 0; f < ascending_.size(); ++f)
        if (ascending_[f]) fields.push_back(static_cast<int>(f));
    note_ascending_fields(path_, *before, header, fields);
    noted_ = ascending_;
}

// Appends and changes keep a known order only where the row still fits between its neighbours.
void DbfTable::check_order_at(int row)
{
    for (std::size_t f = 0; f < ascending_.size(); ++f) {
        if (!ascending_[f]) continue;
        const double here = field_number(record(row), fields_[f]);
        if ((row > 0 && number_before(here, field_number(record(row - 1), fields_[f]))) ||
            (row + 1 < count_ && number_before(field_number(record(row + 1), fields_[f]), here)))
            ascending_[f] = false;
    }
}

std::optional<double> DbfTable::probe_number(int field, int row) const
{
    const std::size_t block = static_cast<std::size_t>(row) / block_rows_;
    const DbfField& f = fields_[field];
    if ((block < blocks_.size() && blocks_[block]) || row >= readable_rows_) return field_number(record(row), f);
    char bytes[256];
    const off_t at = static_cast<off_t>(header_length_) + static_cast<off_t>(row) * record_length_ + f.offset;
    if (f.width > static_cast<int>(sizeof bytes) || ::pread(::fileno(reader_.get()), bytes, static_cast<std::size_t>(f.width), at) != f.width)
        return std::nullopt;
    const std::optional<double> v = parse_number(bytes, f.width);
    return v ? *v : kNoNumber;
}

bool DbfTable::probe_lookup(int field, double key, std::vector<int>& rows)
{
    // The first row not below the key, then the first row above it.
    auto bound = [&](bool above, int& out) {
        int lo = 0, hi = count_;
        while (lo < hi) {
            const int mid = lo + (hi - lo) / 2;
            const std::optional<double> v = probe_number(field, mid);
            if (!v) return false;
            if (above ? !number_before(key, *v) : number_before(*v, key)) lo = mid + 1;
            else hi = mid;
        }
        out = lo;
        return true;
    };
    int first = 0, last = 0;
    if (!bound(false, first) || !bound(true, last)) return false;
    for (int r = first; r < last; ++r) rows.push_back(r);
    return true;
}

const char* DbfTable::read_block(std::size_t block) const
{
    if (block >= blocks_.size()) blocks_.resize(block + 1);
    const std::size_t bytes = block_rows_ * static_cast<std::size_t>(record_length_);
    std::unique_ptr<char[]> data(new char[bytes]);
    const std::int64_t first = static_cast<std::int64_t>(block * block_rows_);
    const std::int64_t rows = std::clamp<std::int64_t>(readable_rows_ - first, 0, static_cast<std::int64_t>(block_rows_));
    std::size_t got = 0;
    const std::size_t want = static_cast<std::size_t>(rows) * record_length_;
    const off_t at = static_cast<off_t>(header_length_) + static_cast<off_t>(first) * record_length_;
    while (got < want) {
        ssize_t r = ::pread(::fileno(reader_.get()), data.get() + got, want - got, at + static_cast<off_t>(got));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        got += static_cast<std::size_t>(r);
    }
    // Records the file no longer holds (cut short by another program since it
    // was opened) read as deleted; the next statement reads the file again.
    // Rows past those the file held are only ever written before they are read.
    for (std::size_t row = got / record_length_; row < static_cast<std::size_t>(rows); ++row) {
        char* rec = data.get() + row * record_length_;
        std::memset(rec, ' ', record_length_);
        rec[0] = '*';
    }
    blocks_[block] = std::move(data);
    return blocks_[block].get();
}

void DbfTable::for_each_block(const std::function<void(int, int, const char*)>& fn) const
{
    std::unique_ptr<char[]> buffer;
    for (std::size_t block = 0; block * block_rows_ < static_cast<std::size_t>(count_); ++block) {
        const int first = static_cast<int>(block * block_rows_);
        const int rows = std::min(count_ - first, static_cast<int>(block_rows_));
        if (block < blocks_.size() && blocks_[block]) {
            fn(first, rows, blocks_[block].get());
            continue;
        }
        // Read as read_block does, into a buffer that is not kept.
        if (!buffer) buffer.reset(new char[block_rows_ * static_cast<std::size_t>(record_length_)]);
        const std::size_t want = static_cast<std::size_t>(rows) * record_length_;
        const off_t at = static_cast<off_t>(header_length_) + static_cast<off_t>(first) * record_length_;
        std::size_t got = 0;
        if (first < readable_rows_) {
            while (got < want) {
                ssize_t r = ::pread(::fileno(reader_.get()), buffer.get() + got, want - got, at + static_cast<off_t>(got));
                if (r < 0 && errno == EINTR) continue;
                if (r <= 0) break;
                got += static_cast<std::size_t>(r);
            }
        }
        for (std::size_t row = got / record_length_; row < static_cast<std::size_t>(rows); ++row) {
            char* rec = buffer.get() + row * record_length_;
            std::memset(rec, ' ', record_length_);
            rec[0] = '*';
        }
        fn(first, rows, buffer.get());
    }
}

DbfTable::Freshness DbfTable::refresh(std::string& error)
{
    auto sig = file_signature(path_);
    if (!sig) {
        close_handle();
        return Freshness::missing;
    }
    if (*sig == signature_) return Freshness::same;
    if (!load(error)) return Freshness::failed;
    return Freshness::reloaded;
}

int DbfTable::field_index(const std::string& name) const
{
    for (std::size_t i = 0; i < fields_.size(); ++i)
        if (strcasecmp(fields_[i].name.c_str(), name.c_str()) == 0) return static_cast<int>(i);
    return -1;
}

Value DbfTable::value(int row, int field) const
{
    const DbfField& f = fields_[field];
    const char* p = record(row) + f.offset;
    if (f.numeric()) {
        auto v = parse_number(p, f.width);
        if (!v) return {};
        if (f.decimals == 0 && *v == std::floor(*v) && std::fabs(*v) < 9.0e15)
            return static_cast<std::int64_t>(*v);
        return *v;
    }
    std::string text(p, f.width);
    for (char& c : text)
        if (c == '\0') c = ' ';
    return text;
}

std::string DbfTable::blank_record() const { return std::string(record_length_, ' '); }

EncodeStatus DbfTable::encode(std::string& rec, int field, const Value& value) const
{
    const DbfField& f = fields_[field];
    char* out = rec.data() + f.offset;
    if (f.numeric()) {
        double v = 0;
        if (is_null(value)) {
            std::memset(out, ' ', f.width);
            return EncodeStatus::ok;
        }
        if (auto* i = std::get_if<std::int64_t>(&value)) v = static_cast<double>(*i);
        else if (auto* d = std::get_if<double>(&value)) v = *d;
        else {
            const std::string& s = std::get<std::string>(value);
            auto parsed = parse_number(s.c_str(), static_cast<int>(s.size()));
            if (!parsed) {
                if (rtrim_blanks(s).empty()) {
                    std::memset(out, ' ', f.width);
                    return EncodeStatus::ok;
                }
                return EncodeStatus::out_of_range;
            }
            v = *parsed;
        }
        auto text = format_number(v, f.width, f.decimals);
        if (!text) return EncodeStatus::out_of_range;
        std::memcpy(out, text->data(), f.width);
        return EncodeStatus::ok;
    }
    std::string text;
    if (auto* i = std::get_if<std::int64_t>(&value)) text = vsys::strprintf("%lld", static_cast<long long>(*i));
    else if (auto* d = std::get_if<double>(&value)) text = vsys::strprintf("%.15g", *d);
    else if (auto* s = std::get_if<std::string>(&value)) text = *s;
    std::memset(out, ' ', f.width);
    std::size_t n = std::min<std::size_t>(text.size(), f.width);
    std::memcpy(out, text.data(), n);
    return rtrim_blanks(text).size() > static_cast<std::size_t>(f.width) ? EncodeStatus::truncated : EncodeStatus::ok;
}

char* DbfTable::writable_record(int row)
{
    // The block is read before shapelib writes into it: what the file holds
    // afterwards may still sit in shapelib's buffers.
    record(row);
    const std::size_t block = static_cast<std::size_t>(row) / block_rows_;
    return blocks_[block].get() + (static_cast<std::size_t>(row) % block_rows_) * record_length_;
}

bool DbfTable::append(const std::string& rec, int& row, std::string& error)
{
    if (!handle_ || !writable_) {
        error = "The table file " + path_ + " cannot be written";
        return false;
    }
    std::string r = rec;
    r[0] = ' ';
    note_before_write(-1);
    char* dst = writable_record(count_);
    t_io_failed = false;
    if (!DBFWriteTuple(static_cast<DBFHandle>(handle_), count_, r.data()) || t_io_failed) {
        io_failed(error);
        return false;
    }
    row = count_++;
    std::memcpy(dst, r.data(), record_length_);
    dirty_ = true;
    index_row(row, dst);
    check_order_at(row);
    return true;
}

void DbfTable::index_row(int row, const char* rec)
{
    multi_orders_.clear();
    for (std::size_t f = 0; f < indexes_.size(); ++f) {
        FieldIndex* index = indexes_[f].get();
        if (!index) continue;
        if (index->numbers_ready) {
            double key = field_number(rec, fields_[f]);
            index->numbers.push_back(key);
            if (index->order_ready) {
                // Scans still holding the order keep theirs.
                if (index->order.use_count() > 1) index->order = std::make_shared<std::vector<int>>(*index->order);
                std::vector<int>& order = *index->order;
                auto at = std::upper_bound(order.begin(), order.end(), key,
                                           [&](double k, int r) { return number_before(k, index->numbers[r]); });
                const bool new_key = at == order.begin() || number_before(index->numbers[*(at - 1)], key);
                order.insert(at, row);
                if (new_key) ++index->distinct;
            }
        }
        if (index->texts) (*index->texts)[text_key(rec, fields_[f])].push_back(row);
    }
}

void DbfTable::reindex_row(int row, const char* before, const char* after)
{
    multi_orders_.clear();
    for (std::size_t f = 0; f < indexes_.size(); ++f) {
        FieldIndex* index = indexes_[f].get();
        const DbfField& field = fields_[f];
        if (!index || std::memcmp(before + field.offset, after + field.offset, field.width) == 0) continue;
        if (index->numbers_ready) index->numbers[row] = field_number(after, field);
        index->order.reset();
        index->order_ready = false;
        index->texts.reset();
    }
}

bool DbfTable::replace(int row, const std::string& rec, std::string& error)
{
    if (!handle_ || !writable_ || row < 0 || row >= count_) {
        error = "The record cannot be written to " + path_;
        return false;
    }
    note_before_write(row);
    char* dst = writable_record(row);
    t_io_failed = false;
    std::string r = rec;
    if (!DBFWriteTuple(static_cast<DBFHandle>(handle_), row, r.data()) || t_io_failed) {
        io_failed(error);
        return false;
    }
    reindex_row(row, dst, r.data());
    std::memcpy(dst, r.data(), record_length_);
    dirty_ = true;
    check_order_at(row);
    return true;
}

bool DbfTable::remove(int row, std::string& error)
{
    if (!handle_ || !writable_ || row < 0 || row >= count_) {
        error = "The record cannot be deleted from " + path_;
        return false;
    }
    note_before_write(row);
    char* dst = writable_record(row);
    // The flag reaches the file with the statement's flush, in one write per block:
    // a delete of many rows costs no read and write of each record.
    if (dst[0] != '*') pending_deletes_.push_back(row);
    dst[0] = '*';
    dirty_ = true;
    return true;
}

bool DbfTable::write_deletions()
{
    if (pending_deletes_.empty()) return true;
    std::vector<int> rows;
    rows.swap(pending_deletes_);
    std::sort(rows.begin(), rows.end());
    DBFHandle h = static_cast<DBFHandle>(handle_);
    // shapelib's copy of its current record may predate the flag: it must not write it back.
    h->nCurrentRecord = -1;
    h->bCurrentRecordModified = 0;
    for (std::size_t i = 0; i < rows.size();) {
        // The records from the first to the last flagged row of one block, as memory holds them
        // (the same bytes as the file, but for the flags).
        const std::size_t block = static_cast<std::size_t>(rows[i]) / block_rows_;
        std::size_t j = i;
        while (j + 1 < rows.size() && static_cast<std::size_t>(rows[j + 1]) / block_rows_ == block) ++j;
        const int first = rows[i], last = rows[j];
        const char* data = record(first);
        const SAOffset at = static_cast<SAOffset>(header_length_) + static_cast<SAOffset>(first) * record_length_;
        const SAOffset bytes = static_cast<SAOffset>(last - first + 1) * record_length_;
        if (h->sHooks.FSeek(h->fp, at, SEEK_SET) != 0 || h->sHooks.FWrite(const_cast<char*>(data), 1, bytes, h->fp) != bytes)
            return false;
        i = j + 1;
    }
    return true;
}

void DbfTable::note_before_write(int row)
{
    if (!undo_.active) {
        undo_.active = true;
        const int fd = ::fileno(reader_.get());
        struct stat st {};
        undo_.size = ::fstat(fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
        auto read_at = [&](std::uint64_t at, std::uint64_t n) {
            std::string bytes(static_cast<std::size_t>(n), '\0');
            ssize_t got = n ? ::pread(fd, bytes.data(), bytes.size(), static_cast<off_t>(at)) : 0;
            bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
            return bytes;
        };
        undo_.head = read_at(0, std::min<std::uint64_t>(32, undo_.size));
        const std::uint64_t data_end = static_cast<std::uint64_t>(header_length_) +
                                       static_cast<std::uint64_t>(count_) * static_cast<std::uint64_t>(record_length_);
        // Normally the one end-of-file byte; whatever a writer left there goes back as it was.
        undo_.tail_at = data_end;
        if (undo_.size > data_end) undo_.tail = read_at(data_end, std::min<std::uint64_t>(undo_.size - data_end, 1 << 20));
    }
    if (row >= 0 && row < count_ && !undo_.records.count(row)) {
        // Memory holds what the file holds, but for deletion flags of this statement, noted before they are set.
        undo_.records.emplace(row, std::string(record(row), static_cast<std::size_t>(record_length_)));
    }
}

void DbfTable::undo_changes()
{
    if (!undo_.active) return;
    Undo undo = std::move(undo_);
    undo_ = Undo{};
    // Nothing more of this statement may reach the file through shapelib.
    if (auto* h = static_cast<DBFHandle>(handle_)) {
        h->bCurrentRecordModified = 0;
        h->bUpdated = 0;
        h->nCurrentRecord = -1;
    }
    dirty_ = false;
    pending_deletes_.clear();
    close_handle();
    // Straight to the file, not through the hooks: a file that failed once refuses them. Cutting the
    // file back and rewriting bytes in place needs no new space on a full disk.
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC | (vsys::is_handle_path(path_) ? O_NOFOLLOW : 0));
    if (fd >= 0) {
        auto put = [&](std::uint64_t at, const std::string& bytes) {
            std::size_t done = 0;
            while (done < bytes.size()) {
                ssize_t w = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(at + done));
                if (w < 0 && errno == EINTR) continue;
                if (w <= 0) break;
                done += static_cast<std::size_t>(w);
            }
        };
        if (::ftruncate(fd, static_cast<off_t>(undo.size)) == 0) put(undo.tail_at, undo.tail);
        for (const auto& [row, bytes] : undo.records)
            put(static_cast<std::uint64_t>(header_length_) + static_cast<std::uint64_t>(row) * static_cast<std::uint64_t>(record_length_), bytes);
        put(0, undo.head);
        ::close(fd);
    }
    // Memory follows the file again; a file that cannot be read is found so by the next statement.
    std::string ignored;
    if (!load(ignored)) signature_ = FileSignature{};
}

void DbfTable::io_failed(std::string& error)
{
    // What reached the disk is unknown: the file is read again before the next statement.
    signature_ = FileSignature{};
    error = "Writing to " + path_ + " failed";
}

bool DbfTable::flush(std::string& error)
{
    if (!dirty_ || !handle_) return true;
    dirty_ = false;
    t_io_failed = false;
    DBFHandle h = static_cast<DBFHandle>(handle_);
    stamp_today(h);
    // The header and shapelib's pending record first, so the flags are the last word on their rows.
    DBFUpdateHeader(h);
    if (!t_io_failed && !write_deletions()) t_io_failed = true;
    if (!t_io_failed && h->sHooks.FFlush(h->fp) != 0) t_io_failed = true;
    if (t_io_failed) {
        io_failed(error);
        return false;
    }
    if (auto sig = file_signature(path_)) signature_ = *sig;
    // An append of a key not below the last carries the note on to the file as it is now.
    write_order_note(true);
    return true;
}

bool DbfTable::pack(std::string& error)
{
    if (!flush(error)) return false;
    DBFHandle h = static_cast<DBFHandle>(handle_);
    if (!h || !writable_) {
        error = "The table file " + path_ + " cannot be written";
        return false;
    }
    std::string content(static_cast<std::size_t>(h->nHeaderLength), '\0');
    {
        vsys::FilePtr f = vsys::open_file(path_, "rb");
        if (!f || std::fread(content.data(), 1, content.size(), f.get()) != content.size()) {
            error = "The table file " + path_ + " cannot be read";
            return false;
        }
    }
    std::uint32_t live = 0;
    content.reserve(content.size() + static_cast<std::size_t>(count_) * record_length_ + 1);
    // Blocks not read yet are read through, not kept: the table is read again after the rename.
    for_each_block([&](int, int rows, const char* data) {
        for (int i = 0; i < rows; ++i) {
            const char* rec = data + static_cast<std::size_t>(i) * record_length_;
            if (rec[0] == '*') continue;
            content.append(rec, record_length_);
            ++live;
        }
    });
    content.push_back('\x1A');
    vsys::CivilTime now = vsys::civil_now();
    content[1] = static_cast<char>(now.year - 1900);
    content[2] = static_cast<char>(now.month);
    content[3] = static_cast<char>(now.day);
    for (int i = 0; i < 4; ++i) content[4 + i] = static_cast<char>((live >> (8 * i)) & 0xFF);
    vsys::Result r = vsys::write_file_atomic(path_, content);
    if (!r) {
        error = "Packing " + path_ + " failed: " + r.error;
        return false;
    }
    return load(error);
}

// The bytes of an empty table as shapelib writes them: the 32-byte header (dated today, code page
// mark 0x57), one descriptor per field, the header's end mark and the end-of-file mark.
static std::optional<std::string> empty_table_bytes(const std::vector<DbfColumnDef>& columns)
{
    const std::size_t header_length = 32 + 32 * columns.size() + 1;
    std::size_t record_length = 1;
    for (const DbfColumnDef& c : columns) record_length += static_cast<std::size_t>(c.width);
    if (columns.empty() || header_length > 0xFFFF || record_length > 0xFFFF) return std::nullopt;
    std::string bytes(header_length + 1, '\0');
    const vsys::CivilTime now = vsys::civil_now();
    bytes[0] = 0x03;
    bytes[1] = static_cast<char>(now.year - 1900);
    bytes[2] = static_cast<char>(now.month);
    bytes[3] = static_cast<char>(now.day);
    bytes[8] = static_cast<char>(header_length & 0xFF);
    bytes[9] = static_cast<char>(header_length >> 8);
    bytes[10] = static_cast<char>(record_length & 0xFF);
    bytes[11] = static_cast<char>(record_length >> 8);
    bytes[29] = 0x57;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const DbfColumnDef& c = columns[i];
        const std::string name = upper(c.name);
        if (name.empty() || name.size() > 10 || c.width < 1 || c.width > 255) return std::nullopt;
        char* d = bytes.data() + 32 + 32 * i;
        std::memcpy(d, name.data(), name.size());
        d[11] = c.type == 'N' ? 'N' : 'C';
        d[16] = static_cast<char>(c.width);
        d[17] = static_cast<char>(c.type == 'N' ? c.decimals : 0);
    }
    bytes[header_length - 1] = 0x0D;
    bytes[header_length] = 0x1A;
    return bytes;
}

bool DbfTable::create(const std::string& path, const std::vector<DbfColumnDef>& columns, std::string& error)
{
    std::optional<std::string> bytes = empty_table_bytes(columns);
    if (!bytes) {
        error = "The table file " + path + " cannot be created";
        return false;
    }
    const std::string dir = vsys::path_directory(path);
    std::string base = vsys::path_filename(path);
    const std::string temp = vsys::path_join(dir, "~" + base.substr(0, base.rfind('.')) + ".dbf");
    enum class Outcome { done, failed, not_here };
    // Written whole as a file without a name, then given its name: no reader ever sees it part-written,
    // and a file of that name that appeared meanwhile is kept. Where the file system cannot, the file
    // is written under a name no table can have and renamed into place.
    auto attempt = [&](bool unnamed) {
        const int fd = unnamed ? ::open(dir.empty() ? "." : dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666)
                               : ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) return unnamed ? Outcome::not_here : Outcome::failed;
        // Through the same file functions (and injected faults) as every other write of a table.
        t_io_failed = false;
        auto* file = new HookFile;
        file->fd = fd;
        file->path = path;  // a plan for the table's file reaches its making too
        const SAFile f = reinterpret_cast<SAFile>(file);
        const SAOffset n = static_cast<SAOffset>(bytes->size());
        bool ok = hook_write(bytes->data(), 1, n, f) == n;
        ok = hook_flush(f) == 0 && ok && !t_io_failed;
        Outcome outcome = ok ? Outcome::done : Outcome::failed;
        if (ok && unnamed) {
            const std::string self = vsys::strprintf("/proc/self/fd/%d", fd);
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0)
                outcome = errno == EEXIST ? Outcome::failed : Outcome::not_here;
        }
        if (hook_close(f) != 0 && outcome == Outcome::done) outcome = Outcome::failed;
        if (!unnamed && outcome == Outcome::done) {
            vsys::Result r = vsys::rename_replace(temp, path);
            if (!r) {
                outcome = Outcome::failed;
                error = "The table file " + path + " cannot be created: " + r.error;
            }
        }
        if (!unnamed && outcome != Outcome::done) std::remove(temp.c_str());
        return outcome;
    };
    Outcome outcome = attempt(true);
    if (outcome == Outcome::not_here) outcome = attempt(false);
    if (outcome != Outcome::done) {
        if (error.empty()) error = "The table file " + path + " cannot be created";
        return false;
    }
    return true;
}

DbfTable::FieldIndex& DbfTable::numbers_of(int field)
{
    auto& index = indexes_[field];
    if (!index) index = std::make_unique<FieldIndex>();
    if (!index->numbers_ready) {
        // One pass over the field alone: the records themselves are not kept.
        const DbfField& f = fields_[field];
        index->numbers.resize(static_cast<std::size_t>(count_));
        for_each_block([&](int first, int rows, const char* data) {
            for (int i = 0; i < rows; ++i)
                index->numbers[static_cast<std::size_t>(first + i)] = field_number(data + static_cast<std::size_t>(i) * record_length_, f);
        });
        index->numbers_ready = true;
        if (f.numeric()) {
            ascending_[field] = std::is_sorted(index->numbers.begin(), index->numbers.end(), number_before);
            write_order_note(false);
        }
    }
    return *index;
}

DbfTable::RowOrder DbfTable::rows_by_number(int field)
{
    FieldIndex& index = numbers_of(field);
    if (!index.order_ready) {
        const std::vector<double>& numbers = index.numbers;
        auto order = std::make_shared<std::vector<int>>(numbers.size());
        std::iota(order->begin(), order->end(), 0);
        // Run tables are mostly written in key order already.
        if (!std::is_sorted(numbers.begin(), numbers.end(), number_before))
            std::stable_sort(order->begin(), order->end(), [&](int a, int b) { return number_before(numbers[a], numbers[b]); });
        std::size_t distinct = 0;
        for (std::size_t i = 0; i < order->size(); ++i)
            if (i == 0 || number_before(numbers[(*order)[i - 1]], numbers[(*order)[i]])) ++distinct;
        index.order = std::move(order);
        index.distinct = distinct;
        index.order_ready = true;
    }
    return index.order;
}

DbfTable::RowOrder DbfTable::rows_by_numbers(const std::vector<OrderKey>& keys)
{
    if (keys.size() == 1 && !keys[0].descending) return rows_by_number(keys[0].field);
    std::string name;
    for (const OrderKey& k : keys) name += vsys::strprintf("%d%c", k.field, k.descending ? 'd' : 'a');
    auto found = multi_orders_.find(name);
    if (found != multi_orders_.end()) return found->second;
    std::vector<const std::vector<double>*> columns;
    for (const OrderKey& k : keys) columns.push_back(&numbers_of(k.field).numbers);
    // From the first key's order, which is mostly there already: only runs of equal first keys are sorted.
    auto order = std::make_shared<std::vector<int>>(*rows_by_number(keys[0].field));
    const std::vector<double>& first = *columns[0];
    if (keys[0].descending) {
        // Descending, with equal keys still in record order.
        std::reverse(order->begin(), order->end());
        for (auto run = order->begin(); run != order->end();) {
            auto end = run + 1;
            while (end != order->end() && !number_before(first[*end], first[*run]) && !number_before(first[*run], first[*end])) ++end;
            std::reverse(run, end);
            run = end;
        }
    }
    auto rest_before = [&](int a, int b) {
        for (std::size_t k = 1; k < keys.size(); ++k) {
            const double x = (*columns[k])[a], y = (*columns[k])[b];
            if (number_before(x, y)) return !keys[k].descending;
            if (number_before(y, x)) return keys[k].descending;
        }
        return false;
    };
    for (auto run = order->begin(); run != order->end();) {
        auto end = run + 1;
        while (end != order->end() && !number_before(first[*end], first[*run]) && !number_before(first[*run], first[*end])) ++end;
        if (end - run > 1) std::stable_sort(run, end, rest_before);
        run = end;
    }
    RowOrder shared = std::move(order);
    multi_orders_[name] = shared;
    return shared;
}

namespace {

// A text field of every row as SQLite's RTRIM collation compares it: its bytes with NULs read as
// blanks (as the column gives them), trailing blanks ignored.
class TextKeys {
public:
    TextKeys(std::size_t rows, int width) : width_(static_cast<std::size_t>(width)), bytes_(rows * width_), lengths_(rows) {}
    void set(std::size_t row, const char* text)
    {
        char* out = bytes_.data() + row * width_;
        std::memcpy(out, text, width_);
        std::replace(out, out + width_, '\0', ' ');
        std::size_t n = width_;
        while (n > 0 && out[n - 1] == ' ') --n;
        lengths_[row] = n;
    }
    std::string_view at(int row) const
    {
        return {bytes_.data() + static_cast<std::size_t>(row) * width_, lengths_[static_cast<std::size_t>(row)]};
    }
    int compare(int a, int b) const
    {
        const std::size_t na = lengths_[static_cast<std::size_t>(a)], nb = lengths_[static_cast<std::size_t>(b)];
        const int c = std::memcmp(bytes_.data() + static_cast<std::size_t>(a) * width_,
                                  bytes_.data() + static_cast<std::size_t>(b) * width_, std::min(na, nb));
        return c != 0 ? c : (na < nb ? -1 : na > nb ? 1 : 0);
    }

private:
    std::size_t width_;
    std::vector<char> bytes_;
    std::vector<std::size_t> lengths_;
};

}  // namespace

// Rows in the order of a text field that holds few values (systems, processes): each value's rows in record
// order, the values sorted. False, leaving `order` alone, when the field holds many.
bool by_few_texts(const TextKeys& text, bool descending, std::vector<int>& order)
{
    constexpr std::size_t kFew = 256;
    std::unordered_map<std::string_view, std::vector<int>> rows_of;
    for (int row : order) {
        auto [it, fresh] = rows_of.try_emplace(text.at(row));
        if (fresh && rows_of.size() > kFew) return false;
        it->second.push_back(row);
    }
    std::vector<std::string_view> values;
    for (const auto& [value, rows] : rows_of) values.push_back(value);
    // As the RTRIM collation compares: bytes, then the shorter first (trailing blanks are gone already).
    std::sort(values.begin(), values.end());
    if (descending) std::reverse(values.begin(), values.end());
    std::size_t at = 0;
    for (std::string_view value : values)
        for (int row : rows_of[value]) order[at++] = row;
    return true;
}

DbfTable::RowOrder DbfTable::rows_by_fields(const std::vector<OrderKey>& keys)
{
    if (std::all_of(keys.begin(), keys.end(), [&](const OrderKey& k) { return fields_[k.field].numeric(); }))
        return rows_by_numbers(keys);
    std::string name;
    for (const OrderKey& k : keys) name += vsys::strprintf("%d%c", k.field, k.descending ? 'd' : 'a');
    auto found = multi_orders_.find(name);
    if (found != multi_orders_.end()) return found->second;
    const std::size_t rows = static_cast<std::size_t>(count_);
    std::vector<const std::vector<double>*> numbers(keys.size(), nullptr);
    std::vector<std::unique_ptr<TextKeys>> texts(keys.size());
    for (std::size_t k = 0; k < keys.size(); ++k) {
        const DbfField& f = fields_[keys[k].field];
        if (f.numeric()) {
            numbers[k] = &numbers_of(keys[k].field).numbers;
            continue;
        }
        // One pass over the field alone: the records themselves are not kept.
        auto text = std::make_unique<TextKeys>(rows, f.width);
        for_each_block([&](int first, int n, const char* data) {
            for (int i = 0; i < n; ++i)
                text->set(static_cast<std::size_t>(first + i), data + static_cast<std::size_t>(i) * record_length_ + f.offset);
        });
        texts[k] = std::move(text);
    }
    // Below 0: row a comes before row b in the asked order.
    auto compare = [&](int a, int b) {
        for (std::size_t k = 0; k < keys.size(); ++k) {
            int c = 0;
            if (texts[k]) {
                c = texts[k]->compare(a, b);
            } else {
                const double x = (*numbers[k])[static_cast<std::size_t>(a)], y = (*numbers[k])[static_cast<std::size_t>(b)];
                c = number_before(x, y) ? -1 : number_before(y, x) ? 1 : 0;
            }
            if (c != 0) return keys[k].descending ? -c : c;
        }
        return 0;
    };
    auto order = std::make_shared<std::vector<int>>(rows);
    std::iota(order->begin(), order->end(), 0);
    // Run tables are written in time order: asked in it, or newest first, the order is there already.
    bool forward = true, backward = true;
    for (int r = 0; r + 1 < count_ && (forward || backward); ++r) {
        const int c = compare(r, r + 1);
        if (c > 0) forward = false;
        if (c < 0) backward = false;
    }
    if (!forward && backward) {
        // From the end, with rows of equal keys still in record order.
        std::reverse(order->begin(), order->end());
        for (auto run = order->begin(); run != order->end();) {
            auto end = run + 1;
            while (end != order->end() && compare(*run, *end) == 0) ++end;
            std::reverse(run, end);
            run = end;
        }
    } else if (!forward && !(keys.size() == 1 && texts[0] && by_few_texts(*texts[0], keys[0].descending, *order))) {
        std::stable_sort(order->begin(), order->end(), [&](int a, int b) { return compare(a, b) < 0; });
    }
    RowOrder shared = std::move(order);
    multi_orders_[name] = shared;
    return shared;
}

std::optional<double> DbfTable::rows_per_key(int field) const
{
    if (field < 0 || static_cast<std::size_t>(field) >= indexes_.size() || !indexes_[field]) return std::nullopt;
    const FieldIndex& index = *indexes_[field];
    if (index.order_ready && index.distinct > 0) return static_cast<double>(index.order->size()) / static_cast<double>(index.distinct);
    if (index.texts && !index.texts->empty()) return static_cast<double>(count_) / static_cast<double>(index.texts->size());
    return std::nullopt;
}

double DbfTable::key_number(int field, int row)
{
    auto& index = indexes_[field];
    if (!index) index = std::make_unique<FieldIndex>();
    if (!index->numbers_ready && ++index->parses > std::max(count_, 1024)) numbers_of(field);
    if (index->numbers_ready && static_cast<std::size_t>(row) < index->numbers.size()) return index->numbers[row];
    return field_number(record(row), fields_[field]);
}

void DbfTable::lookup_number(int field, double key, std::vector<int>& rows)
{
    rows.clear();
    if (std::isnan(key)) return;
    auto& known = indexes_[field];
    if (!known) known = std::make_unique<FieldIndex>();
    // A field known ascending is searched in the file for its first look-ups; a join that keeps looking
    // up reads it whole.
    constexpr int kProbedLookups = 64;
    if (!known->numbers_ready && known_ascending(field) && known->probes < kProbedLookups) {
        ++known->probes;
        if (probe_lookup(field, key, rows)) return;
        rows.clear();
    }
    FieldIndex& index = numbers_of(field);
    const std::vector<double>& numbers = index.numbers;
    // The first look-up scans the field's numbers; from the second on they are kept sorted.
    if (!index.order_ready && ++index.lookups >= 2) rows_by_number(field);
    if (index.order_ready) {
        auto [from, to] = std::equal_range(index.order->begin(), index.order->end(), key,
                                           [&](auto a, auto b) {
                                               if constexpr (std::is_same_v<decltype(a), double>)
                                                   return number_before(a, numbers[b]);
                                               else
                                                   return number_before(numbers[a], b);
                                           });
        rows.assign(from, to);
        std::sort(rows.begin(), rows.end());
        return;
    }
    for (std::size_t r = 0; r < numbers.size(); ++r)
        if (numbers[r] == key) rows.push_back(static_cast<int>(r));
}

std::vector<int> DbfTable::lookup_text(int field, const std::string& key)
{
    auto& index = indexes_[field];
    if (!index) index = std::make_unique<FieldIndex>();
    if (!index->texts) {
        const DbfField& f = fields_[field];
        auto texts = std::make_unique<std::unordered_map<std::string, std::vector<int>>>();
        texts->reserve(static_cast<std::size_t>(count_));
        for_each_block([&](int first, int rows, const char* data) {
            for (int i = 0; i < rows; ++i)
                (*texts)[text_key(data + static_cast<std::size_t>(i) * record_length_, f)].push_back(first + i);
        });
        index->texts = std::move(texts);
    }
    auto it = index->texts->find(rtrim_blanks(key));
    return it == index->texts->end() ? std::vector<int>() : it->second;
}

}  // namespace vsql
