// The machine's ODBC installer as odbcreg uses it: driver registration and the system data sources, through unixODBC.
#pragma once

#include <memory>
#include <string>

// Each call answers whether it did what it says; a false answer leaves no
// half-written data source behind.
class Installer {
public:
    virtual ~Installer() = default;
    // `packed`: the description, NUL, keyword=value entries each ended by NUL, and a final NUL.
    virtual bool install_driver(const std::string& packed) = 0;
    // Removes the driver's whole section, whatever its usage count; an absent driver counts as removed.
    virtual bool remove_driver(const std::string& description) = 0;
    // `packed` as above without the description: DSN=name first, then the data source's keywords.
    virtual bool add_data_source(const std::string& description, const std::string& packed) = 0;
    // Fails when no system data source of that name exists.
    virtual bool remove_data_source(const std::string& name) = 0;
};

// The installer calls odbcreg makes; tests put a failing one in place of any of them.
struct InstallerCalls {
    int (*install_driver_ex)(const char* packed_driver);
    int (*write_dsn_to_ini)(const char* dsn, const char* driver);
    int (*write_private_profile_string)(const char* section, const char* key, const char* value, const char* file);
    int (*remove_dsn_from_ini)(const char* dsn);
};
InstallerCalls unixodbc_calls();

// unixODBC: drivers in odbcinst.ini, the data source in the system odbc.ini
// ($ODBCSYSINI, else /etc), both found as unixODBC finds them.
std::unique_ptr<Installer> make_unixodbc_installer(const InstallerCalls& calls = unixodbc_calls());
