/*
 * libnss_quellnet.so.2: the "quellnet" hosts service. Listed first in nsswitch.conf as
 * "quellnet [NOTFOUND=return]", it answers "no such host" for every name on the enforced list
 * and for every name under one, and steps aside (UNAVAIL) for everything else so the next
 * source answers as if the module were not there.
 *
 * It runs inside every program that resolves a name, setuid ones included, so it reads no
 * environment, writes nothing, keeps the caller's errno, and on anything it distrusts (a file
 * that is not root's, a writable folder, a list over the caps) it blocks nothing rather than
 * let a stranger decide which names stop resolving.
 */
#include "quellnet_enforced_list.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <netdb.h>
#include <nss.h>
#include <pthread.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#define QUELLNET_EXPORT __attribute__((visibility("default")))

struct listed_name {
    const char *text;
    size_t length;
};

/*
 * What the cached list was read from. The writer replaces the file by rename, so the inode
 * alone would do for it; the rest catches edits in place and changes of owner or mode.
 */
struct file_identity {
    dev_t device;
    ino_t inode;
    off_t size;
    mode_t mode;
    uid_t owner;
    struct timespec modified;
    struct timespec changed;
};

/* Everything below is guarded by list_lock. */
static pthread_mutex_t list_lock = PTHREAD_MUTEX_INITIALIZER;
static bool list_identity_known;
static struct file_identity list_identity;
static char *list_text;
static struct listed_name *list_names;
static size_t list_count;

/* Without the fork handlers a child forked mid-look-up would inherit a held lock. */
static bool fork_handlers_installed;

#ifdef QUELLNET_NSS_TESTING
static char list_folder[PATH_MAX] = QUELLNET_LIST_DIR;
static char list_file_name[NAME_MAX + 1] = QUELLNET_LIST_NAME;
static char list_path[PATH_MAX] = QUELLNET_LIST_PATH;
static uid_t trusted_owner(void) {
    return geteuid();
}
#else
#define list_folder QUELLNET_LIST_DIR
#define list_file_name QUELLNET_LIST_NAME
#define list_path QUELLNET_LIST_PATH
static uid_t trusted_owner(void) {
    return 0;
}
#endif

static void lock_list(void) {
    pthread_mutex_lock(&list_lock);
}
static void unlock_list(void) {
    pthread_mutex_unlock(&list_lock);
}

__attribute__((constructor)) static void install_fork_handlers(void) {
    fork_handlers_installed = pthread_atfork(lock_list, unlock_list, unlock_list) == 0;
}

static void drop_list(void) {
    free(list_names);
    free(list_text);
    list_names = NULL;
    list_text = NULL;
    list_count = 0;
    list_identity_known = false;
}

static bool same_identity(const struct file_identity *known, const struct stat *st) {
    return known->device == st->st_dev && known->inode == st->st_ino &&
           known->size == st->st_size && known->mode == st->st_mode && known->owner == st->st_uid &&
           known->modified.tv_sec == st->st_mtim.tv_sec &&
           known->modified.tv_nsec == st->st_mtim.tv_nsec &&
           known->changed.tv_sec == st->st_ctim.tv_sec &&
           known->changed.tv_nsec == st->st_ctim.tv_nsec;
}

static void remember_identity(const struct stat *st) {
    list_identity.device = st->st_dev;
    list_identity.inode = st->st_ino;
    list_identity.size = st->st_size;
    list_identity.mode = st->st_mode;
    list_identity.owner = st->st_uid;
    list_identity.modified = st->st_mtim;
    list_identity.changed = st->st_ctim;
    list_identity_known = true;
}

static bool trusted(const struct stat *st) {
    return st->st_uid == trusted_owner() && (st->st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

static int compare_names(const void *a, const void *b) {
    const struct listed_name *left = a;
    const struct listed_name *right = b;
    return quellnet_name_order(left->text, left->length, right->text, right->length);
}

/* Reads exactly `size` bytes; false if the file is shorter or longer than its fstat said. */
static bool read_exactly(int fd, char *buffer, size_t size) {
    size_t total = 0;
    for (;;) {
        char probe;
        char *into = total < size ? buffer + total : &probe;
        const size_t room = total < size ? size - total : 1;
        const ssize_t got = read(fd, into, room);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return total == size;
        if (total == size)
            return false;
        total += (size_t)got;
    }
}

/*
 * Builds the sorted name index over `text`. The header line must carry the format's magic;
 * lines that are not valid names (garbage, NUL bytes, upper case, over-long, unterminated)
 * are skipped so that they can never block anything.
 */
static bool index_list(char *text, size_t size) {
    const char *end = text + size;
    const char *line_end = memchr(text, '\n', size);
    const size_t magic_length = sizeof(QUELLNET_LIST_MAGIC) - 1;
    if (line_end == NULL || (size_t)(line_end - text) < magic_length ||
        memcmp(text, QUELLNET_LIST_MAGIC, magic_length) != 0 ||
        (text[magic_length] != ' ' && text[magic_length] != '\n'))
        return false;

    /* Lines bound the names from above; one pass then validates and indexes them. */
    size_t lines = 0;
    for (const char *at = line_end + 1; at < end; ++at, ++lines) {
        at = memchr(at, '\n', (size_t)(end - at));
        if (at == NULL)
            break;
    }
    const size_t room = lines < QUELLNET_LIST_MAX_NAMES ? lines : QUELLNET_LIST_MAX_NAMES;
    struct listed_name *names = NULL;
    if (room > 0) {
        names = malloc(room * sizeof *names);
        if (names == NULL)
            return false;
    }
    size_t count = 0;
    bool sorted = true;
    for (const char *line = line_end + 1; line < end;) {
        const char *newline = memchr(line, '\n', (size_t)(end - line));
        if (newline == NULL)
            break;
        const size_t length = (size_t)(newline - line);
        if (quellnet_valid_name(line, length)) {
            if (count == room) {
                free(names);
                return false;
            }
            names[count] = (struct listed_name){line, length};
            if (count > 0 && compare_names(&names[count - 1], &names[count]) > 0)
                sorted = false;
            ++count;
        }
        line = newline + 1;
    }
    /* The writer sorts; a hand-edited file must still never make the search miss a name. */
    if (!sorted)
        qsort(names, count, sizeof *names, compare_names);

    list_text = text;
    list_names = names;
    list_count = count;
    return true;
}

/*
 * Replaces the cache from the file, leaving an empty list on any doubt. A file that was
 * opened and judged is remembered by identity so that a bad one is not re-read on every
 * look-up; an untrusted folder is not, so repairing it takes effect at once.
 */
static void reload_list(void) {
    drop_list();
    const int folder = open(list_folder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0)
        return;
    struct stat st;
    if (fstat(folder, &st) != 0 || !S_ISDIR(st.st_mode) || !trusted(&st)) {
        close(folder);
        return;
    }
    const int fd = openat(folder, list_file_name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    close(folder);
    if (fd < 0)
        return;
    if (fstat(fd, &st) != 0) {
        close(fd);
        return;
    }
    if (!S_ISREG(st.st_mode) || !trusted(&st) || st.st_size < 0 ||
        st.st_size > QUELLNET_LIST_MAX_BYTES) {
        close(fd);
        remember_identity(&st);
        return;
    }
    const size_t size = (size_t)st.st_size;
    char *text = malloc(size + 1);
    if (text == NULL) {
        close(fd);
        return;
    }
    const bool complete = read_exactly(fd, text, size);
    close(fd);
    if (!complete) {
        /* Changed while being read (not by our writer, which renames): look again next time. */
        free(text);
        return;
    }
    text[size] = '\0';
    if (!index_list(text, size))
        free(text);
    remember_identity(&st);
}

static void refresh_list(void) {
    struct stat st;
    if (lstat(list_path, &st) != 0) {
        drop_list();
        return;
    }
    if (!list_identity_known || !same_identity(&list_identity, &st))
        reload_list();
}

static bool find_name(const char *name, size_t length) {
    size_t low = 0;
    size_t high = list_count;
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        const struct listed_name *entry = &list_names[middle];
        const int order = quellnet_name_order(entry->text, entry->length, name, length);
        if (order == 0)
            return true;
        if (order < 0)
            low = middle + 1;
        else
            high = middle;
    }
    return false;
}

/* The name itself, or any name it lies under on a label boundary. */
static bool listed(const char *name, size_t length) {
    size_t start = 0;
    for (;;) {
        if (find_name(name + start, length - start))
            return true;
        const char *dot = memchr(name + start, '.', length - start);
        if (dot == NULL)
            return false;
        start = (size_t)(dot - name) + 1;
    }
}

/* ASCII lower case, one trailing dot dropped; false for what can never be a listed name. */
static bool normalise(const char *name, char *query, size_t *length) {
    if (name == NULL)
        return false;
    size_t n = strnlen(name, QUELLNET_NAME_MAX + 2);
    if (n > 0 && name[n - 1] == '.')
        --n;
    if (n == 0 || n > QUELLNET_NAME_MAX)
        return false;
    for (size_t i = 0; i < n; ++i) {
        const char c = name[i];
        query[i] = (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
    }
    *length = n;
    return quellnet_valid_name(query, n);
}

static bool is_localhost(const char *query, size_t length) {
    static const char localhost[] = "localhost";
    const size_t n = sizeof(localhost) - 1;
    if (length == n)
        return memcmp(query, localhost, n) == 0;
    return length > n && query[length - n - 1] == '.' &&
           memcmp(query + length - n, localhost, n) == 0;
}

/* The machine answers for itself, as a phone does for its own name. */
static bool is_own_host_name(const char *query, size_t length) {
    char host[HOST_NAME_MAX + 2];
    if (gethostname(host, sizeof host) != 0)
        return false;
    host[sizeof host - 1] = '\0';
    char own[QUELLNET_NAME_MAX + 1];
    size_t own_length;
    return normalise(host, own, &own_length) && own_length == length &&
           memcmp(own, query, length) == 0;
}

static enum nss_status answer(const char *name, int *errnop, int *herrnop) {
    const int saved_errno = errno;
    char query[QUELLNET_NAME_MAX + 1];
    size_t length = 0;
    bool blocked = false;
    if (fork_handlers_installed && normalise(name, query, &length) &&
        !is_localhost(query, length)) {
        int cancel_state;
        pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &cancel_state);
        lock_list();
        refresh_list();
        blocked = listed(query, length);
        unlock_list();
        pthread_setcancelstate(cancel_state, NULL);
        blocked = blocked && !is_own_host_name(query, length);
    }
    errno = saved_errno;
    if (!blocked)
        return NSS_STATUS_UNAVAIL;
    *errnop = ENOENT;
    *herrnop = HOST_NOT_FOUND;
    return NSS_STATUS_NOTFOUND;
}

QUELLNET_EXPORT nss_gethostbyname4_r _nss_quellnet_gethostbyname4_r;
QUELLNET_EXPORT nss_gethostbyname3_r _nss_quellnet_gethostbyname3_r;
QUELLNET_EXPORT nss_gethostbyname2_r _nss_quellnet_gethostbyname2_r;
QUELLNET_EXPORT nss_gethostbyname_r _nss_quellnet_gethostbyname_r;

enum nss_status _nss_quellnet_gethostbyname4_r(const char *name, struct gaih_addrtuple **pat,
                                               char *buffer, size_t buflen, int *errnop,
                                               int *herrnop, int32_t *ttlp) {
    (void)pat;
    (void)buffer;
    (void)buflen;
    (void)ttlp;
    return answer(name, errnop, herrnop);
}

enum nss_status _nss_quellnet_gethostbyname3_r(const char *name, int af, struct hostent *host,
                                               char *buffer, size_t buflen, int *errnop,
                                               int *herrnop, int32_t *ttlp, char **canonp) {
    (void)af;
    (void)host;
    (void)buffer;
    (void)buflen;
    (void)ttlp;
    (void)canonp;
    return answer(name, errnop, herrnop);
}

enum nss_status _nss_quellnet_gethostbyname2_r(const char *name, int af, struct hostent *host,
                                               char *buffer, size_t buflen, int *errnop,
                                               int *herrnop) {
    (void)af;
    (void)host;
    (void)buffer;
    (void)buflen;
    return answer(name, errnop, herrnop);
}

enum nss_status _nss_quellnet_gethostbyname_r(const char *name, struct hostent *host, char *buffer,
                                              size_t buflen, int *errnop, int *herrnop) {
    (void)host;
    (void)buffer;
    (void)buflen;
    return answer(name, errnop, herrnop);
}

#ifdef QUELLNET_NSS_TESTING
/* Test build only: point the module at a list in a temporary folder. */
QUELLNET_EXPORT void quellnet_nss_test_set_list_path(const char *path);

void quellnet_nss_test_set_list_path(const char *path) {
    const int saved_errno = errno;
    lock_list();
    drop_list();
    const char *slash = strrchr(path, '/');
    const size_t length = strlen(path);
    if (slash != NULL && slash != path && length < sizeof list_path &&
        strlen(slash + 1) < sizeof list_file_name) {
        memcpy(list_path, path, length + 1);
        memcpy(list_folder, path, (size_t)(slash - path));
        list_folder[slash - path] = '\0';
        strcpy(list_file_name, slash + 1);
    }
    unlock_list();
    errno = saved_errno;
}
#endif
