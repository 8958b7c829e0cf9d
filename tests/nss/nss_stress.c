/* `threads`: readers look up while a writer replaces the list by rename (also under TSan, by
 * scripts/nss-tsan.sh); `fork` also forks children that look up at once (pthread_atfork: one that
 * inherited a held lock hangs until its deadline). Every version holds always.example only. */
#include <dlfcn.h>
#include <errno.h>
#include <netdb.h>
#include <nss.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdbool.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

enum { READERS = 4, LOOKS_PER_READER = 20000, FORKS = 200 };

static nss_gethostbyname4_r *by_name4;
static nss_gethostbyname2_r *by_name2;
static char root[4096], etc[4200], folder[4300], list[4400], temporary[4500];
static atomic_bool stop_writing;
static atomic_long wrong_answers, writes;

/* 1 blocked, 0 not, -1 errno changed or a status the module may not give. */
static int look_up(const char *name, bool via_getaddrinfo_entry) {
    char buffer[512];
    int error = 1111, herror = 2222;
    errno = 3333;
    struct gaih_addrtuple *tuple = NULL;
    struct hostent host;
    const enum nss_status status =
        via_getaddrinfo_entry
            ? by_name4(name, &tuple, buffer, sizeof buffer, &error, &herror, NULL)
            : by_name2(name, AF_INET, &host, buffer, sizeof buffer, &error, &herror);
    if (errno != 3333)
        return -1;
    if (status == NSS_STATUS_NOTFOUND && error == ENOENT && herror == HOST_NOT_FOUND)
        return 1;
    return status == NSS_STATUS_UNAVAIL && error == 1111 && herror == 2222 ? 0 : -1;
}

static bool answers_right(bool via_getaddrinfo_entry) {
    return look_up("always.example", via_getaddrinfo_entry) == 1 &&
           look_up("www.ALWAYS.example.", via_getaddrinfo_entry) == 1 &&
           look_up("never.example", via_getaddrinfo_entry) == 0 &&
           look_up("localhost", via_getaddrinfo_entry) == 0;
}

/* Short and long versions in turn, in the writer's order, each replacing by rename. */
static bool write_list(long version) {
    FILE *file = fopen(temporary, "w");
    if (file == NULL)
        return false;
    fprintf(file, "# quellnet-blocklist 1 uid=%u app=com.example.Stress\n", (unsigned)geteuid());
    fputs("always.example\n", file);
    for (int i = 1; i <= (version % 2 ? 500 : 2); ++i)
        fprintf(file, "v%ld-%03d.example\n", version, i);
    return fclose(file) == 0 && chmod(temporary, 0644) == 0 && rename(temporary, list) == 0;
}

static void *writer(void *unused) {
    while (!atomic_load(&stop_writing) && write_list(atomic_fetch_add(&writes, 1) + 1)) {
    }
    if (!atomic_load(&stop_writing))
        atomic_fetch_add(&wrong_answers, 1); /* could not replace the list */
    return unused;
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

static bool child_answers_right(void) {
    const pid_t child = fork();
    if (child == 0) {
        alarm(20);
        _exit(answers_right(true) && answers_right(false) ? 0 : 1);
    }
    int status = 0;
    while (child > 0 && waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return child > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

static void load(void *module, const char *name, void *function_pointer) {
    /* ISO C has no cast from a data pointer to a function pointer; copy the bits. */
    void *symbol = module != NULL ? dlsym(module, name) : NULL;
    memcpy(function_pointer, &symbol, sizeof symbol);
}

int main(int argc, char **argv) {
    const bool forking = argc == 3 && strcmp(argv[1], "fork") == 0;
    void *module = argc == 3 ? dlopen(argv[2], RTLD_NOW | RTLD_LOCAL) : NULL;
    void (*set_list_path)(const char *) = NULL;
    load(module, "_nss_quellnet_gethostbyname4_r", &by_name4);
    load(module, "_nss_quellnet_gethostbyname2_r", &by_name2);
    load(module, "quellnet_nss_test_set_list_path", &set_list_path);
    if (by_name4 == NULL || by_name2 == NULL || set_list_path == NULL)
        return fprintf(stderr, "usage: nss_stress threads|fork MODULE (loadable)\n"), 1;

    snprintf(root, sizeof root, "%s/nss_stress.XXXXXX",
             getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp");
    snprintf(etc, sizeof etc, "%s/etc", mkdtemp(root) ? root : "/nonexistent");
    snprintf(folder, sizeof folder, "%s/quellnet", etc);
    snprintf(list, sizeof list, "%s/blocked", folder);
    snprintf(temporary, sizeof temporary, "%s.new", list);
    const bool made = mkdir(etc, 0755) == 0 && mkdir(folder, 0755) == 0 &&
                      chmod(folder, 0755) == 0 && write_list(0);
    if (made) {
        set_list_path(list);
        alarm(240); /* a deadline, not a pause: a hang fails the test instead of stalling it */

        pthread_t writer_thread, readers[READERS];
        pthread_create(&writer_thread, NULL, writer, NULL);
        static int bounded;
        const int reader_count = forking ? 2 : READERS;
        for (int i = 0; i < reader_count; ++i)
            pthread_create(&readers[i], NULL, reader, forking ? NULL : &bounded);
        long children_wrong = 0;
        for (int i = 0; forking && i < FORKS && children_wrong == 0; ++i)
            children_wrong += !child_answers_right();
        if (forking)
            atomic_store(&stop_writing, true);
        for (int i = 0; i < reader_count; ++i)
            pthread_join(readers[i], NULL);
        atomic_store(&stop_writing, true);
        pthread_join(writer_thread, NULL);
        alarm(0);
        printf("%ld rewrites, %ld wrong answers, %ld children wrong or hung\n",
               atomic_load(&writes), atomic_load(&wrong_answers), children_wrong);
        atomic_fetch_add(&wrong_answers, children_wrong);
    }
    unlink(temporary);
    unlink(list);
    rmdir(folder);
    rmdir(etc);
    rmdir(root);
    return made && atomic_load(&wrong_answers) == 0 && atomic_load(&writes) > 0 ? 0 : 1;
}
