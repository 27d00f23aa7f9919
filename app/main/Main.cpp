// Entry point of the game executable.
#include <cstdio>

int main()
{
    std::puts("quillon: the game's window arrives with the application shell.");
    return 0;
}
