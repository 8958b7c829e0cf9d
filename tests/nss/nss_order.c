/* A process that looks names up in a loop, as a busy program does, is told each time the writer
 * has reported a change done; every look-up it starts after hearing so must see the change,
 * however recently the module looked at the list, and while the writer rewrites the list, a name
 * every version holds is never missed. Run with the test builds: nss_order MODULE WRITER */
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <nss.h>
#include <poll.h>
#include <stdbool.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

enum { ROUNDS = 40 };

static nss_gethostbyname4_r *by_name4;

static int blocked(const char *name) {
    char buffer[512];
    int error = 0, herror = 0;
    struct gaih_addrtuple *tuple = NULL;
    return by_name4(name, &tuple, buffer, sizeof buffer, &error, &herror, NULL) ==
           NSS_STATUS_NOTFOUND;
}

/* Looks up until 'q', exiting with the count of wrong answers (capped). 'c': a change starts,
 * any answer will do; 'k': a rewrite starts that keeps always.example, which must never be missed;
 * '0'-'3': the writer reported its change done, flip.example blocked if bit 1, always.example if
 * bit 0, for every look-up from here on; after a run of them it acknowledges and waits. */
static void looker(int orders, int acks) {
    enum { CHECKED_PER_ORDER = 200 };
    int flip = -1, always = -1, since_order = 0;
    char order = 'c';
    long wrong = 0;
    for (;;) {
        if (read(orders, &order, 1) == 1) {
            if (order == 'q')
                _exit(wrong > 100 ? 100 : (int)wrong);
            flip = order >= '0' && order <= '3' ? (order - '0') >> 1 : -1;
            always = order == 'c' ? -1 : order == 'k' || (order - '0') & 1;
            since_order = 0;
        }
        const int now = blocked("flip.example"), kept = blocked("always.example");
        if (((flip >= 0 && now != flip) || (always >= 0 && kept != always)) && ++wrong < 5)
            fprintf(stderr, "nss_order: after order %c: flip.example %s, always.example %s\n",
                    order, now ? "blocked" : "open", kept ? "blocked" : "open");
        if (flip >= 0 && ++since_order == CHECKED_PER_ORDER) {
            struct pollfd next = {.fd = orders, .events = POLLIN};
            if (write(acks, "a", 1) != 1 || poll(&next, 1, -1) != 1)
                _exit(100);
        }
    }
}

/* State 3: always and flip listed, 1: always only (with 2000 more names, so the size swings),
 * 0: cleared. */
static bool run_writer(const char *writer, const char *root, int state) {
    int input[2];
    if (pipe(input) != 0)
        return false;
    const pid_t child = fork();
    if (child == 0) {
        dup2(input[0], STDIN_FILENO);
        close(input[0]);
        close(input[1]);
        char *const arguments[] = {(char *)writer,      "--root",
                                   (char *)root,        state ? "write" : "clear",
                                   "com.example.Order", NULL};
        char *const environment[] = {NULL};
        execve(writer, arguments, environment);
        _exit(127);
    }
    close(input[0]);
    static char names[64 * 1024];
    int length =
        snprintf(names, sizeof names, "always.example\n%s", state == 3 ? "flip.example\n" : "");
    for (int i = 0; state == 1 && i < 2000; ++i)
        length += snprintf(names + length, sizeof names - (size_t)length, "p%d.example\n", i);
    const bool sent = !state || write(input[1], names, (size_t)length) == (ssize_t)length;
    close(input[1]);
    int status = 0;
    while (child > 0 && waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return sent && child > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

static void load(void *module, const char *name, void *function_pointer) {
    /* ISO C has no cast from a data pointer to a function pointer; copy the bits. */
    void *symbol = module != NULL ? dlsym(module, name) : NULL;
    memcpy(function_pointer, &symbol, sizeof symbol);
}

int main(int argc, char **argv) {
    void *module = argc == 3 ? dlopen(argv[1], RTLD_NOW | RTLD_LOCAL) : NULL;
    void (*set_list_path)(const char *) = NULL, (*set_resolv_conf_path)(const char *) = NULL;
    load(module, "_nss_quellnet_gethostbyname4_r", &by_name4);
    load(module, "quellnet_nss_test_set_list_path", &set_list_path);
    load(module, "quellnet_nss_test_set_resolv_conf_path", &set_resolv_conf_path);
    if (by_name4 == NULL || set_list_path == NULL || set_resolv_conf_path == NULL)
        return fprintf(stderr, "usage: nss_order MODULE WRITER\n"), 1;

    char root[4096], etc[4200], path[4300];
    snprintf(root, sizeof root, "%s/nss_order.XXXXXX",
             getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp");
    if (mkdtemp(root) == NULL)
        return perror("nss_order: mkdtemp"), 1;
    snprintf(etc, sizeof etc, "%s/etc", root);
    if (mkdir(etc, 0755) != 0 || chmod(etc, 0755) != 0)
        return perror("nss_order: mkdir"), 1;
    snprintf(path, sizeof path, "%s/quellnet/blocked", etc);
    set_list_path(path);
    snprintf(path, sizeof path, "%s/resolv.conf", etc);
    set_resolv_conf_path(path);

    int orders[2], acks[2];
    if (pipe(orders) != 0 || pipe(acks) != 0 || fcntl(orders[0], F_SETFL, O_NONBLOCK) != 0)
        return perror("nss_order: pipe"), 1;
    alarm(120); /* a deadline, not a pause: a hang fails the test instead of stalling it */
    const pid_t child = fork();
    if (child == 0)
        looker(orders[0], acks[1]);
    int failed_writes = 0;
    /* Rounds cycle: on, rewritten without flip.example, on, cleared. */
    static const int states[4] = {3, 1, 3, 0};
    for (int round = 0; child > 0 && round < ROUNDS; ++round) {
        const int state = states[round % 4];
        if (write(orders[1], round % 4 == 1 || round % 4 == 2 ? "k" : "c", 1) != 1)
            break;
        if (!run_writer(argv[2], root, state)) {
            ++failed_writes;
            continue;
        }
        char ack, done = (char)('0' + state);
        if (write(orders[1], &done, 1) != 1 || read(acks[0], &ack, 1) != 1)
            break;
    }
    int status = 0;
    if (write(orders[1], "q", 1) != 1 || waitpid(child, &status, 0) != child)
        status = -1;
    run_writer(argv[2], root, 0);
    rmdir(strcat(strcpy(path, etc), "/quellnet"));
    rmdir(etc);
    rmdir(root);
    const int wrong = status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    printf("%d rounds, %d failed writes, %d look-ups answered from the old list\n", ROUNDS,
           failed_writes, wrong);
    return failed_writes == 0 && wrong == 0 ? 0 : 1;
}
