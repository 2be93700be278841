// Paths of a process's files, and the keeper of the run context around header rows.
#include "setup/setup_paths.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/config_store.h"
#include "core/globals.h"
#include "core/db_statement.h"
#include "core/run_table.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "setup/setup_seams.h"

namespace {
SetupSeams& given_seams()
{
    static SetupSeams seams;
    return seams;
}
}  // namespace

void provide_setup_seams(SetupSeams seams) { given_seams() = std::move(seams); }
const SetupSeams& setup_seams() { return given_seams(); }

std::string setup_directory() { return vsys::path_join(vt_dir, "Setup"); }

std::string process_table_file(const std::string& directory, int process, const char* table)
{
    return vsys::path_join(directory, vsys::strprintf("%.4d%s.DBF", process, table));
}

std::string export_file(const std::string& directory, const std::string& name)
{
    return vsys::path_join(directory, name + ".Vantrel");
}

std::string existing_table_file(const std::string& directory, int process, const char* table)
{
    const std::string name = vsys::strprintf("%.4d%s.DBF", process, table);
    if (auto found = vsys::find_file_nocase(directory, name)) return *found;
    return vsys::path_join(directory, name);
}

void copy_text(char* buffer33, const std::string& text) { copy_bounded(buffer33, text.c_str(), 32); }

bool same_file(const std::string& a, const std::string& b)
{
    std::error_code ea, eb;
    auto ca = std::filesystem::weakly_canonical(a, ea);
    auto cb = std::filesystem::weakly_canonical(b, eb);
    if (ea || eb) return a == b;
    return ca == cb;
}

RunContextKeeper::RunContextKeeper()
    : mask_(VantrelChannelStatusBits), saved_(saved_channels), channels_(channels), rate_index_(sample_rate_index),
      rate_(sample_rate), adc_(ADCBits), run_(run_num), wafers_(num_of_wafers)
{
    std::memcpy(date_, save_date, sizeof date_);
    std::memcpy(time_, save_time, sizeof time_);
}

RunContextKeeper::~RunContextKeeper()
{
    VantrelChannelStatusBits = mask_;
    saved_channels = saved_;
    channels = channels_;
    sample_rate_index = rate_index_;
    sample_rate = rate_;
    ADCBits = adc_;
    run_num = run_;
    num_of_wafers = wafers_;
    std::memcpy(save_date, date_, sizeof date_);
    std::memcpy(save_time, time_, sizeof time_);
}
