/* GMime side of bench_mime: reads a list of message files from stdin.
 * "parse": parse each message and decode every leaf part.
 * "compose": parse and decode each message (not timed), then build a new
 * message from the decoded parts with their transfer encodings and write it
 * with CR LF line ends, as ours writes, into a memory buffer kept from
 * message to message (timed).
 * Prints "<seconds> <peak RSS KiB> <messages> <bytes written>". */
#include <gmime/gmime.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <time.h>

static double now(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

typedef struct {
    GPtrArray* parts; /* GMimePart* of the new message, when composing */
} Walk;

static void decode_leaf(GMimeObject* parent, GMimeObject* part, gpointer data) {
    Walk* walk = data;
    (void)parent;
    if (!GMIME_IS_PART(part))
        return;
    GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(part));
    if (!content)
        return;
    GMimeStream* mem = g_mime_stream_mem_new();
    g_mime_data_wrapper_write_to_stream(content, mem);
    if (walk && walk->parts) {
        GMimeContentType* ct = g_mime_object_get_content_type(part);
        GMimePart* copy = g_mime_part_new_with_type(g_mime_content_type_get_media_type(ct),
                                                    g_mime_content_type_get_media_subtype(ct));
        const char* name = g_mime_part_get_filename(GMIME_PART(part));
        if (name)
            g_mime_part_set_filename(copy, name);
        g_mime_stream_reset(mem);
        GMimeDataWrapper* w =
            g_mime_data_wrapper_new_with_stream(mem, GMIME_CONTENT_ENCODING_DEFAULT);
        g_mime_part_set_content(copy, w);
        g_object_unref(w);
        GMimeContentEncoding enc = g_mime_part_get_content_encoding(GMIME_PART(part));
        if (enc == GMIME_CONTENT_ENCODING_DEFAULT)
            enc = GMIME_CONTENT_ENCODING_7BIT;
        g_mime_part_set_content_encoding(copy, enc);
        g_ptr_array_add(walk->parts, copy);
    }
    g_object_unref(mem);
}

static GMimeMessage* parse_file(const char* path) {
    GMimeStream* file = g_mime_stream_file_open(path, "rb", NULL);
    if (!file)
        return NULL;
    GMimeParser* parser = g_mime_parser_new_with_stream(file);
    GMimeMessage* msg = g_mime_parser_construct_message(parser, NULL);
    g_object_unref(parser);
    g_object_unref(file);
    return msg;
}

int main(int argc, char** argv) {
    const int compose = argc > 1 && strcmp(argv[1], "compose") == 0;
    g_mime_init();
    char path[4096];
    double seconds = 0;
    long count = 0;
    long written = 0;
    /* GMime writes LF line ends unless told otherwise. */
    GMimeFormatOptions* format = g_mime_format_options_new();
    g_mime_format_options_set_newline_format(format, GMIME_NEWLINE_FORMAT_DOS);
    GByteArray* kept = g_byte_array_new();
    while (fgets(path, sizeof path, stdin)) {
        path[strcspn(path, "\r\n")] = 0;
        if (!*path)
            continue;
        if (!compose) {
            double t = now();
            GMimeMessage* msg = parse_file(path);
            if (msg) {
                g_mime_message_foreach(msg, decode_leaf, NULL);
                g_object_unref(msg);
            }
            seconds += now() - t;
        } else {
            GMimeMessage* msg = parse_file(path);
            if (!msg)
                continue;
            Walk walk = {g_ptr_array_new_with_free_func(g_object_unref)};
            g_mime_message_foreach(msg, decode_leaf, &walk);
            double t = now();
            GMimeMessage* out = g_mime_message_new(TRUE);
            const char* subject = g_mime_message_get_subject(msg);
            if (subject)
                g_mime_message_set_subject(out, subject, NULL);
            internet_address_list_append(g_mime_message_get_from(out),
                                         g_mime_message_get_from(msg));
            internet_address_list_append(g_mime_message_get_to(out), g_mime_message_get_to(msg));
            GMimeMultipart* mp = g_mime_multipart_new_with_subtype("mixed");
            for (guint i = 0; i < walk.parts->len; i++)
                g_mime_multipart_add(mp, g_ptr_array_index(walk.parts, i));
            g_mime_message_set_mime_part(out, GMIME_OBJECT(mp));
            g_byte_array_set_size(kept, 0);
            GMimeStream* sink = g_mime_stream_mem_new_with_byte_array(kept);
            g_mime_stream_mem_set_owner(GMIME_STREAM_MEM(sink), FALSE);
            g_mime_object_write_to_stream(GMIME_OBJECT(out), format, sink);
            g_object_unref(sink);
            g_object_unref(mp);
            g_object_unref(out);
            seconds += now() - t;
            written += (long)kept->len;
            g_ptr_array_free(walk.parts, TRUE);
            g_object_unref(msg);
        }
        count++;
    }
    g_byte_array_free(kept, TRUE);
    g_mime_format_options_free(format);
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    printf("%f %ld %ld %ld\n", seconds, ru.ru_maxrss, count, written);
    return 0;
}
