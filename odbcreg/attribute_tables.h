// The fixed vocabulary of odbcreg: the 16 driver rows, their attribute builders and the sample data source's two attribute sets.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

// Entries in order; the list ends at its first empty entry. Builders replace
// the whole list, so no entry of an earlier builder survives behind the end.
struct AttributeList {
    std::vector<std::string> entries;
};

// Filled again before every use: by the driver builders and by the data-source builders.
extern AttributeList driver_attributes;
extern AttributeList data_source_attributes;

inline constexpr const char* kDescriptionPrefix = "VI/DIZ 32-BIT";
inline constexpr const char* kFileSuffix = "09";
inline constexpr const char* kOdbcVersion = "02.50";
inline constexpr const char* kSampleDataSource = "ZID32_Samples";
inline constexpr const char* kAccessDriverDescription = "Microsoft Access Driver (*.mdb)";

inline constexpr int kDriverCount = 16;
inline constexpr int kDbaseRow = 1;

using DriverBuilder = int (*)();

struct DriverTableRow {
    std::string_view name;  // the command-line name
    DriverBuilder builder;
};

// Each fills driver_attributes with its row's entries and returns 0.
extern const std::array<DriverBuilder, kDriverCount> driver_attribute_builders;
extern const std::array<DriverTableRow, kDriverCount> driver_table;

// Fill data_source_attributes for the sample data source over `directory`; return 0.
int build_dbase_dsn_attributes(const std::string& directory);
int build_access_dsn_attributes(const std::string& directory);

// The description under which the dBase set is added: that of the dBase row.
std::string dbase_driver_description();
