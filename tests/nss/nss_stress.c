/*
 * Concurrency stress of the hosts module (test build, loaded with dlopen):
 *
 *   nss_stress threads MODULE   reader threads look names up while a writer thread replaces
 *                               the list by rename; also run under ThreadSanitizer
 *                               (scripts/nss-tsan.sh)
 *   nss_stress fork MODULE      the same, while the main thread forks children that look a
 *                               name up at once: a child that inherited a held lock would
 *                               hang, and the deadline turns that into a failure
 *
 * Every list version holds always.example and none holds never.example, so any other answer
 * is wrong whatever version a reader happens to see. Plain C so that it builds with nothing but
 * the C compiler and the sanitizer.
 */
#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <netdb.h>
#include <nss.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <stdatomic.h>
#include <stdbool.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

enum { READERS = 4, LOOKS_PER_READER = 20000, FORKS = 200, CHILD_DEADLINE_MS = 20000 };

static nss_gethostbyname4_r *by_name4;
static nss_gethostbyname2_r *by_name2;
static char root[1024];
static char folder[1100];
static char list[1200];
static atomic_bool stop_writing;
static atomic_long wrong_answers;
static atomic_long writes;

/* 1 blocked, 0 not blocked, -1 errno or the status was not one the module may give. */
static int look_up(const char *name, bool via_getaddrinfo_entry) {
    char buffer[512];
    int error = 1111;
    int herror = 2222;
    errno = 3333;
    enum nss_status status;
    if (via_getaddrinfo_entry) {
        struct gaih_addrtuple *tuple = NULL;
        status = by_name4(name, &tuple, buffer, sizeof buffer, &error, &herror, NULL);
    } else {
        struct hostent host;
        status = by_name2(name, AF_INET, &host, buffer, sizeof buffer, &error, &herror);
    }
    if (errno != 3333)
        return -1;
    if (status == NSS_STATUS_NOTFOUND && error == ENOENT && herror == HOST_NOT_FOUND)
        return 1;
    if (status == NSS_STATUS_UNAVAIL && error == 1111 && herror == 2222)
        return 0;
    return -1;
}

static bool answers_right(bool via_getaddrinfo_entry) {
    return look_up("always.example", via_getaddrinfo_entry) == 1 &&
           look_up("www.ALWAYS.example.", via_getaddrinfo_entry) == 1 &&
           look_up("never.example", via_getaddrinfo_entry) == 0 &&
           look_up("localhost", via_getaddrinfo_entry) == 0;
}

/* Alternates a short and a long version, the long one unsorted, each replacing by rename. */
static bool write_list(long version) {
    char temporary[PATH_MAX + 8];
    snprintf(temporary, sizeof temporary, "%s.new", list);
    FILE *file = fopen(temporary, "w");
    if (file == NULL)
        return false;
    fprintf(file, "# quellnet-blocklist 1 uid=%u app=com.example.Stress\n", (unsigned)geteuid());
    const int extra = version % 2 ? 500 : 2;
    for (int i = extra; i > 0; --i)
        fprintf(file, "v%ld-%d.example\n", version, i);
    fputs("always.example\n", file);
    const bool written = fclose(file) == 0;
    return written && chmod(temporary, 0644) == 0 && rename(temporary, list) == 0;
}

static void *writer(void *unused) {
    (void)unused;
    while (!atomic_load(&stop_writing)) {
        if (!write_list(atomic_fetch_add(&writes, 1) + 1)) {
            fprintf(stderr, "nss_stress: cannot replace %s\n", list);
            atomic_fetch_add(&wrong_answers, 1);
            break;
        }
    }
    return NULL;
}

static void *reader(void *bounded) {
    for (long i = 0; bounded == NULL || i < LOOKS_PER_READER; ++i) {
        if (!answers_right(i % 2 == 0))
            atomic_fetch_add(&wrong_answers, 1);
        if (bounded == NULL && atomic_load(&stop_writing))
            break;
    }
    return NULL;
}

static void on_deadline(int signal_number) {
    (void)signal_number;
    static const char message[] = "nss_stress: FAIL: deadline passed, a look-up hangs\n";
    ssize_t ignored = write(STDERR_FILENO, message, sizeof message - 1);
    (void)ignored;
    _exit(1);
}

static long milliseconds_now(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

/* Forks a child that looks up at once; false if it answered wrongly or missed the deadline. */
static bool child_answers(long *hangs) {
    int channel[2];
    if (pipe(channel) != 0)
        return false;
    const pid_t child = fork();
    if (child < 0) {
        close(channel[0]);
        close(channel[1]);
        return false;
    }
    if (child == 0) {
        close(channel[0]);
        const char verdict = answers_right(true) && answers_right(false) ? 'y' : 'n';
        ssize_t ignored = write(channel[1], &verdict, 1);
        (void)ignored;
        _exit(0);
    }
    close(channel[1]);
    char verdict = 0;
    const long deadline = milliseconds_now() + CHILD_DEADLINE_MS;
    for (;;) {
        struct pollfd wait_for = {.fd = channel[0], .events = POLLIN};
        const long left = deadline - milliseconds_now();
        const int ready = left > 0 ? poll(&wait_for, 1, (int)left) : 0;
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready > 0 && read(channel[0], &verdict, 1) != 1)
            verdict = 'n';
        break;
    }
    close(channel[0]);
    if (verdict == 0) {
        ++*hangs;
        kill(child, SIGKILL);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return verdict == 'y';
}

static void remove_folder(void) {
    char temporary[PATH_MAX + 8];
    snprintf(temporary, sizeof temporary, "%s.new", list);
    unlink(temporary);
    unlink(list);
    rmdir(folder);
    snprintf(temporary, sizeof temporary, "%s/etc", root);
    rmdir(temporary);
    rmdir(root);
}

int main(int argc, char **argv) {
    if (argc != 3 || (strcmp(argv[1], "threads") != 0 && strcmp(argv[1], "fork") != 0)) {
        fprintf(stderr, "usage: nss_stress threads|fork MODULE\n");
        return 2;
    }
    const bool forking = strcmp(argv[1], "fork") == 0;
    void *module = dlopen(argv[2], RTLD_NOW | RTLD_LOCAL);
    void (*set_list_path)(const char *) = NULL;
    if (module != NULL) {
        /* ISO C has no cast from a data pointer to a function pointer; copy the bits. */
        void *symbol = dlsym(module, "_nss_quellnet_gethostbyname4_r");
        memcpy(&by_name4, &symbol, sizeof symbol);
        symbol = dlsym(module, "_nss_quellnet_gethostbyname2_r");
        memcpy(&by_name2, &symbol, sizeof symbol);
        symbol = dlsym(module, "quellnet_nss_test_set_list_path");
        memcpy(&set_list_path, &symbol, sizeof symbol);
    }
    if (by_name4 == NULL || by_name2 == NULL || set_list_path == NULL) {
        fprintf(stderr, "nss_stress: cannot load %s: %s\n", argv[2], dlerror());
        return 1;
    }

    const char *temporary_root = getenv("TMPDIR");
    if (temporary_root == NULL || *temporary_root == '\0' || strlen(temporary_root) > 900)
        temporary_root = "/tmp";
    snprintf(root, sizeof root, "%s/nss_stress.XXXXXX", temporary_root);
    if (mkdtemp(root) == NULL) {
        perror("nss_stress: mkdtemp");
        return 1;
    }
    char etc[1050];
    snprintf(etc, sizeof etc, "%s/etc", root);
    snprintf(folder, sizeof folder, "%s/quellnet", etc);
    snprintf(list, sizeof list, "%s/blocked", folder);
    if (mkdir(etc, 0755) != 0 || mkdir(folder, 0755) != 0 || chmod(folder, 0755) != 0 ||
        !write_list(0)) {
        perror("nss_stress: cannot make the list");
        remove_folder();
        return 1;
    }
    set_list_path(list);

    /* A deadline, not a pause: a hang fails the test instead of stalling it. */
    signal(SIGALRM, on_deadline);
    alarm(240);

    pthread_t writer_thread;
    pthread_t readers[READERS];
    pthread_create(&writer_thread, NULL, writer, NULL);
    long hangs = 0;
    long children_wrong = 0;
    if (forking) {
        for (int i = 0; i < 2; ++i)
            pthread_create(&readers[i], NULL, reader, NULL);
        for (int i = 0; i < FORKS && hangs == 0; ++i)
            children_wrong += !child_answers(&hangs);
        atomic_store(&stop_writing, true);
        for (int i = 0; i < 2; ++i)
            pthread_join(readers[i], NULL);
    } else {
        static int bounded;
        for (int i = 0; i < READERS; ++i)
            pthread_create(&readers[i], NULL, reader, &bounded);
        for (int i = 0; i < READERS; ++i)
            pthread_join(readers[i], NULL);
        atomic_store(&stop_writing, true);
    }
    pthread_join(writer_thread, NULL);
    alarm(0);
    remove_folder();

    const long wrong = atomic_load(&wrong_answers);
    printf("nss_stress %s: %ld list rewrites, %ld wrong answers, %ld children wrong, %ld hung\n",
           argv[1], atomic_load(&writes), wrong, children_wrong, hangs);
    return wrong == 0 && children_wrong == 0 && hangs == 0 && atomic_load(&writes) > 0 ? 0 : 1;
}
