// The 16 driver rows of odbcreg and the builders that turn a row or the sample data source into installer attributes.
#include "odbcreg/attribute_tables.h"

#include <cstddef>

AttributeList driver_attributes;
AttributeList data_source_attributes;

namespace {

struct DriverRowData {
    const char* description_format;  // "%s" takes the description prefix
    const char* file_format;          // "%s" takes the file-name suffix
    const char* connect_functions;
    const char* file_usage;
    std::array<const char*, 2> last_entries;  // the second may be absent
};

constexpr std::array<DriverRowData, kDriverCount> kRows = {{
    {"%s Btrieve", "CDBTR%s.DLL", "YYN", "1", {"FileExtns=*.dta", "SQLLevel=0"}},
    {"%s dBASEFile (*.dbf)", "CDDBF%s.DLL", "YYN", "1", {"FileExtns=*.dbf", "SQLLevel=0"}},
    {"%s DB2/2", "CDDB2%s.DLL", "YYN", "0", {"SQLLevel=1", nullptr}},
    {"%s FoxPro 3.0", "CDDBF%s.DLL", "YYN", "2", {"SQLLevel=0", nullptr}},
    {"%s ExcelFile (*.xls)", "CDXLS%s.DLL", "YYN", "1", {"SQLLevel=0", "FileExtns=*.xls"}},
    {"%s Excel5Workbook (*.xls)", "CDXLS5%s.DLL", "YYN", "2", {"SQLLevel=0", "FileExtns=*.xls"}},
    {"%s INFORMIX5", "CDINF5%s.DLL", "YYY", "0", {"SQLLevel=1", nullptr}},
    {"%s INFORMIX7", "CDINF7%s.DLL", "YYY", "0", {"SQLLevel=1", nullptr}},
    {"%s INGRES 6.4/04", "CDING4%s.DLL", "YYY", "0", {"SQLLevel=0", nullptr}},
    {"%s Oracle 7", "CDOR7%s.DLL", "YYY", "0", {"SQLLevel=1", nullptr}},
    {"%s ParadoxFile", "CDIDP%s.DLL", "YYN", "1", {"FileExtns=*.db", "SQLLevel=0"}},
    {"%s SQLServer", "CDSS%s.DLL", "YYY", "0", {"SQLLevel=1", nullptr}},
    {"%s SQLServer6", "CDSS6%s.DLL", "YYY", "0", {"SQLLevel=1", nullptr}},
    {"%s SQLBase", "CDGUP%s.DLL", "YYY", "0", {"SQLLevel=1", nullptr}},
    {"%s Sybase System 10", "CDSYB%s.DLL", "YYY", "0", {"SQLLevel=0", nullptr}},
    {"%s Text Files (*.*)", "CDTXT%s.DLL", "YYN", "1", {"SQLLevel=0", "FileExtns=*.*"}},
}};

constexpr std::array<std::string_view, kDriverCount> kNames = {
    "Btrieve", "dBase", "DB2", "FoxPro", "Excel", "Excel5", "INFORMIX5", "INFORMIX7",
    "INGRES", "Oracle7", "Paradox", "SQLServer", "SQLServer6", "SQLBase", "Sybase", "Textfile"};

// The table's formats hold exactly one "%s": put `value` there, with no
// printf behind it and no bound on the length.
std::string fill(const char* format, const std::string& value)
{
    std::string text = format;
    std::size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, value);
    return text;
}

int build_driver_row(int index)
{
    const DriverRowData& row = kRows[static_cast<std::size_t>(index)];
    std::string file = fill(row.file_format, kFileSuffix);
    std::vector<std::string> entries = {
        fill(row.description_format, kDescriptionPrefix),
        "Driver=" + file,
        "Setup=" + file,
        "APILevel=1",
        std::string("ConnectFunctions=") + row.connect_functions,
        fill("DriverODBCVer=%s", kOdbcVersion),
        std::string("FileUsage=") + row.file_usage,
    };
    for (const char* last : row.last_entries)
        if (last) entries.emplace_back(last);
    driver_attributes.entries = std::move(entries);
    return 0;
}

template <std::size_t... I>
constexpr std::array<DriverBuilder, kDriverCount> make_builders(std::index_sequence<I...>)
{
    return {{[]() { return build_driver_row(static_cast<int>(I)); }...}};
}

template <std::size_t... I>
constexpr std::array<DriverTableRow, kDriverCount> make_table(std::index_sequence<I...>)
{
    return {{DriverTableRow{kNames[I], make_builders(std::make_index_sequence<kDriverCount>())[I]}...}};
}

}  // namespace

const std::array<DriverBuilder, kDriverCount> driver_attribute_builders =
    make_builders(std::make_index_sequence<kDriverCount>());
const std::array<DriverTableRow, kDriverCount> driver_table = make_table(std::make_index_sequence<kDriverCount>());

int build_dbase_dsn_attributes(const std::string& directory)
{
    data_source_attributes.entries = {
        fill("DSN=%s", kSampleDataSource),
        "CacheSize=4",
        "CreateType=dBASE5",
        fill("Database=%s", directory),
        "Description=DSN for VI/DIZ SQL Toolkit Samples",
        "FileOpenCache=0",
        "IntlSort=0",
        "LockCompatibility=dBASE",
        "Locking=NONE",
        "UseLongNames=1",
        "UseLongQualifiers=1",
    };
    return 0;
}

int build_access_dsn_attributes(const std::string& directory)
{
    data_source_attributes.entries = {
        fill("DSN=%s", kSampleDataSource),
        "FIL=MS Access",
        fill("DBQ=%s/samples.mdb", directory),
        fill("DefaultDir=%s", directory),
        "Description=DSN for VI/DIZ SQL Toolkit Samples",
        "PWD=",
        "UID=admin",
    };
    return 0;
}

std::string dbase_driver_description()
{
    return fill("%s dBASEFile (*.dbf)", kDescriptionPrefix);
}
