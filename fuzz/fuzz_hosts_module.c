/*
 * Feeds arbitrary bytes to the hosts module's readers: as the list file (damaged, out of order,
 * over-long lines, NUL bytes), as resolv.conf and as names to look up, each line in turn. The
 * module's own source is included so that its readers are driven directly, without files.
 * Besides memory errors and hangs, it checks that a list in force, once indexed, finds every
 * valid name it holds, whatever the order or damage around it.
 */
#include "nss_quellnet.c"

#include <stdlib.h>

static char *text_of(const uint8_t *data, size_t size) {
    char *text = allocate_text(size + 1);
    if (text == NULL)
        abort();
    memcpy(text, data, size);
    text[size] = '\0';
    return text;
}

int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

/* Looks up every line of the input; once the list is indexed, every valid name it holds must
 * be found. Before, a list out of order may miss names but must never misbehave. */
static void look_up_lines(const char *text, size_t size) {
    const char *header_end = memchr(text, '\n', size);
    for (const char *line = text; line < text + size;) {
        const char *newline = memchr(line, '\n', (size_t)(text + size - line));
        const size_t length = (size_t)((newline != NULL ? newline : text + size) - line);
        if (length <= QUELLNET_RESOLVER_NAME_MAX) {
            char name[QUELLNET_RESOLVER_NAME_MAX + 1];
            memcpy(name, line, length);
            name[length] = '\0';
            const size_t n = strlen(name);
            if (n > 0)
                (void)search_blocks(name, n);
        }
        if (list_in_force && list_indexed && newline != NULL && line > header_end &&
            quellnet_valid_name(line, length) && !find_name(line, length))
            abort();
        if (newline == NULL)
            break;
        line = newline + 1;
    }
}

int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    lock_list();
    drop_list();
    drop_search();
    take_list(text_of(data, size), size);

    search.text = text_of(data, size);
    search.text_size = size + 1;
    if (!parse_resolv_conf(search.text, size)) {
        search.count = 0;
        search.ndots = 1;
    }
    if (search.count > SEARCH_DOMAINS_MAX || search.ndots > RESOLVER_NDOTS_MAX)
        abort();

    /* The first answer searches the list as it stands, later ones its index. */
    look_up_lines((const char *)data, size);
    if (list_in_force)
        index_list();
    look_up_lines((const char *)data, size);
    drop_list();
    drop_search();
    unlock_list();
    return 0;
}
