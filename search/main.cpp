// Entry point of Orvalis.
#include <cstdio>
#include <exception>

#include "search/ui/program.h"

int main(int argc, char** argv) {
    try {
        return orv::RunOrvalis(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Orvalis: %s\n", e.what());
        return 1;
    } catch (...) {
        return 1;
    }
}
