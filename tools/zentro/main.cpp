// zentro: a command-line host of the library.
#include <cstdio>
#include <cstring>

#include "zentrolink.h"

int main(int argc, char** argv) {
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf("usage: zentro [--help]\n");
        return 0;
    }
    return Zentro_Init();
}
