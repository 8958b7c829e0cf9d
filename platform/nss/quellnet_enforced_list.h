/*
 * The enforced blocklist as the NSS module, the privileged writer and the platform layer all
 * see it: one root-owned file at a fixed path, a header line saying whose list it is, then one
 * lower-case ASCII DNS name per line in byte order. Kept in one header so that the writer can
 * never produce a file the module would read differently.
 */
#ifndef QUELLNET_ENFORCED_LIST_H
#define QUELLNET_ENFORCED_LIST_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#define QUELLNET_LIST_DIR "/etc/quellnet"
#define QUELLNET_LIST_NAME "blocked"
#define QUELLNET_LIST_PATH QUELLNET_LIST_DIR "/" QUELLNET_LIST_NAME

/*
 * The module looks at the list file (and resolv.conf) at most once per this many nanoseconds of
 * CLOCK_MONOTONIC_COARSE, which costs no system call, instead of once per look-up. Whoever
 * reports a change as in force first waits this long plus two ticks of that clock (it lags the
 * real time by up to one), so that no look-up started after the report is answered from the
 * list before.
 */
#define QUELLNET_RECHECK_NS 1000000L

/* Caps the writer refuses to exceed and the module refuses to read past. */
#define QUELLNET_LIST_MAX_BYTES (1024 * 1024)
#define QUELLNET_LIST_MAX_NAMES 10000
#define QUELLNET_NAME_MAX 253
#define QUELLNET_LABEL_MAX 63
#define QUELLNET_APP_MAX 255

/*
 * The hosts line of nsswitch.conf gets QUELLNET_NSSWITCH_ENTRY and one space in front of its
 * sources; the file is read and edited up to QUELLNET_NSSWITCH_MAX_BYTES, by every program.
 */
#define QUELLNET_NSSWITCH_ENTRY "quellnet [NOTFOUND=return]"
#define QUELLNET_NSSWITCH_MAX_BYTES (1024 * 1024)

/* First line: QUELLNET_LIST_MAGIC " uid=<n> app=<identifier>\n" */
#define QUELLNET_LIST_MAGIC "# quellnet-blocklist 1"

static inline bool quellnet_name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

/*
 * A name as the resolver compares it: lower-case ASCII labels of 1 to 63 letters, digits,
 * hyphens or underscores, no label starting or ending with a hyphen, joined by single dots,
 * 1 to 253 bytes, no trailing dot. Anything else can never be asked for, so it is never listed.
 */
static inline bool quellnet_valid_name(const char *name, size_t length) {
    if (length == 0 || length > QUELLNET_NAME_MAX)
        return false;
    size_t label = 0;
    for (size_t i = 0; i < length; ++i) {
        const char c = name[i];
        if (c == '.') {
            if (label == 0 || name[i - 1] == '-')
                return false;
            label = 0;
            continue;
        }
        if (!quellnet_name_char(c))
            return false;
        if (label == 0 && c == '-')
            return false;
        if (++label > QUELLNET_LABEL_MAX)
            return false;
    }
    return label > 0 && name[length - 1] != '-';
}

/*
 * Byte order, a name sorting before every longer name it begins with: the order the writer
 * stores names in and the module's binary search relies on.
 */
static inline int quellnet_name_order(const char *a, size_t a_length, const char *b,
                                      size_t b_length) {
    const int bytes = memcmp(a, b, a_length < b_length ? a_length : b_length);
    if (bytes != 0)
        return bytes;
    return (a_length > b_length) - (a_length < b_length);
}

/*
 * The name browsers look up before they turn on DNS-over-HTTPS of their own; when it does not
 * resolve they leave it off. Held, with every name under it, while any list is in force; never
 * a list entry. `name` as quellnet_valid_name() takes it: lower case, no trailing dot.
 */
#define QUELLNET_BROWSER_SIGNAL "use-application-dns.net"

static inline bool quellnet_is_browser_signal(const char *name, size_t length) {
    const size_t n = sizeof(QUELLNET_BROWSER_SIGNAL) - 1;
    return (length == n || (length > n && name[length - n - 1] == '.')) &&
           memcmp(name + length - n, QUELLNET_BROWSER_SIGNAL, n) == 0;
}

/* An app identifier as the header line records it: printable ASCII without spaces. */
static inline bool quellnet_valid_app(const char *app, size_t length) {
    if (length == 0 || length > QUELLNET_APP_MAX)
        return false;
    for (size_t i = 0; i < length; ++i) {
        if (app[i] <= ' ' || app[i] > '~')
            return false;
    }
    return true;
}

/* Whose list it is, as its header line says. `app` points into the line, not terminated. */
struct quellnet_list_header {
    uint32_t uid;
    const char *app;
    size_t app_length;
};

enum quellnet_header_kind {
    /* Not this format: the module blocks nothing by it. */
    QUELLNET_HEADER_NOT_OURS,
    /* The format's magic without a readable owner: blocks, but names no account. */
    QUELLNET_HEADER_NO_OWNER,
    QUELLNET_HEADER_OWNED,
};

/*
 * The header line, without its newline: QUELLNET_LIST_MAGIC " uid=<n> app=<identifier>", the
 * uid decimal below 2^32 - 1. The one reading of it for the module, the writer and the
 * platform, so that they never disagree on whether a list is in force or whose it is.
 */
static inline enum quellnet_header_kind quellnet_parse_header(const char *line, size_t length,
                                                              struct quellnet_list_header *header) {
    static const char magic[] = QUELLNET_LIST_MAGIC;
    static const char uid_key[] = " uid=";
    static const char app_key[] = " app=";
    const size_t magic_length = sizeof magic - 1;
    if (length < magic_length || memcmp(line, magic, magic_length) != 0 ||
        (length > magic_length && line[magic_length] != ' '))
        return QUELLNET_HEADER_NOT_OURS;
    size_t i = magic_length;
    if (length - i <= sizeof uid_key - 1 || memcmp(line + i, uid_key, sizeof uid_key - 1) != 0)
        return QUELLNET_HEADER_NO_OWNER;
    i += sizeof uid_key - 1;
    const size_t digits = i;
    uint64_t uid = 0;
    for (; i < length && line[i] >= '0' && line[i] <= '9' && uid < UINT32_MAX; ++i)
        uid = uid * 10 + (uint64_t)(line[i] - '0');
    if (i == digits || uid >= UINT32_MAX || length - i < sizeof app_key - 1 ||
        memcmp(line + i, app_key, sizeof app_key - 1) != 0)
        return QUELLNET_HEADER_NO_OWNER;
    i += sizeof app_key - 1;
    if (!quellnet_valid_app(line + i, length - i))
        return QUELLNET_HEADER_NO_OWNER;
    header->uid = (uint32_t)uid;
    header->app = line + i;
    header->app_length = length - i;
    return QUELLNET_HEADER_OWNED;
}

#endif
