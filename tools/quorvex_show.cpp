#include <cstdio>

int main() {
    std::fputs("usage: quorvex-show build|info|extract|clock ...\n", stderr);
    return 2;
}
