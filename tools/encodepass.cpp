// qb-encodepass: prints a password as quillbar.ini stores it under POPPass.
#include "core/Crypt.h"
#include "core/Global.h"

#include <iostream>
#include <string>

int main(int argc, char** argv) {
    std::string clear;
    if (argc > 1)
        clear = argv[1];
    else if (!std::getline(std::cin, clear))
        clear.clear();
    std::cout << TrimControl(EncodePassword(TrimControl(clear))) << "\n";
    return 0;
}
