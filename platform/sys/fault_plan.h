// One plan of injected file faults that every writer consults: which create, write, flush or seek fails, and on which file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vsys {

// The steps of a file's life that a plan can make fail. `compress` is the deflating of a stream on its way to a file.
enum class FileOp { create, read, write, flush, seek, close, rename, sync_directory, compress };

struct FileFault {
    FileOp op = FileOp::write;
    int nth = 1;                         // the nth coming call of `op` fails (1: the very next one)
    bool persists = false;               // every later call of `op` fails too, as a full disk keeps failing
    std::string path;                    // only calls on a file whose path contains this count; "" for any file
    std::optional<std::uint64_t> bytes;  // writes: the disk is full after this many more bytes (instead of nth)

    FileFault(FileOp op_ = FileOp::write, int nth_ = 1, bool persists_ = false, std::string path_ = {})
        : op(op_), nth(nth_), persists(persists_), path(std::move(path_))
    {
    }
    // Every write fails once `bytes` more have gone to the disk; the write that crosses it puts what fits.
    static FileFault disk_full_after(std::uint64_t bytes, std::string path = {})
    {
        FileFault f(FileOp::write, 1, true, std::move(path));
        f.bytes = bytes;
        return f;
    }
};

// The plan replaces any earlier one; each fault is counted on its own.
void set_fault_plan(std::vector<FileFault> faults);
inline void set_fault_plan(FileFault fault) { set_fault_plan(std::vector<FileFault> {std::move(fault)}); }
void clear_fault_plan();
// How many calls the plan has made fail since it was set.
int fault_plan_strikes();

// Sets a plan for as long as it lives (tests).
class FaultPlanScope {
public:
    explicit FaultPlanScope(std::vector<FileFault> faults) { set_fault_plan(std::move(faults)); }
    explicit FaultPlanScope(FileFault fault) { set_fault_plan(std::move(fault)); }
    ~FaultPlanScope() { clear_fault_plan(); }
    FaultPlanScope(const FaultPlanScope&) = delete;
    FaultPlanScope& operator=(const FaultPlanScope&) = delete;
};

// --- consulted by the writers -------------------------------------------------
// True when this call of `op` on `path` must fail ("" when the writer does not know the file's name).
bool file_fault(FileOp op, std::string_view path = {});
// The same for a stream; its file's name is looked up only while a plan is set.
bool file_fault(FileOp op, std::FILE* file);
// A write of `size` bytes: how many of them may reach the file; `failed` is set when the plan cuts the write.
std::size_t file_write_allowance(std::size_t size, std::string_view path, bool* failed);

}  // namespace vsys
