// Test stand-in for an external program: writes its arguments, NUL-separated, to $RECORD_ARGS_TO.
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    const char* target = std::getenv("RECORD_ARGS_TO");
    if (target == nullptr) return 2;
    std::string temp = std::string(target) + ".part";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (f == nullptr) return 3;
    for (int i = 0; i < argc; ++i) std::fwrite(argv[i], 1, std::string(argv[i]).size() + 1, f);
    std::fclose(f);
    // Appear complete in one step so a waiting test never reads half a file.
    return std::rename(temp.c_str(), target) == 0 ? 0 : 4;
}
