// The setup export file "<name>.Vantrel": a process's five tables and, when it has one, its process of record.
#pragma once

#include <cstdint>
#include <string>

#include "platform/sys/atomic_file.h"

// Size a process-of-record file must stay below to travel in an export file (and to become one).
constexpr std::uint64_t kPorSizeLimit = 100000;
constexpr int kPorInfoBlockSize = 184;

// Writes "<directory>/<name>.Vantrel" of the process named `name` (byName) or of the current process.
// With overwrite 0 an existing file stays. Returns 1 when the file was written, else 0.
int ExportRecipe(const char* name, const char* directory, char overwrite, char byName);
// Reads "<directory>/<name>.Vantrel" into the process of that name or into a new one; 1 when done, -1 when refused.
char ImportRecipe(const char* name, const char* directory);
// Appends one member (length, then exactly that many bytes) for the file at path; the length written,
// 0 for a missing file, -1 when the file could not be read in full or the output failed.
long long ExportFile(const std::string& path, vsys::AtomicFile& out);
