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

/*
 * The longest text the resolver can still encode into a name of 255 wire bytes (four
 * characters per byte at most, "\DDD"), and its limit on a name joined to a search domain.
 */
#define QUELLNET_RESOLVER_NAME_MAX 1024
#define RESOLV_CONF_FOLDER "/etc"
#define RESOLV_CONF_NAME "resolv.conf"
#define RESOLV_CONF_MAX_BYTES (64 * 1024)
#define SEARCH_DOMAINS_MAX 64
#define RESOLVER_NDOTS_MAX 15

struct listed_name {
    const char *text;
    size_t length;
};

/*
 * What a cached file was read from. The writer replaces the list by rename, so the inode alone
 * would do for it; the rest catches edits in place and changes of owner or mode.
 */
struct file_identity {
    bool known;
    bool absent;
    dev_t device;
    ino_t inode;
    off_t size;
    mode_t mode;
    uid_t owner;
    struct timespec modified;
    struct timespec changed;
};

/* The part of resolv.conf that decides which names the resolver's search sends. */
struct search_list {
    struct file_identity identity;
    char *text;
    struct listed_name domains[SEARCH_DOMAINS_MAX];
    size_t count;
    unsigned ndots;
};

/* Everything below is guarded by list_lock. */
static pthread_mutex_t list_lock = PTHREAD_MUTEX_INITIALIZER;
static struct file_identity list_identity;
static char *list_text;
static struct listed_name *list_names;
static size_t list_count;
/* A list file we trust and could read is present, even one that names nothing. */
static bool list_in_force;
static struct search_list search = {.ndots = 1};

/* Without the fork handlers a child forked mid-look-up would inherit a held lock. */
static bool fork_handlers_installed;

#ifdef QUELLNET_NSS_TESTING
static char list_folder[PATH_MAX] = QUELLNET_LIST_DIR;
static char list_file_name[NAME_MAX + 1] = QUELLNET_LIST_NAME;
static char list_file_path[PATH_MAX] = QUELLNET_LIST_PATH;
static char resolv_folder[PATH_MAX] = RESOLV_CONF_FOLDER;
static char resolv_name[NAME_MAX + 1] = RESOLV_CONF_NAME;
static char resolv_file_path[PATH_MAX] = RESOLV_CONF_FOLDER "/" RESOLV_CONF_NAME;
static uid_t trusted_owner(void) {
    return geteuid();
}
#else
#define list_folder QUELLNET_LIST_DIR
#define list_file_name QUELLNET_LIST_NAME
#define resolv_folder RESOLV_CONF_FOLDER
#define resolv_name RESOLV_CONF_NAME
#define list_file_path QUELLNET_LIST_PATH
#define resolv_file_path RESOLV_CONF_FOLDER "/" RESOLV_CONF_NAME
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
    list_in_force = false;
    list_identity.known = false;
}

static void drop_search(void) {
    free(search.text);
    search.text = NULL;
    search.count = 0;
    search.ndots = 1;
    search.identity.known = false;
}

static bool same_identity(const struct file_identity *known, const struct stat *st) {
    return known->known && !known->absent && known->device == st->st_dev &&
           known->inode == st->st_ino && known->size == st->st_size && known->mode == st->st_mode &&
           known->owner == st->st_uid && known->modified.tv_sec == st->st_mtim.tv_sec &&
           known->modified.tv_nsec == st->st_mtim.tv_nsec &&
           known->changed.tv_sec == st->st_ctim.tv_sec &&
           known->changed.tv_nsec == st->st_ctim.tv_nsec;
}

static void remember_identity(struct file_identity *identity, const struct stat *st) {
    identity->known = true;
    identity->absent = false;
    identity->device = st->st_dev;
    identity->inode = st->st_ino;
    identity->size = st->st_size;
    identity->mode = st->st_mode;
    identity->owner = st->st_uid;
    identity->modified = st->st_mtim;
    identity->changed = st->st_ctim;
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
 * The whole of a regular file in a trusted folder, itself trusted and at most `limit` bytes,
 * never through a link, NUL-terminated. The identity is remembered for every file that was
 * opened and judged, so that a bad one is not re-read on every look-up; an untrusted folder is
 * not remembered, so repairing it takes effect at once.
 */
static char *read_trusted(const char *folder_path, const char *name, size_t limit,
                          struct file_identity *identity, size_t *size) {
    const int folder = open(folder_path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0)
        return NULL;
    struct stat st;
    if (fstat(folder, &st) != 0 || !S_ISDIR(st.st_mode) || !trusted(&st)) {
        close(folder);
        return NULL;
    }
    const int fd = openat(folder, name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    close(folder);
    if (fd < 0)
        return NULL;
    if (fstat(fd, &st) != 0) {
        close(fd);
        return NULL;
    }
    if (!S_ISREG(st.st_mode) || !trusted(&st) || st.st_size < 0 ||
        (unsigned long long)st.st_size > limit) {
        close(fd);
        remember_identity(identity, &st);
        return NULL;
    }
    *size = (size_t)st.st_size;
    char *text = malloc(*size + 1);
    if (text == NULL) {
        close(fd);
        return NULL;
    }
    const bool complete = read_exactly(fd, text, *size);
    close(fd);
    if (!complete) {
        /* Changed while being read (not by our writer, which renames): look again next time. */
        free(text);
        return NULL;
    }
    text[*size] = '\0';
    remember_identity(identity, &st);
    return text;
}

/*
 * Builds the sorted name index over `text`. The header line must carry the format's magic;
 * lines that are not valid names (garbage, NUL bytes, upper case, over-long, unterminated)
 * are skipped so that they can never block anything.
 */
static bool index_list(char *text, size_t size) {
    const char *end = text + size;
    const char *line_end = memchr(text, '\n', size);
    struct quellnet_list_header header;
    if (line_end == NULL ||
        quellnet_parse_header(text, (size_t)(line_end - text), &header) == QUELLNET_HEADER_NOT_OURS)
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
    list_in_force = true;
    return true;
}

/* Replaces the cache from the file, leaving an empty list on any doubt. */
static void reload_list(void) {
    drop_list();
    size_t size = 0;
    char *text =
        read_trusted(list_folder, list_file_name, QUELLNET_LIST_MAX_BYTES, &list_identity, &size);
    if (text != NULL && !index_list(text, size))
        free(text);
}

/* glibc's MATCH(): the keyword, then a blank. */
static const char *keyword(const char *line, const char *word) {
    const size_t n = strlen(word);
    if (strncmp(line, word, n) != 0 || (line[n] != ' ' && line[n] != '\t'))
        return NULL;
    line += n;
    while (*line == ' ' || *line == '\t')
        ++line;
    return *line != '\0' ? line : NULL;
}

/* Read as glibc's res_init reads it; false for a file that holds more than we keep. */
static bool parse_resolv_conf(char *text, size_t size) {
    for (char *line = text; line < text + size;) {
        char *newline = memchr(line, '\n', (size_t)(text + size - line));
        char *next = newline != NULL ? newline + 1 : text + size;
        if (newline != NULL)
            *newline = '\0';
        const char *value;
        if (*line == ';' || *line == '#') {
            /* a comment */
        } else if ((value = keyword(line, "domain")) != NULL) {
            search.count = 1;
            search.domains[0] = (struct listed_name){value, strcspn(value, " \t")};
        } else if ((value = keyword(line, "search")) != NULL) {
            search.count = 0;
            while (*value != '\0') {
                const size_t length = strcspn(value, " \t");
                if (length > 0) {
                    if (search.count == SEARCH_DOMAINS_MAX)
                        return false;
                    search.domains[search.count++] = (struct listed_name){value, length};
                }
                value += length;
                value += strspn(value, " \t");
            }
        } else if ((value = keyword(line, "options")) != NULL) {
            while (*value != '\0') {
                const size_t length = strcspn(value, " \t");
                if (strncmp(value, "ndots:", 6) == 0) {
                    /* atoi() stored into glibc's four-bit field, capped at 15 */
                    const char *digit = value + 6;
                    const bool negative = *digit == '-';
                    digit += *digit == '-' || *digit == '+';
                    unsigned long ndots = 0;
                    for (; *digit >= '0' && *digit <= '9' && ndots <= RESOLVER_NDOTS_MAX; ++digit)
                        ndots = ndots * 10 + (unsigned long)(*digit - '0');
                    search.ndots = negative ? (unsigned)(0u - (unsigned)ndots) & 15u
                                   : ndots > RESOLVER_NDOTS_MAX ? RESOLVER_NDOTS_MAX
                                                                : (unsigned)ndots;
                }
                value += length;
                value += strspn(value, " \t");
            }
        }
        line = next;
    }
    return true;
}

/* Without a domain or search line, or without resolv.conf, glibc takes the host name's domain. */
static void search_host_domain(void) {
    static char host[HOST_NAME_MAX + 2];
    if (gethostname(host, sizeof host) != 0)
        return;
    host[sizeof host - 1] = '\0';
    const char *dot = strchr(host, '.');
    if (dot != NULL && dot[1] != '\0') {
        search.domains[0] = (struct listed_name){dot + 1, strlen(dot + 1)};
        search.count = 1;
    }
}

/*
 * Re-reads resolv.conf into the search list, which is empty on any doubt (the file a link, not
 * root's, writable by others, over the cap). LOCALDOMAIN, RES_OPTIONS and HOSTALIASES change
 * glibc's search in a program that sets them; the module reads no environment, so such a
 * program is outside its reach.
 */
static void reload_search(void) {
    drop_search();
    size_t size = 0;
    char *text =
        read_trusted(resolv_folder, resolv_name, RESOLV_CONF_MAX_BYTES, &search.identity, &size);
    if (text == NULL)
        return;
    search.text = text;
    if (!parse_resolv_conf(text, size)) {
        search.count = 0;
        search.ndots = 1;
        return;
    }
    if (search.count == 0)
        search_host_domain();
}

static void refresh_list(void) {
    struct stat st;
    if (fstatat(AT_FDCWD, list_file_path, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        drop_list();
        return;
    }
    if (!same_identity(&list_identity, &st))
        reload_list();
    /* Only a list in force needs the search list. */
    if (!list_in_force)
        return;
    if (fstatat(AT_FDCWD, resolv_file_path, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (!search.identity.known || !search.identity.absent) {
            drop_search();
            search_host_domain();
            search.identity.known = true;
            search.identity.absent = true;
        }
        return;
    }
    if (!same_identity(&search.identity, &st))
        reload_search();
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

/*
 * The name as the resolver puts it on the wire (ns_name_pton): "\DDD" is the byte DDD, "\X"
 * is X, a lone backslash at the end is dropped, one trailing dot makes the name absolute.
 * Labels come out joined by '.', lower-cased; a dot escaped into a label comes out as NUL,
 * which no listed name holds, so it never joins two labels into a listed one. False where the
 * resolver would refuse the name (empty label, a label over 63 bytes, over 255 wire bytes, a
 * bad escape) or for the root alone: the resolver sends nothing for those.
 */
static bool decode_name(const char *text, size_t n, char *out, size_t *length) {
    size_t at = 0;
    size_t label = 0;
    for (size_t i = 0; i < n;) {
        unsigned char c = (unsigned char)text[i++];
        if (c == '\\') {
            if (i == n)
                break;
            c = (unsigned char)text[i++];
            if (c >= '0' && c <= '9') {
                if (n - i < 2 || text[i] < '0' || text[i] > '9' || text[i + 1] < '0' ||
                    text[i + 1] > '9')
                    return false;
                const unsigned value = (unsigned)(c - '0') * 100 + (unsigned)(text[i] - '0') * 10 +
                                       (unsigned)(text[i + 1] - '0');
                i += 2;
                if (value > 255)
                    return false;
                c = (unsigned char)value;
            }
            if (c == '.')
                c = '\0';
        } else if (c == '.') {
            if (label == 0 || (i < n && text[i] == '.'))
                return false;
            if (i == n)
                break;
            if (at >= QUELLNET_NAME_MAX)
                return false;
            out[at++] = '.';
            label = 0;
            continue;
        }
        if (++label > QUELLNET_LABEL_MAX || at >= QUELLNET_NAME_MAX)
            return false;
        out[at++] = (char)((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
    }
    /* "a.\" ends in an empty label the resolver leaves out. */
    if (label == 0 && at > 0)
        --at;
    *length = at;
    return at > 0;
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
    return decode_name(host, strlen(host), own, &own_length) && own_length == length &&
           memcmp(own, query, length) == 0;
}

/*
 * One name the resolver may send: blocked if listed or under a listed name. The browser signal
 * is held too while a list is in force: a browser that finds it does not resolve keeps its own
 * DNS-over-HTTPS off, which would otherwise go around this module altogether.
 */
static bool blocks(const char *text, size_t n) {
    char query[QUELLNET_NAME_MAX + 1];
    size_t length;
    return decode_name(text, n, query, &length) && !is_localhost(query, length) &&
           (quellnet_is_browser_signal(query, length) || listed(query, length)) &&
           !is_own_host_name(query, length);
}

/*
 * Every name the resolver's search (res_nsearch) may send for `name`: the name itself and,
 * unless it ends in a dot, the name joined to each search domain. Those go out before the name
 * itself when it has fewer dots than ndots, and a name without dots has no top-level domain to
 * exist under, so its expansions go out in practice whatever ndots says. A name with ndots or
 * more dots is tried as it is first and joined to the search domains only if it does not exist;
 * blocking on those expansions would block every such name whenever a search domain is listed.
 */
static bool search_blocks(const char *name, size_t n) {
    if (blocks(name, n))
        return true;
    size_t dots = 0;
    for (size_t i = 0; i < n; ++i)
        dots += name[i] == '.';
    if (n == 0 || name[n - 1] == '.' || (dots > 0 && dots >= search.ndots))
        return false;
    char joined[QUELLNET_RESOLVER_NAME_MAX + 1];
    for (size_t d = 0; d < search.count; ++d) {
        const char *domain = search.domains[d].text;
        size_t domain_length = search.domains[d].length;
        if (domain_length > 0 && domain[0] == '.') {
            ++domain;
            --domain_length;
        }
        /* The resolver joins the texts and refuses a result this long. */
        if (n + 1 + domain_length >= sizeof joined)
            continue;
        memcpy(joined, name, n);
        joined[n] = '.';
        memcpy(joined + n + 1, domain, domain_length);
        if (blocks(joined, n + 1 + domain_length))
            return true;
    }
    return false;
}

static enum nss_status answer(const char *name, int *errnop, int *herrnop) {
    const int saved_errno = errno;
    bool blocked = false;
    const size_t n = name != NULL ? strnlen(name, QUELLNET_RESOLVER_NAME_MAX + 1) : 0;
    if (fork_handlers_installed && n > 0 && n <= QUELLNET_RESOLVER_NAME_MAX) {
        int cancel_state;
        pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &cancel_state);
        lock_list();
        refresh_list();
        blocked = list_in_force && search_blocks(name, n);
        unlock_list();
        pthread_setcancelstate(cancel_state, NULL);
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
/* Test build only: point the module at a list and a resolv.conf in a temporary folder. */
QUELLNET_EXPORT void quellnet_nss_test_set_list_path(const char *path);
QUELLNET_EXPORT void quellnet_nss_test_set_resolv_conf_path(const char *path);

static void split_path(const char *path, char *whole, char *folder, char *name) {
    const char *slash = strrchr(path, '/');
    const size_t length = strlen(path);
    if (slash != NULL && slash != path && length < PATH_MAX && strlen(slash + 1) <= NAME_MAX) {
        memcpy(whole, path, length + 1);
        memcpy(folder, path, (size_t)(slash - path));
        folder[slash - path] = '\0';
        strcpy(name, slash + 1);
    }
}

void quellnet_nss_test_set_list_path(const char *path) {
    const int saved_errno = errno;
    lock_list();
    drop_list();
    split_path(path, list_file_path, list_folder, list_file_name);
    unlock_list();
    errno = saved_errno;
}

void quellnet_nss_test_set_resolv_conf_path(const char *path) {
    const int saved_errno = errno;
    lock_list();
    drop_search();
    split_path(path, resolv_file_path, resolv_folder, resolv_name);
    unlock_list();
    errno = saved_errno;
}
#endif
