// Turns the translation table kept in the repository (UTF-8) into the form the program carries
// as its TRANSLATION resource (UTF-16LE with a byte-order mark, CR LF line ends):
//   vorkel-table-encoder <UTF-8 table> <output file>
// The build runs it; a CMake script alone cannot write the NUL bytes of UTF-16.
#include "app/translation.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: vorkel-table-encoder <UTF-8 table> <output file>\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "vorkel-table-encoder: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::string source{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto encoded = vorkel::encodeTranslationTable(source);
    if (!encoded) {
        std::fprintf(stderr, "vorkel-table-encoder: %s is not valid UTF-8 text\n", argv[1]);
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(encoded->data()),
              static_cast<std::streamsize>(encoded->size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "vorkel-table-encoder: cannot write %s\n", argv[2]);
        std::remove(argv[2]); // no half-written resource for the next build to take as done
        return 1;
    }
    return 0;
}
