// Per-user notes, kept outside the data directory, that numeric fields of a table file hold ascending keys.
#pragma once

#include <string>
#include <vector>

#include "platform/sql/dbf_table.h"

namespace vsql {

// A note is only worth its upkeep where reading the field whole costs something.
constexpr int kOrderNotedFromRows = 4096;

// Where the notes are kept: $XDG_CACHE_HOME/vantrel, else ~/.cache/vantrel; "" when neither is known.
std::string order_notes_directory();

// The fields noted ascending for the table file at `path` as it is now: the note counts only while
// the file's identity (device, inode, size, change and modification times) and its header bytes are
// those it was written for. Empty when no note matches.
std::vector<int> noted_ascending_fields(const std::string& path, const FileSignature& signature, const std::string& header);

// Notes (or replaces the note) that `fields` are ascending in the file with that signature and header.
// A note that cannot be written is no fault: the field is read whole again at the next start.
void note_ascending_fields(const std::string& path, const FileSignature& signature, const std::string& header,
                           const std::vector<int>& fields);

}  // namespace vsql
