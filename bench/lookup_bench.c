/*
 * The cost of one getaddrinfo() under whatever /etc/nsswitch.conf and /etc/hosts say; run by
 * bench/lookup_bench.sh inside a private namespace where those files (and the hosts module)
 * are the bench's own.
 *
 *   lookup_bench loop NAME COUNT found|noname   median ns of COUNT look-ups after a warm-up
 *   lookup_bench first NAME found|noname        ns of this process's very first look-up
 *
 * Every look-up must give the expected answer, or the figures would describe a broken set-up.
 */
#include <netdb.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>

static long long now_ns(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)now.tv_sec * 1000000000LL + now.tv_nsec;
}

/* The time of one look-up, or -1 if the answer was not the expected one. */
static long long timed_lookup(const char *name, int expected) {
    const struct addrinfo hints = {.ai_family = AF_UNSPEC, .ai_socktype = SOCK_STREAM};
    struct addrinfo *result = NULL;
    const long long start = now_ns();
    const int status = getaddrinfo(name, NULL, &hints, &result);
    const long long elapsed = now_ns() - start;
    if (result != NULL)
        freeaddrinfo(result);
    if (status != expected) {
        fprintf(stderr, "lookup_bench: %s: %s, expected %s\n", name,
                status == 0 ? "found" : gai_strerror(status),
                expected == 0 ? "found" : gai_strerror(expected));
        return -1;
    }
    return elapsed;
}

static int compare_times(const void *a, const void *b) {
    const long long left = *(const long long *)a;
    const long long right = *(const long long *)b;
    return (left > right) - (left < right);
}

int main(int argc, char **argv) {
    const int loop = argc == 5 && strcmp(argv[1], "loop") == 0;
    const int first = argc == 4 && strcmp(argv[1], "first") == 0;
    const char *expect = argv[argc - 1];
    if ((!loop && !first) || (strcmp(expect, "found") != 0 && strcmp(expect, "noname") != 0)) {
        fprintf(stderr, "usage: lookup_bench loop NAME COUNT found|noname\n"
                        "       lookup_bench first NAME found|noname\n");
        return 2;
    }
    const int expected = strcmp(expect, "found") == 0 ? 0 : EAI_NONAME;
    const char *name = argv[2];
    if (first) {
        const long long elapsed = timed_lookup(name, expected);
        if (elapsed < 0)
            return 1;
        printf("%lld\n", elapsed);
        return 0;
    }

    const long count = strtol(argv[3], NULL, 10);
    if (count < 1 || count > 10000000) {
        fprintf(stderr, "lookup_bench: COUNT must be 1 to 10000000\n");
        return 2;
    }
    for (int i = 0; i < 200; ++i) {
        if (timed_lookup(name, expected) < 0)
            return 1;
    }
    long long *times = malloc((size_t)count * sizeof *times);
    if (times == NULL)
        return 1;
    for (long i = 0; i < count; ++i) {
        times[i] = timed_lookup(name, expected);
        if (times[i] < 0) {
            free(times);
            return 1;
        }
    }
    qsort(times, (size_t)count, sizeof *times, compare_times);
    printf("%lld\n", times[count / 2]);
    free(times);
    return 0;
}
