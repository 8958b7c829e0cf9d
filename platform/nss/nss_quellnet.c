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
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
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
 * quellnet_name_order() without a call per comparison: names differ within their first few
 * bytes, where a call to memcmp costs more than the comparing. The same order, byte by byte.
 */
static inline int name_order(const char *a, size_t a_length, const char *b, size_t b_length) {
    const size_t n = a_length < b_length ? a_length : b_length;
    for (size_t i = 0; i < n; ++i) {
        if (a[i] != b[i])
            return (unsigned char)a[i] < (unsigned char)b[i] ? -1 : 1;
    }
    return (a_length > b_length) - (a_length < b_length);
}

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
    size_t text_size;
    struct listed_name domains[SEARCH_DOMAINS_MAX];
    size_t count;
    unsigned ndots;
};

/* Everything below is guarded by list_lock. */
static pthread_mutex_t list_lock = PTHREAD_MUTEX_INITIALIZER;
static struct file_identity list_identity;
/*
 * The list's text from list_first on: its lines, each ending in a newline. Once indexed, they
 * are in byte order, and the lines beginning with byte b (an empty one counts as 0) are lines
 * [line_end[b - 1], line_end[b]), bytes [byte_end[b - 1], byte_end[b]) (from line 0 and byte
 * list_first for b = 0): a look-up searches only those sharing its first byte. Every
 * ANCHOR_EVERY-th line's offset is kept: a whole index would cost a fresh process more pages
 * than the text it indexes.
 */
#define ANCHOR_EVERY 4
static char *list_text;
static size_t list_text_size;
static uint32_t list_first;
static uint32_t *list_anchors;
static uint32_t list_line_end[256];
static uint32_t list_byte_end[256];
/* A bit per (first byte, second byte, length) of a listed line, hashed: most names a look-up
 * searches for are ruled out by one bit instead of a search. */
#define FILTER_BITS 65536u
static uint64_t list_filter[FILTER_BITS / 64];
static bool list_filter_used;

static void clear_filter(void) {
    if (list_filter_used)
        memset(list_filter, 0, sizeof list_filter);
    list_filter_used = false;
}

static uint32_t filter_bit(const char *name, size_t length) {
    uint32_t h = (unsigned char)name[0] * 0x9E3779B1u ^
                 (length > 1 ? (unsigned char)name[1] : 0u) * 0x85EBCA77u ^
                 (uint32_t)length * 0xC2B2AE3Du;
    h ^= h >> 16;
    return h % FILTER_BITS;
}
/* A list file we trust and could read is present, even one that names nothing. */
static bool list_in_force;
/*
 * Until it is indexed, the list is list_text[list_first, list_end), searched as it stands.
 * Most programs look up one name and exit; indexing a full list costs a fresh process more
 * than the rest of its look-up, so only a second answer from the same list pays for it.
 */
static size_t list_end;
static bool list_indexed;
static bool list_answered;
static struct search_list search = {.ndots = 1};
/* When the files were last looked at; never, until `checked`. */
static bool checked;
static struct timespec last_check;

/* Without the fork handlers a child forked mid-look-up would inherit a held lock. */
static bool fork_handlers_installed;

#ifdef QUELLNET_NSS_TESTING
static char list_folder[PATH_MAX] = QUELLNET_LIST_DIR;
static char list_file_path[PATH_MAX] = QUELLNET_LIST_PATH;
static char resolv_folder[PATH_MAX] = RESOLV_CONF_FOLDER;
static char resolv_file_path[PATH_MAX] = RESOLV_CONF_FOLDER "/" RESOLV_CONF_NAME;
static uid_t trusted_owner(void) {
    return geteuid();
}
#else
#define list_folder QUELLNET_LIST_DIR
#define resolv_folder RESOLV_CONF_FOLDER
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

/*
 * Room for a file's text; a large one's pages made at once: a fresh process pays for every
 * page it touches, and one call for them all costs less than a fault each.
 */
#define MAPPED_TEXT_MIN (128 * 1024)

static char *allocate_text(size_t size) {
    if (size < MAPPED_TEXT_MIN)
        return malloc(size);
    void *text =
        mmap(NULL, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    return text != MAP_FAILED ? text : NULL;
}

static void free_text(char *text, size_t size) {
    if (size < MAPPED_TEXT_MIN)
        free(text);
    else if (text != NULL)
        munmap(text, size);
}

/* Forgets the names but not the file they came from, so that a file refused is not re-read. */
static void forget_names(void) {
    free_text(list_text, list_text_size);
    list_text = NULL;
    list_text_size = 0;
    list_first = 0;
    free(list_anchors);
    list_anchors = NULL;
    memset(list_line_end, 0, sizeof list_line_end);
    memset(list_byte_end, 0, sizeof list_byte_end);
    clear_filter();
    list_end = 0;
    list_indexed = false;
    list_answered = false;
    list_in_force = false;
}

static void drop_list(void) {
    forget_names();
    list_identity.known = false;
}

static void drop_search(void) {
    free_text(search.text, search.text_size);
    search.text = NULL;
    search.text_size = 0;
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

/*
 * Reads exactly `size` bytes into `buffer` (room for size + 1); false if the file is shorter or
 * longer than its fstat said. Asking for one byte more tells a longer file in the same call: a
 * regular file gives less than asked only at its end.
 */
static bool read_exactly(int fd, char *buffer, size_t size) {
    size_t total = 0;
    for (;;) {
        const ssize_t got = read(fd, buffer + total, size + 1 - total);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got == 0 && total == size;
        total += (size_t)got;
        if (total > size)
            return false;
        if (total == size)
            return true;
    }
}

/*
 * The whole of a regular file in a trusted folder, itself trusted and at most `limit` bytes,
 * never through a link, NUL-terminated, in allocate_text(size + 1). The identity is remembered for
 * every file that was opened and judged, so that a bad one is not re-read on every look-up; an
 * untrusted folder is not remembered, so repairing it takes effect at once.
 */
static char *read_trusted(const char *folder_path, const char *file_path, size_t limit,
                          struct file_identity *identity, size_t *size) {
    /* The folder's own folder is root's, so the folder judged here is the one opened through. */
    struct stat st;
    if (fstatat(AT_FDCWD, folder_path, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) ||
        !trusted(&st))
        return NULL;
    const int fd = open(file_path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
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
    char *text = allocate_text(*size + 1);
    if (text == NULL) {
        close(fd);
        return NULL;
    }
    const bool complete = read_exactly(fd, text, *size);
    close(fd);
    if (!complete) {
        /* Changed while being read (not by our writer, which renames): look again next time. */
        free_text(text, *size + 1);
        return NULL;
    }
    text[*size] = '\0';
    remember_identity(identity, &st);
    return text;
}

static int compare_names(const void *a, const void *b) {
    const struct listed_name *left = a;
    const struct listed_name *right = b;
    return quellnet_name_order(left->text, left->length, right->text, right->length);
}

/*
 * Whether the lines of text[from, end) (`end` just after a newline) are in byte order, at most
 * the cap in number and none longer than a name; if so, indexes them.
 */
static bool index_in_order(const char *text, size_t from, size_t end) {
    uint32_t *anchors = malloc((QUELLNET_LIST_MAX_NAMES / ANCHOR_EVERY + 1) * sizeof *anchors);
    if (anchors == NULL)
        return false;
    uint32_t lines[256] = {0};
    uint32_t last_end[256] = {0};
    clear_filter();
    list_filter_used = true;
    size_t count = 0;
    const char *previous = NULL;
    size_t previous_length = 0;
    for (const char *line = text + from; line < text + end; ++count) {
        const char *newline = memchr(line, '\n', (size_t)(text + end - line));
        if (newline == NULL)
            break;
        const size_t length = (size_t)(newline - line);
        if (count == QUELLNET_LIST_MAX_NAMES || length > QUELLNET_NAME_MAX ||
            (previous != NULL && name_order(previous, previous_length, line, length) > 0)) {
            free(anchors);
            return false;
        }
        if (count % ANCHOR_EVERY == 0)
            anchors[count / ANCHOR_EVERY] = (uint32_t)(line - text);
        const unsigned char key = length > 0 ? (unsigned char)line[0] : 0;
        ++lines[key];
        if (length > 0) {
            const uint32_t bit = filter_bit(line, length);
            list_filter[bit / 64] |= (uint64_t)1 << (bit % 64);
        }
        last_end[key] = (uint32_t)(newline + 1 - text);
        previous = line;
        previous_length = length;
        line = newline + 1;
    }
    uint32_t line_at = 0;
    uint32_t byte_at = (uint32_t)from;
    for (size_t b = 0; b < 256; ++b) {
        line_at += lines[b];
        if (last_end[b] != 0)
            byte_at = last_end[b];
        list_line_end[b] = line_at;
        list_byte_end[b] = byte_at;
    }
    list_first = (uint32_t)from;
    list_anchors = anchors;
    return true;
}

/*
 * A file out of order was not written by the writer alone: its lines are validated, as they
 * must be before being sorted, and the valid ones written sorted into a text of their own,
 * leaving out those that are not names so that they can never block anything nor hide a good
 * one. NULL if more than the cap are valid.
 */
static char *sorted_names(const char *text, size_t from, size_t end, size_t *sorted_size) {
    struct listed_name *names = malloc(QUELLNET_LIST_MAX_NAMES * sizeof *names);
    if (names == NULL)
        return NULL;
    size_t count = 0;
    size_t bytes = 0;
    for (const char *line = text + from; line < text + end;) {
        const char *newline = memchr(line, '\n', (size_t)(text + end - line));
        if (newline == NULL)
            break;
        const size_t length = (size_t)(newline - line);
        if (quellnet_valid_name(line, length)) {
            if (count == QUELLNET_LIST_MAX_NAMES) {
                free(names);
                return NULL;
            }
            names[count++] = (struct listed_name){line, length};
            bytes += length + 1;
        }
        line = newline + 1;
    }
    qsort(names, count, sizeof *names, compare_names);
    *sorted_size = bytes + 1;
    char *sorted = allocate_text(*sorted_size);
    if (sorted != NULL) {
        char *at = sorted;
        for (size_t i = 0; i < count; ++i) {
            memcpy(at, names[i].text, names[i].length);
            at += names[i].length;
            *at++ = '\n';
        }
        *at = '\0';
    }
    free(names);
    return sorted;
}

/*
 * Makes `text` (of `size` bytes, in allocate_text(size + 1)) the list in force if its header
 * line carries the format's magic, to be indexed once a second answer needs it. Takes the text
 * either way.
 */
static void take_list(char *text, size_t size) {
    const char *header_end = memchr(text, '\n', size);
    struct quellnet_list_header header;
    if (header_end == NULL || quellnet_parse_header(text, (size_t)(header_end - text), &header) ==
                                  QUELLNET_HEADER_NOT_OURS) {
        free_text(text, size + 1);
        return;
    }
    const size_t from = (size_t)(header_end + 1 - text);
    /* An unterminated last line is not a name. */
    const char *last_newline = memrchr(text + from - 1, '\n', size - from + 1);
    list_text = text;
    list_text_size = size + 1;
    list_first = (uint32_t)from;
    list_end = (size_t)(last_newline + 1 - text);
    list_in_force = true;
}

/*
 * The writer validates and sorts every name, so a list in order is indexed as it stands: a line
 * that is not a valid name can never equal the valid names a look-up searches for. A list out
 * of order is validated and sorted into a text of its own. If neither can be indexed, nothing
 * is in force, and the file is not read again until it changes.
 */
static void index_list(void) {
    if (index_in_order(list_text, list_first, list_end)) {
        list_indexed = true;
        return;
    }
    size_t sorted_size = 0;
    char *sorted = sorted_names(list_text, list_first, list_end, &sorted_size);
    forget_names();
    if (sorted == NULL || !index_in_order(sorted, 0, sorted_size - 1)) {
        free_text(sorted, sorted_size);
        return;
    }
    list_text = sorted;
    list_text_size = sorted_size;
    list_end = sorted_size - 1;
    list_indexed = true;
    list_in_force = true;
}

/* Replaces the cache from the file, leaving an empty list on any doubt. */
static void reload_list(void) {
    drop_list();
    size_t size = 0;
    char *text =
        read_trusted(list_folder, list_file_path, QUELLNET_LIST_MAX_BYTES, &list_identity, &size);
    if (text != NULL)
        take_list(text, size);
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
    char *text = read_trusted(resolv_folder, resolv_file_path, RESOLV_CONF_MAX_BYTES,
                              &search.identity, &size);
    if (text == NULL)
        return;
    search.text = text;
    search.text_size = size + 1;
    if (!parse_resolv_conf(text, size)) {
        search.count = 0;
        search.ndots = 1;
        return;
    }
    if (search.count == 0)
        search_host_domain();
}

/* Whether QUELLNET_RECHECK_NS has passed since the files were last looked at. */
static bool recheck_due(void) {
    struct timespec now;
    if (clock_gettime(CLOCK_MONOTONIC_COARSE, &now) != 0) {
        checked = false;
        return true;
    }
    const long long elapsed = (long long)(now.tv_sec - last_check.tv_sec) * 1000000000LL +
                              (now.tv_nsec - last_check.tv_nsec);
    if (checked && elapsed >= 0 && elapsed < QUELLNET_RECHECK_NS)
        return false;
    /* Taken before the files are looked at: the writer's wait is counted from this reading. */
    last_check = now;
    checked = true;
    return true;
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

/* The order of the line at `line` (which ends in a newline) and `name`, as name_order(). */
static int line_order(const char *line, const char *name, size_t length) {
    for (size_t i = 0;; ++i) {
        const unsigned char c = (unsigned char)line[i];
        if (i == length)
            return c == '\n' ? 0 : 1;
        if (c == '\n')
            return -1;
        if (c != (unsigned char)name[i])
            return c < (unsigned char)name[i] ? -1 : 1;
    }
}

/*
 * A list not yet indexed, searched as it stands: a binary search by byte, each probe taking the
 * line it falls in. In the writer's order it finds what the index would; a list out of order
 * can only make it miss a name, never block one it does not hold.
 */
static bool find_unindexed(const char *name, size_t length) {
    size_t low = list_first; /* where a line starts */
    size_t high = list_end;  /* where a line starts, or the end */
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        const char *before = memrchr(list_text + low, '\n', middle - low);
        const size_t start = before != NULL ? (size_t)(before + 1 - list_text) : low;
        const int order = line_order(list_text + start, name, length);
        if (order == 0)
            return true;
        if (order > 0) {
            high = start;
            continue;
        }
        const char *newline = memchr(list_text + start, '\n', list_end - start);
        if (newline == NULL)
            return false;
        low = (size_t)(newline + 1 - list_text);
    }
    return false;
}

/*
 * `name` is a valid name: not empty. Binary search over the anchors within its bucket, then
 * the few lines from the last anchor not after it.
 */
static bool find_name(const char *name, size_t length) {
    if (!list_indexed)
        return find_unindexed(name, length);
    const uint32_t bit = filter_bit(name, length);
    if ((list_filter[bit / 64] & ((uint64_t)1 << (bit % 64))) == 0)
        return false;
    const unsigned char b = (unsigned char)name[0];
    const size_t first_line = b > 0 ? list_line_end[b - 1] : 0;
    const size_t end_line = list_line_end[b];
    if (first_line >= end_line)
        return false;
    size_t low = (first_line + ANCHOR_EVERY - 1) / ANCHOR_EVERY;
    const size_t anchors_end = (end_line + ANCHOR_EVERY - 1) / ANCHOR_EVERY;
    size_t high = anchors_end;
    const size_t anchors_begin = low;
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        const int order = line_order(list_text + list_anchors[middle], name, length);
        if (order == 0)
            return true;
        if (order < 0)
            low = middle + 1;
        else
            high = middle;
    }
    size_t line = first_line;
    size_t at = b > 0 ? list_byte_end[b - 1] : list_first;
    if (low > anchors_begin) {
        line = (low - 1) * ANCHOR_EVERY;
        at = list_anchors[low - 1];
    }
    const size_t stop = low < anchors_end ? low * ANCHOR_EVERY : end_line;
    const size_t end = list_byte_end[b];
    for (; line < stop && at < end; ++line) {
        const int order = line_order(list_text + at, name, length);
        if (order >= 0)
            return order == 0;
        const char *newline = memchr(list_text + at, '\n', end - at);
        if (newline == NULL)
            return false;
        at = (size_t)(newline + 1 - list_text);
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
 *
 * `valid_from` is where the longest valid name the result ends in starts (its length if
 * none). Only such names are searched for: the list is indexed without validating its lines,
 * and a line that is not a valid name must never block anything.
 */
static bool decode_name(const char *text, size_t n, char *out, size_t *length, size_t *valid_from) {
    size_t at = 0;
    size_t label = 0;
    size_t from = 0;
    bool label_valid = true;
    for (size_t i = 0; i < n;) {
        /* Most bytes of most names need nothing decoded, lowered or judged: copy them in runs. */
        size_t simple = i;
        while (simple < n && ((unsigned)((unsigned char)text[simple] - 'a') < 26u ||
                              (unsigned)((unsigned char)text[simple] - '0') < 10u))
            ++simple;
        if (simple > i) {
            const size_t run = simple - i;
            label += run;
            if (label > QUELLNET_LABEL_MAX || at + run > QUELLNET_NAME_MAX)
                return false;
            memcpy(out + at, text + i, run);
            at += run;
            i = simple;
            continue;
        }
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
            if (!label_valid || out[at - 1] == '-')
                from = at + 1;
            out[at++] = '.';
            label = 0;
            label_valid = true;
            continue;
        }
        if (++label > QUELLNET_LABEL_MAX || at >= QUELLNET_NAME_MAX)
            return false;
        c = (unsigned char)((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
        if (!quellnet_name_char((char)c) || (label == 1 && c == '-'))
            label_valid = false;
        out[at++] = (char)c;
    }
    /* "a.\" ends in an empty label the resolver leaves out. */
    if (label == 0 && at > 0)
        --at;
    else if (!label_valid || (at > 0 && out[at - 1] == '-'))
        from = at;
    *length = at;
    if (valid_from != NULL)
        *valid_from = from < at ? from : at;
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
    return decode_name(host, strlen(host), own, &own_length, NULL) && own_length == length &&
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
    size_t from;
    if (!decode_name(text, n, query, &length, &from) || is_localhost(query, length))
        return false;
    return (quellnet_is_browser_signal(query, length) ||
            (from < length && listed(query + from, length - from))) &&
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
    if (search.count == 0 || name[n - 1] == '.')
        return false;
    /* Dots are counted as the resolver counts them, escaped or not. */
    size_t dots = 0;
    for (const char *dot = name; dots < search.ndots || dots == 0; ++dots) {
        dot = memchr(dot, '.', (size_t)(name + n - dot));
        if (dot == NULL)
            break;
        ++dot;
    }
    if (dots > 0 && dots >= search.ndots)
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
        lock_list();
        if (recheck_due()) {
            /* Reading the files may meet cancellation points; a thread cancelled there would
             * leave the lock held for good. The rest of a look-up has none. */
            int cancel_state;
            pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &cancel_state);
            refresh_list();
            pthread_setcancelstate(cancel_state, NULL);
        }
        if (list_in_force && !list_indexed) {
            if (list_answered)
                index_list();
            list_answered = true;
        }
        blocked = list_in_force && search_blocks(name, n);
        unlock_list();
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

static void split_path(const char *path, char *whole, char *folder) {
    const char *slash = strrchr(path, '/');
    const size_t length = strlen(path);
    if (slash != NULL && slash != path && length < PATH_MAX && strlen(slash + 1) <= NAME_MAX) {
        memcpy(whole, path, length + 1);
        memcpy(folder, path, (size_t)(slash - path));
        folder[slash - path] = '\0';
    }
}

void quellnet_nss_test_set_list_path(const char *path) {
    const int saved_errno = errno;
    lock_list();
    drop_list();
    checked = false;
    split_path(path, list_file_path, list_folder);
    unlock_list();
    errno = saved_errno;
}

void quellnet_nss_test_set_resolv_conf_path(const char *path) {
    const int saved_errno = errno;
    lock_list();
    drop_search();
    checked = false;
    split_path(path, resolv_file_path, resolv_folder);
    unlock_list();
    errno = saved_errno;
}
#endif
