// Fuzz target: a note of ascending key fields, as another program or a damaged disk may leave it, read for a table.
#include <filesystem>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/sql/order_notes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Only a name: the note is found by it, the table itself is never read.
    static const std::string table = "/vantrel-fuzz/KEYS.DBF";
    static const vsql::FileSignature signature{1, 2, 3, 4, 5};
    static const std::string header(97, 'H');
    // The note's own name comes from the table's path: written once, then overwritten by each input.
    static const std::string note = [] {
        ::setenv("XDG_CACHE_HOME", (vfuzz::scratch() + "/cache").c_str(), 1);
        vsql::note_ascending_fields(table, signature, header, {0});
        for (const auto& e : std::filesystem::directory_iterator(vsql::order_notes_directory())) return e.path().string();
        std::abort();
    }();
    std::ofstream(note, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    for (int field : vsql::noted_ascending_fields(table, signature, header)) (void)field;
    return 0;
}
