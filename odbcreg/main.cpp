// Entry of the odbcreg utility: hands its command words to the registration and unixODBC's installer.
#include <iostream>
#include <string>
#include <vector>

#include "odbcreg/installer.h"
#include "odbcreg/odbcreg.h"

int main(int argc, char** argv)
{
    std::vector<std::string> words(argv + (argc > 0 ? 1 : 0), argv + argc);
    auto installer = make_unixodbc_installer();
    return WinMain(words, *installer, std::cout, std::cerr);
}
