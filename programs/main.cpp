// Entry of Vantrel and VantrelReview: wires the layers that exist so far.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "helpbridge/tarvex.h"
#include "platform/sys/files.h"

#ifdef VANTREL_REVIEW
constexpr const char* kProgram = "VantrelReview";
#else
constexpr const char* kProgram = "Vantrel";
#endif

int main(int argc, char** argv)
{
    (void)argc;
    (void)argv;
    // The help export is bound at load time; keep a use of it so the binding
    // is part of the program and not only of its link line.
    void (*help)(char*, int) = &callHtmlHelp;
    if (help == nullptr) return EXIT_FAILURE;
    std::printf("%s: foundation build (program directory %s); no windows yet: "
                "the user interface, database and acquisition are still to come.\n",
                kProgram, vsys::project_dir().c_str());
    return EXIT_SUCCESS;
}
