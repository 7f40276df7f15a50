/* A tiny Windows console program for the real-Wine test: prints its arguments, one per line,
   and exits with 40 plus their number so the exit status is recognisable. */
#include <stdio.h>

int main(int argc, char **argv)
{
    printf("argsecho is running\n");
    for (int i = 1; i < argc; ++i)
        printf("arg[%d]=%s\n", i, argv[i]);
    fflush(stdout);
    return 40 + argc - 1;
}
