/* A program that only waits: the floor morvid's memory is compared with,
   on the same C library (router/run). */
#include <unistd.h>

int main(void)
{
    for (;;)
        pause();
}
