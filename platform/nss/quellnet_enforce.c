/*
 * quellnet-enforce: the one privileged program that changes the enforced blocklist. It runs as
 * root (directly, or through pkexec for an ordinary account), so it trusts nothing it is given:
 * every name on standard input is checked again, the caps are enforced here and not only by the
 * caller, no path is followed through a symbolic link, and the list is only ever replaced whole,
 * by rename, so that a program resolving a name at that moment sees the old list or the new
 * one and never half of either.
 *
 *   quellnet-enforce write APP_IDENTIFIER    names on standard input, one per line
 *   quellnet-enforce clear APP_IDENTIFIER    deletes the list if the calling account owns it
 *   quellnet-enforce clear --any             deletes whatever list is in force (root or owner)
 *   quellnet-enforce --nsswitch install      puts the module first on the hosts line (root only)
 *   quellnet-enforce --nsswitch uninstall    takes it out again, if it was this program that
 *                                            put it there
 *
 * The nsswitch.conf edit lives here, once, for the package scripts and device-settings alike.
 * Every hosts line, "hosts:<blanks><sources>", becomes "hosts:<blanks>" QUELLNET_NSSWITCH_ENTRY
 * " <sources>": a listed name ends the look-up as not found, every other name goes on to the
 * sources that were there. Taking it out removes exactly that text, so the file is byte for
 * byte what it was. A marker file in the list's folder records that the entry was added here;
 * without it the entry is an administrator's and stays. A hosts line that names no source, or
 * no hosts line at all, leaves the file as it is (exit 2).
 *
 * "--deadline MS" before the command names the moment (CLOCK_MONOTONIC, milliseconds) after
 * which the caller no longer waits: the writer then changes nothing, so a caller that gave up
 * never finds its stale request carried out later.
 *
 * Writers take turns on a lock file only root can open (mode 0600 in the root-owned folder),
 * so no other account can hold them up; a writer waits for its turn a few seconds at most.
 *
 * Exit status: 0 done, 1 failure, 2 invalid request, 3 not permitted by the owner rule, 4 busy
 * (another writer held the lock too long, or the deadline passed): nothing changed. One line on
 * standard error says why; standard output stays empty.
 *
 * The test build takes "--root DIR" first, keeps its list in DIR/etc/quellnet and lets the
 * account running it stand in for root as the owner of files.
 */
#include "quellnet_enforced_list.h"

#include <errno.h>
#include <fcntl.h>
#include <inttypes.h>
#include <limits.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

enum { EXIT_DONE = 0, EXIT_FAILED = 1, EXIT_INVALID = 2, EXIT_NOT_PERMITTED = 3, EXIT_BUSY = 4 };

#define FOLDER_NAME "quellnet"
#define LOCK_NAME ".lock"
#define NSSWITCH_NAME "nsswitch.conf"
/* Present while the hosts entry is one this program added. */
#define MARKER_NAME "nsswitch-entry-added"
/* Longer than any change takes; short enough that a caller is told at once why it waits. */
#define LOCK_WAIT_MS 5000
/* The header line is short; anything longer is not ours. */
#define HEADER_MAX 512

struct name {
    const char *text;
    size_t length;
};

enum list_state { LIST_ABSENT, LIST_OWNED, LIST_UNREADABLE };

struct list_owner {
    enum list_state state;
    uid_t uid;
    char app[QUELLNET_APP_MAX + 1];
};

struct writer {
    char etc_path[PATH_MAX];
    char folder_path[PATH_MAX];
    uid_t file_owner;
    gid_t file_group;
    uid_t caller;
    int folder;
    int lock;
    int64_t deadline_ms; /* 0: none */
};

__attribute__((format(printf, 2, 3))) static int fail(int code, const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    fputs("quellnet-enforce: ", stderr);
    vfprintf(stderr, format, arguments);
    fputc('\n', stderr);
    va_end(arguments);
    return code;
}

static int usage(void) {
#ifdef QUELLNET_ENFORCE_TESTING
    return fail(EXIT_INVALID, "usage: quellnet-enforce-test --root DIR [--deadline MS] write "
                              "APP_IDENTIFIER | clear APP_IDENTIFIER | clear --any | "
                              "--nsswitch install|uninstall");
#else
    return fail(EXIT_INVALID, "usage: quellnet-enforce [--deadline MS] write APP_IDENTIFIER | "
                              "clear APP_IDENTIFIER | clear --any | --nsswitch install|uninstall");
#endif
}

static int64_t now_ms(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (int64_t)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

static bool past_deadline(const struct writer *w) {
    return w->deadline_ms > 0 && now_ms() >= w->deadline_ms;
}

static int too_late(void) {
    return fail(EXIT_BUSY, "the caller stopped waiting before the change could be made; "
                           "nothing was changed");
}

/*
 * The writers' turn: a lock file in the folder that only root may open, so an account that can
 * read the folder cannot hold it. Waits LOCK_WAIT_MS at most, and never past the deadline.
 */
static int take_lock(struct writer *w) {
    const int fd = openat(w->folder, LOCK_NAME, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return fail(EXIT_FAILED, "cannot open %s/%s: %s", w->folder_path, LOCK_NAME,
                    strerror(errno));
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != w->file_owner ||
        ((st.st_mode & 077) != 0 && fchmod(fd, 0600) != 0)) {
        close(fd);
        return fail(EXIT_FAILED, "%s/%s is not a private file of root; refusing to use it",
                    w->folder_path, LOCK_NAME);
    }
    const int64_t started = now_ms();
    int64_t until = started + LOCK_WAIT_MS;
    if (w->deadline_ms > 0 && w->deadline_ms < until)
        until = w->deadline_ms;
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            const int error = errno;
            close(fd);
            return fail(EXIT_FAILED, "cannot lock %s/%s: %s", w->folder_path, LOCK_NAME,
                        strerror(error));
        }
        if (now_ms() >= until) {
            close(fd);
            if (past_deadline(w))
                return too_late();
            return fail(EXIT_BUSY,
                        "another change to the enforced list has held %s/%s for %d seconds; "
                        "nothing was changed, try again",
                        w->folder_path, LOCK_NAME, LOCK_WAIT_MS / 1000);
        }
        nanosleep(&(struct timespec){.tv_nsec = 10 * 1000 * 1000}, NULL);
    }
    w->lock = fd;
    return EXIT_DONE;
}

/* Under pkexec the process is root and PKEXEC_UID names the account that asked. */
static int find_caller(uid_t *caller) {
#ifdef QUELLNET_ENFORCE_TESTING
    const bool as_root = true;
#else
    const bool as_root = getuid() == 0;
#endif
    const char *pkexec_uid = as_root ? getenv("PKEXEC_UID") : NULL;
    if (pkexec_uid == NULL) {
        *caller = getuid();
        return EXIT_DONE;
    }
    uintmax_t value = 0;
    const char *c = pkexec_uid;
    for (; *c >= '0' && *c <= '9'; ++c) {
        value = value * 10 + (uintmax_t)(*c - '0');
        if (value >= UINT32_MAX)
            break;
    }
    if (c == pkexec_uid || *c != '\0' || value >= UINT32_MAX)
        return fail(EXIT_FAILED, "PKEXEC_UID is not a user id");
    *caller = (uid_t)value;
    return EXIT_DONE;
}

static int read_standard_input(char **buffer, size_t *size) {
    char *data = malloc((size_t)QUELLNET_LIST_MAX_BYTES + 1);
    if (data == NULL)
        return fail(EXIT_FAILED, "out of memory");
    size_t total = 0;
    for (;;) {
        const ssize_t got =
            read(STDIN_FILENO, data + total, (size_t)QUELLNET_LIST_MAX_BYTES + 1 - total);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            free(data);
            return fail(EXIT_FAILED, "cannot read standard input: %s", strerror(errno));
        }
        if (got == 0)
            break;
        total += (size_t)got;
        if (total > QUELLNET_LIST_MAX_BYTES) {
            free(data);
            return fail(EXIT_INVALID, "the names on standard input exceed %d bytes",
                        QUELLNET_LIST_MAX_BYTES);
        }
    }
    *buffer = data;
    *size = total;
    return EXIT_DONE;
}

static int compare_names(const void *a, const void *b) {
    const struct name *left = a;
    const struct name *right = b;
    return quellnet_name_order(left->text, left->length, right->text, right->length);
}

/* Every line must be a name; one bad line refuses the whole request. Sorted, duplicates gone. */
static int parse_names(const char *input, size_t size, struct name **names, size_t *count) {
    size_t lines = 0;
    for (size_t i = 0; i < size; ++i)
        lines += input[i] == '\n';
    if (size > 0 && input[size - 1] != '\n')
        ++lines;
    struct name *parsed = lines > 0 ? malloc(lines * sizeof *parsed) : NULL;
    if (lines > 0 && parsed == NULL)
        return fail(EXIT_FAILED, "out of memory");

    size_t n = 0;
    for (const char *line = input, *end = input + size; line < end; ++n) {
        const char *newline = memchr(line, '\n', (size_t)(end - line));
        const size_t length = newline != NULL ? (size_t)(newline - line) : (size_t)(end - line);
        const char *why = NULL;
        if (length == 0)
            why = "empty";
        else if (length > QUELLNET_NAME_MAX)
            why = "longer than 253 bytes";
        else if (!quellnet_valid_name(line, length))
            why = "not a lower-case ASCII DNS name";
        if (why != NULL) {
            free(parsed);
            return fail(EXIT_INVALID, "line %zu: %s", n + 1, why);
        }
        parsed[n] = (struct name){line, length};
        line += length + 1;
    }

    if (n > 1)
        qsort(parsed, n, sizeof *parsed, compare_names);
    size_t unique = 0;
    for (size_t i = 0; i < n; ++i) {
        if (unique == 0 || compare_names(&parsed[unique - 1], &parsed[i]) != 0)
            parsed[unique++] = parsed[i];
    }
    if (unique > QUELLNET_LIST_MAX_NAMES) {
        free(parsed);
        return fail(EXIT_INVALID, "%zu names, more than the %d a list may hold", unique,
                    QUELLNET_LIST_MAX_NAMES);
    }
    *names = parsed;
    *count = unique;
    return EXIT_DONE;
}

static bool trusted_folder(const struct writer *w, const struct stat *st, int *code) {
    if (st->st_uid != w->file_owner) {
        *code = fail(EXIT_FAILED, "%s is owned by uid %ju, not root; refusing to use it",
                     w->folder_path, (uintmax_t)st->st_uid);
        return false;
    }
    if ((st->st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        *code =
            fail(EXIT_FAILED, "%s is writable by group or others (mode %04o); refusing to use it",
                 w->folder_path, (unsigned)(st->st_mode & 07777));
        return false;
    }
    return true;
}

/*
 * Opens (and with `create`, makes) the list's folder and takes the writers' lock on it. A
 * missing folder without `create` leaves w->folder at -1: there is no list to clear.
 */
static int open_folder(struct writer *w, bool create) {
    w->folder = -1;
    int etc = open(w->etc_path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#ifdef QUELLNET_ENFORCE_TESTING
    if (etc < 0 && errno == ENOENT && create && mkdir(w->etc_path, 0755) == 0)
        etc = open(w->etc_path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#endif
    if (etc < 0) {
        if (errno == ENOENT && !create)
            return EXIT_DONE;
        return fail(EXIT_FAILED, "cannot open %s: %s", w->etc_path, strerror(errno));
    }

    struct stat st;
    bool created = false;
    if (fstatat(etc, FOLDER_NAME, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        const int error = errno;
        if (error != ENOENT || !create) {
            close(etc);
            if (error == ENOENT)
                return EXIT_DONE;
            return fail(EXIT_FAILED, "cannot inspect %s: %s", w->folder_path, strerror(error));
        }
        if (mkdirat(etc, FOLDER_NAME, 0755) == 0) {
            created = true;
        } else if (errno != EEXIST) {
            const int mkdir_error = errno;
            close(etc);
            return fail(EXIT_FAILED, "cannot create %s: %s", w->folder_path, strerror(mkdir_error));
        }
    } else if (S_ISLNK(st.st_mode)) {
        close(etc);
        return fail(EXIT_FAILED, "%s is a symbolic link; refusing to use it", w->folder_path);
    } else if (!S_ISDIR(st.st_mode)) {
        close(etc);
        return fail(EXIT_FAILED, "%s is not a folder; refusing to use it", w->folder_path);
    }

    const int folder = openat(etc, FOLDER_NAME, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int open_error = errno;
    close(etc);
    if (folder < 0) {
        if (open_error == ELOOP || open_error == ENOTDIR)
            return fail(EXIT_FAILED,
                        "%s is not a folder (or is a symbolic link); refusing to use it",
                        w->folder_path);
        return fail(EXIT_FAILED, "cannot open %s: %s", w->folder_path, strerror(open_error));
    }
    if (created &&
        (fchown(folder, w->file_owner, w->file_group) != 0 || fchmod(folder, 0755) != 0)) {
        const int error = errno;
        close(folder);
        return fail(EXIT_FAILED, "cannot set the owner and mode of %s: %s", w->folder_path,
                    strerror(error));
    }
    int code = EXIT_DONE;
    if (fstat(folder, &st) != 0) {
        code = fail(EXIT_FAILED, "cannot inspect %s: %s", w->folder_path, strerror(errno));
    } else if (trusted_folder(w, &st, &code) && (st.st_mode & 0555) != 0555 &&
               fchmod(folder, (st.st_mode & 07777) | 0555) != 0) {
        /* Every program resolving a name must be able to read the list, or nothing is blocked. */
        code = fail(EXIT_FAILED, "cannot make %s readable: %s", w->folder_path, strerror(errno));
    }
    if (code != EXIT_DONE) {
        close(folder);
        return code;
    }
    w->folder = folder;
    return take_lock(w);
}

static bool parse_header(const char *line, size_t length, struct list_owner *owner) {
    struct quellnet_list_header header;
    if (quellnet_parse_header(line, length, &header) != QUELLNET_HEADER_OWNED)
        return false;
    owner->uid = (uid_t)header.uid;
    memcpy(owner->app, header.app, header.app_length);
    owner->app[header.app_length] = '\0';
    return true;
}

/* Whose list is in force: absent, owned by the account in its header, or unreadable as ours. */
static int read_owner(const struct writer *w, struct list_owner *owner) {
    owner->state = LIST_ABSENT;
    if (w->folder < 0)
        return EXIT_DONE;
    const int fd =
        openat(w->folder, QUELLNET_LIST_NAME, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return EXIT_DONE;
        if (errno != ELOOP && errno != EACCES)
            return fail(EXIT_FAILED, "cannot open %s/%s: %s", w->folder_path, QUELLNET_LIST_NAME,
                        strerror(errno));
        owner->state = LIST_UNREADABLE;
        return EXIT_DONE;
    }
    owner->state = LIST_UNREADABLE;
    struct stat st;
    char header[HEADER_MAX];
    size_t total = 0;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        while (total < sizeof header && memchr(header, '\n', total) == NULL) {
            const ssize_t got = read(fd, header + total, sizeof header - total);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            total += (size_t)got;
        }
    }
    close(fd);
    const char *newline = memchr(header, '\n', total);
    if (newline != NULL && parse_header(header, (size_t)(newline - header), owner))
        owner->state = LIST_OWNED;
    return EXIT_DONE;
}

static int refuse(const struct list_owner *owner) {
    if (owner->state == LIST_OWNED)
        return fail(EXIT_NOT_PERMITTED, "not permitted: the list in force is uid %ju, %s",
                    (uintmax_t)owner->uid, owner->app);
    return fail(EXIT_NOT_PERMITTED,
                "not permitted: the list in force names no owner; only root may change it");
}

static bool may_change(const struct writer *w, const struct list_owner *owner) {
    return w->caller == 0 || owner->state == LIST_ABSENT ||
           (owner->state == LIST_OWNED && owner->uid == w->caller);
}

/*
 * The hosts module looks at the list at most once per QUELLNET_RECHECK_NS of a coarse clock;
 * waiting that out (and two ticks of the clock) before reporting a change done means no
 * look-up that starts after the report is answered from the list before it.
 */
static void wait_out_recheck(void) {
    struct timespec tick = {0, 10000000L};
    if (clock_getres(CLOCK_MONOTONIC_COARSE, &tick) != 0 || tick.tv_sec != 0)
        tick = (struct timespec){0, 10000000L};
    const long long wait = QUELLNET_RECHECK_NS + 2LL * tick.tv_nsec;
    struct timespec until;
    clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_sec += (time_t)(wait / 1000000000LL);
    until.tv_nsec += (long)(wait % 1000000000LL);
    if (until.tv_nsec >= 1000000000L) {
        until.tv_nsec -= 1000000000L;
        ++until.tv_sec;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, NULL) == EINTR) {
    }
}

static bool write_all(int fd, const char *data, size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= (size_t)written;
    }
    return true;
}

/* A new file beside `final` in `folder`, named so no other writer's can be taken for it. */
static int create_temporary(int folder, const char *final, char *name, size_t size) {
    for (int attempt = 0; attempt < 32; ++attempt) {
        uint64_t random = 0;
        if (getrandom(&random, sizeof random, 0) != (ssize_t)sizeof random)
            random = ((uint64_t)getpid() << 32) ^ (uint64_t)attempt;
        snprintf(name, size, ".%s.quellnet-%016" PRIx64, final, random);
        const int fd =
            openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

/*
 * Owner and mode set before a byte is written, then written, flushed and closed. Closes `fd`
 * whatever happens; on failure returns the errno and points `step` at what failed.
 */
static int fill_temporary(int fd, uid_t owner, gid_t group, mode_t mode, const char *data,
                          size_t size, const char **step) {
    *step = "set the owner of";
    bool done = (owner == geteuid() && group == getegid()) || fchown(fd, owner, group) == 0;
    if (done) {
        *step = "set the mode of";
        done = fchmod(fd, mode) == 0;
    }
    if (done) {
        *step = "write";
        done = write_all(fd, data, size);
    }
    if (done) {
        *step = "flush";
        done = fsync(fd) == 0;
    }
    int error = done ? 0 : errno;
    if (close(fd) != 0 && done) {
        *step = "close";
        error = errno;
    }
    return error;
}

/* Temporary file, owner and mode set before a byte is written, flushed, renamed over the list. */
static int replace_list(const struct writer *w, const char *data, size_t size) {
    char temporary[64];
    const int fd = create_temporary(w->folder, QUELLNET_LIST_NAME, temporary, sizeof temporary);
    if (fd < 0)
        return fail(EXIT_FAILED, "cannot create a file in %s: %s", w->folder_path, strerror(errno));
    const char *step = NULL;
    int error = fill_temporary(fd, w->file_owner, w->file_group, 0644, data, size, &step);
    bool done = error == 0;
    if (done && past_deadline(w)) {
        unlinkat(w->folder, temporary, 0);
        return too_late();
    }
    if (done) {
        step = "rename";
        done = renameat(w->folder, temporary, w->folder, QUELLNET_LIST_NAME) == 0;
        error = errno;
    }
    if (!done) {
        unlinkat(w->folder, temporary, 0);
        return fail(EXIT_FAILED, "cannot %s the new list in %s: %s", step, w->folder_path,
                    strerror(error));
    }
    if (fsync(w->folder) != 0)
        return fail(EXIT_FAILED, "cannot flush %s: %s", w->folder_path, strerror(errno));
    wait_out_recheck();
    return EXIT_DONE;
}

static int command_write(struct writer *w, const char *app) {
    char *input = NULL;
    size_t input_size = 0;
    int code = read_standard_input(&input, &input_size);
    if (code != EXIT_DONE)
        return code;
    struct name *names = NULL;
    size_t count = 0;
    code = parse_names(input, input_size, &names, &count);
    char *list = NULL;
    size_t size = 0;
    if (code == EXIT_DONE) {
        char header[HEADER_MAX];
        const int header_length = snprintf(header, sizeof header, "%s uid=%ju app=%s\n",
                                           QUELLNET_LIST_MAGIC, (uintmax_t)w->caller, app);
        size = (size_t)header_length;
        for (size_t i = 0; i < count; ++i)
            size += names[i].length + 1;
        if (size > QUELLNET_LIST_MAX_BYTES) {
            code = fail(EXIT_INVALID, "the list would take %zu bytes, more than the %d allowed",
                        size, QUELLNET_LIST_MAX_BYTES);
        } else if ((list = malloc(size)) == NULL) {
            code = fail(EXIT_FAILED, "out of memory");
        } else {
            char *at = list;
            memcpy(at, header, (size_t)header_length);
            at += header_length;
            for (size_t i = 0; i < count; ++i) {
                memcpy(at, names[i].text, names[i].length);
                at += names[i].length;
                *at++ = '\n';
            }
        }
    }
    free(names);
    free(input);
    if (code == EXIT_DONE)
        code = open_folder(w, true);
    struct list_owner owner;
    if (code == EXIT_DONE)
        code = read_owner(w, &owner);
    if (code == EXIT_DONE && !may_change(w, &owner))
        code = refuse(&owner);
    if (code == EXIT_DONE)
        code = replace_list(w, list, size);
    free(list);
    return code;
}

static int command_clear(struct writer *w, bool any) {
    int code = open_folder(w, false);
    struct list_owner owner;
    if (code == EXIT_DONE)
        code = read_owner(w, &owner);
    if (code != EXIT_DONE || owner.state == LIST_ABSENT)
        return code;
    if (!any && !(owner.state == LIST_OWNED && owner.uid == w->caller)) {
        /* The caller's own list is not the one in force: nothing of theirs to take away. */
        return EXIT_DONE;
    }
    if (!may_change(w, &owner))
        return refuse(&owner);
    if (past_deadline(w))
        return too_late();
    if (unlinkat(w->folder, QUELLNET_LIST_NAME, 0) != 0 && errno != ENOENT)
        return fail(EXIT_FAILED, "cannot delete %s/%s: %s", w->folder_path, QUELLNET_LIST_NAME,
                    strerror(errno));
    if (fsync(w->folder) != 0)
        return fail(EXIT_FAILED, "cannot flush %s: %s", w->folder_path, strerror(errno));
    wait_out_recheck();
    return EXIT_DONE;
}

/* ---- nsswitch.conf ---- */

static bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

static bool is_space(char c) {
    return is_blank(c) || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

/* Where the sources of a hosts line begin (after "hosts", blanks, ':' and blanks), or -1. */
static long sources_start(const char *line, size_t length) {
    size_t i = 0;
    while (i < length && is_blank(line[i]))
        ++i;
    if (length - i < 5 || memcmp(line + i, "hosts", 5) != 0)
        return -1;
    i += 5;
    while (i < length && is_blank(line[i]))
        ++i;
    if (i >= length || line[i] != ':')
        return -1;
    ++i;
    while (i < length && is_blank(line[i]))
        ++i;
    return (long)i;
}

static bool starts_with_entry(const char *line, size_t length, size_t start) {
    const size_t entry = sizeof QUELLNET_NSSWITCH_ENTRY - 1;
    if (length - start < entry || memcmp(line + start, QUELLNET_NSSWITCH_ENTRY, entry) != 0)
        return false;
    const size_t after = start + entry;
    return after == length || is_blank(line[after]) || line[after] == '\r';
}

/*
 * `text` with the entry put in front of (install) or taken off (uninstall) every hosts line.
 * *out holds the result. EXIT_INVALID, with the reason, for an install the file cannot take.
 */
static int edit_nsswitch(const char *text, size_t size, bool install, char **out,
                         size_t *out_size) {
    static const char added[] = QUELLNET_NSSWITCH_ENTRY " ";
    const size_t added_length = sizeof added - 1;
    size_t lines = 1;
    for (size_t i = 0; i < size; ++i)
        lines += text[i] == '\n';
    char *edited = malloc(size + lines * added_length + 1);
    if (edited == NULL)
        return fail(EXIT_FAILED, "out of memory");
    size_t at = 0;
    bool hosts = false;
    for (const char *line = text, *end = text + size; line <= end;) {
        const char *newline = memchr(line, '\n', (size_t)(end - line));
        const size_t length = newline != NULL ? (size_t)(newline - line) : (size_t)(end - line);
        const long start = sources_start(line, length);
        size_t copied = 0;
        if (start >= 0) {
            const size_t from = (size_t)start;
            hosts = true;
            const bool has = starts_with_entry(line, length, from);
            if (install && !has) {
                size_t first = from;
                while (first < length && is_space(line[first]))
                    ++first;
                if (first == length || line[first] == '#') {
                    free(edited);
                    return fail(EXIT_INVALID,
                                "the hosts line names no source to answer names "
                                "that are not blocked; nsswitch.conf is left as it is");
                }
                memcpy(edited + at, line, from);
                memcpy(edited + at + from, added, added_length);
                at += from + added_length;
                copied = from;
            } else if (!install && length - from >= added_length &&
                       memcmp(line + from, added, added_length) == 0) {
                memcpy(edited + at, line, from);
                at += from;
                copied = from + added_length;
            }
        }
        memcpy(edited + at, line + copied, length - copied);
        at += length - copied;
        if (newline == NULL)
            break;
        edited[at++] = '\n';
        line = newline + 1;
    }
    if (install && !hosts) {
        free(edited);
        return fail(EXIT_INVALID, "there is no hosts line; nsswitch.conf is left as it is");
    }
    *out = edited;
    *out_size = at;
    return EXIT_DONE;
}

/* nsswitch.conf as it is: a regular file, not a link, at most QUELLNET_NSSWITCH_MAX_BYTES. */
static int read_nsswitch(int etc, const char *path, char **text, size_t *size, struct stat *st) {
    const int fd = openat(etc, NSSWITCH_NAME, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ELOOP)
            return fail(EXIT_FAILED, "%s is a symbolic link; it is left as it is", path);
        return fail(EXIT_FAILED, "cannot open %s: %s", path, strerror(errno));
    }
    if (fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
        close(fd);
        return fail(EXIT_FAILED, "%s is not a regular file; it is left as it is", path);
    }
    char *data = malloc((size_t)QUELLNET_NSSWITCH_MAX_BYTES + 1);
    if (data == NULL) {
        close(fd);
        return fail(EXIT_FAILED, "out of memory");
    }
    size_t total = 0;
    for (;;) {
        const ssize_t got = read(fd, data + total, (size_t)QUELLNET_NSSWITCH_MAX_BYTES + 1 - total);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int error = errno;
            close(fd);
            free(data);
            return fail(EXIT_FAILED, "cannot read %s: %s", path, strerror(error));
        }
        if (got == 0)
            break;
        total += (size_t)got;
        if (total > QUELLNET_NSSWITCH_MAX_BYTES) {
            close(fd);
            free(data);
            return fail(EXIT_FAILED, "%s is larger than %d bytes; it is left as it is", path,
                        QUELLNET_NSSWITCH_MAX_BYTES);
        }
    }
    close(fd);
    *text = data;
    *size = total;
    return EXIT_DONE;
}

/* Replaced by rename, owner and mode kept, so no look-up ever reads half a file. */
static int replace_nsswitch(int etc, const char *path, const struct stat *st, const char *text,
                            size_t size) {
    char temporary[64];
    const int fd = create_temporary(etc, NSSWITCH_NAME, temporary, sizeof temporary);
    if (fd < 0)
        return fail(EXIT_FAILED, "cannot create a file beside %s: %s", path, strerror(errno));
    const char *step = NULL;
    int error = fill_temporary(fd, st->st_uid, st->st_gid, st->st_mode & 07777, text, size, &step);
    bool done = error == 0;
    if (done) {
        step = "rename";
        done = renameat(etc, temporary, etc, NSSWITCH_NAME) == 0;
        error = errno;
    }
    if (!done) {
        unlinkat(etc, temporary, 0);
        return fail(EXIT_FAILED, "cannot %s the new %s: %s", step, path, strerror(error));
    }
    fsync(etc);
    return EXIT_DONE;
}

static int command_nsswitch(struct writer *w, bool install) {
#ifndef QUELLNET_ENFORCE_TESTING
    /* Not through pkexec: an account may not change how this computer resolves names. */
    if (w->caller != 0)
        return fail(EXIT_NOT_PERMITTED, "not permitted: only root edits nsswitch.conf");
#endif
    char path[PATH_MAX + 32];
    snprintf(path, sizeof path, "%s/" NSSWITCH_NAME, w->etc_path);
    /* The marker's folder and the writers' lock: one edit at a time. */
    int code = open_folder(w, install);
    if (code != EXIT_DONE)
        return code;
    const int etc = open(w->etc_path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (etc < 0)
        return fail(EXIT_FAILED, "cannot open %s: %s", w->etc_path, strerror(errno));
    char *text = NULL;
    char *edited = NULL;
    size_t size = 0;
    size_t edited_size = 0;
    struct stat st;
    const bool ours =
        w->folder >= 0 && faccessat(w->folder, MARKER_NAME, F_OK, AT_SYMLINK_NOFOLLOW) == 0;
    /* Without the marker the entry, if any, is an administrator's: nothing to take out. */
    if (install || ours)
        code = read_nsswitch(etc, path, &text, &size, &st);
    if (code == EXIT_DONE && text != NULL)
        code = edit_nsswitch(text, size, install, &edited, &edited_size);
    const bool changed = code == EXIT_DONE && edited != NULL &&
                         (edited_size != size || memcmp(edited, text, size) != 0);
    if (changed && install) {
        /* Recorded before the entry goes in: a crash in between leaves nothing unrecorded. */
        const int marker = openat(w->folder, MARKER_NAME,
                                  O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (marker < 0 || fsync(marker) != 0)
            code = fail(EXIT_FAILED, "cannot record the entry in %s/%s: %s", w->folder_path,
                        MARKER_NAME, strerror(errno));
        if (marker >= 0)
            close(marker);
    }
    if (changed && code == EXIT_DONE) {
        code = replace_nsswitch(etc, path, &st, edited, edited_size);
        if (code != EXIT_DONE && install)
            unlinkat(w->folder, MARKER_NAME, 0);
    }
    if (code == EXIT_DONE && !install && ours) {
        if (unlinkat(w->folder, MARKER_NAME, 0) != 0 && errno != ENOENT)
            code = fail(EXIT_FAILED, "cannot delete %s/%s: %s", w->folder_path, MARKER_NAME,
                        strerror(errno));
        fsync(w->folder);
    }
    free(text);
    free(edited);
    close(etc);
    return code;
}

int main(int argc, char **argv) {
    umask(077);
    struct writer w = {.folder = -1, .lock = -1};
    int next = 1;
#ifdef QUELLNET_ENFORCE_TESTING
    if (argc < 3 || strcmp(argv[1], "--root") != 0)
        return usage();
    if (snprintf(w.etc_path, sizeof w.etc_path, "%s/etc", argv[2]) >= (int)sizeof w.etc_path)
        return fail(EXIT_INVALID, "--root: path too long");
    w.file_owner = geteuid();
    w.file_group = getegid();
    next = 3;
#else
    strcpy(w.etc_path, "/etc");
    w.file_owner = 0;
    w.file_group = 0;
#endif
    if (snprintf(w.folder_path, sizeof w.folder_path, "%s/" FOLDER_NAME, w.etc_path) >=
        (int)sizeof w.folder_path)
        return fail(EXIT_INVALID, "--root: path too long");

    if (argc - next == 4 && strcmp(argv[next], "--deadline") == 0) {
        char *end = NULL;
        errno = 0;
        const long long deadline = strtoll(argv[next + 1], &end, 10);
        if (errno != 0 || end == argv[next + 1] || *end != '\0' || deadline <= 0)
            return fail(EXIT_INVALID, "--deadline: not a time in milliseconds");
        w.deadline_ms = deadline;
        next += 2;
    }
    if (argc - next != 2)
        return usage();
    const char *command = argv[next];
    const char *argument = argv[next + 1];
    if (strcmp(command, "--nsswitch") == 0) {
        if (strcmp(argument, "install") != 0 && strcmp(argument, "uninstall") != 0)
            return usage();
#ifndef QUELLNET_ENFORCE_TESTING
        if (geteuid() != 0)
            return fail(EXIT_FAILED, "must run as root");
#endif
        int code = find_caller(&w.caller);
        if (code == EXIT_DONE)
            code = command_nsswitch(&w, strcmp(argument, "install") == 0);
        if (w.lock >= 0)
            close(w.lock);
        if (w.folder >= 0)
            close(w.folder);
        return code;
    }
    const bool any = strcmp(command, "clear") == 0 && strcmp(argument, "--any") == 0;
    if (strcmp(command, "write") != 0 && strcmp(command, "clear") != 0)
        return usage();
    if (!any && !quellnet_valid_app(argument, strlen(argument)))
        return fail(EXIT_INVALID,
                    "not an app identifier (printable ASCII without spaces, 1 to %d "
                    "characters)",
                    QUELLNET_APP_MAX);
#ifndef QUELLNET_ENFORCE_TESTING
    if (geteuid() != 0)
        return fail(EXIT_FAILED, "must run as root (directly or through pkexec)");
#endif
    int code = find_caller(&w.caller);
    if (code != EXIT_DONE)
        return code;

    code = strcmp(command, "write") == 0 ? command_write(&w, argument) : command_clear(&w, any);
    if (w.lock >= 0)
        close(w.lock);
    if (w.folder >= 0)
        close(w.folder);
    return code;
}
