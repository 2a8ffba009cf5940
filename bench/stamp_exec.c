/* Stores the monotonic clock in VM_BENCH_T0_NS and execs the given program, so
 * that the program can tell how long it took from exec to its first paint. */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: vm-bench-stamp PROGRAM [ARG ...]\n");
        return 2;
    }
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    char value[32];
    snprintf(value, sizeof value, "%lld", (long long)now.tv_sec * 1000000000LL + now.tv_nsec);
    setenv("VM_BENCH_T0_NS", value, 1);
    execv(argv[1], argv + 1);
    perror("vm-bench-stamp: exec");
    return 127;
}
