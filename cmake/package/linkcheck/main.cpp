// Links the generated table of addresses (declarations.cpp) and says how many it holds.
#include <cstdio>

extern const void* const zid_link_table[];
extern const unsigned long zid_link_count;

int main() {
    unsigned long present = 0;
    for (unsigned long i = 0; i < zid_link_count; ++i) present += zid_link_table[i] != nullptr;
    std::printf("link check: %lu of %lu declarations of the installed headers resolved\n", present, zid_link_count);
    return present == zid_link_count ? 0 : 1;
}
