// gmime_dump: the peer of qb-mimedump for the whole-process benchmark. GMime 3 reads a message
// file, parses it and decodes every leaf part; one line per part: "<size> <md5> <md5'>", where
// md5' is the digest of the part followed by CR LF. GMime gives the line end before a boundary
// to the boundary, TMimeDecode to the part; the second digest lets both be compared.
#include <gmime/gmime.h>

#include <fcntl.h>

#include <cstdio>

namespace {

// The part's content through GMime's own decoding filter into a checksum filter, streamed
// the way GMime writes a part, never held in memory as a whole.
void PrintPart(GMimeObject*, GMimeObject* part, gpointer) {
    if (!GMIME_IS_PART(part))
        return;
    GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(part));
    if (!content) {
        std::printf("0 d41d8cd98f00b204e9800998ecf8427e 81051bcc2cf1bedf378224b0a93e2877\n");
        return;
    }
    GMimeStream* sink = g_mime_stream_null_new();
    GMimeStream* filtered = g_mime_stream_filter_new(sink);
    GMimeFilter* checksum = g_mime_filter_checksum_new(G_CHECKSUM_MD5);
    g_mime_stream_filter_add(GMIME_STREAM_FILTER(filtered), checksum);
    g_mime_data_wrapper_write_to_stream(content, filtered);
    g_mime_stream_flush(filtered);
    GChecksum* withLineEnd = g_checksum_copy(GMIME_FILTER_CHECKSUM(checksum)->checksum);
    g_checksum_update(withLineEnd, reinterpret_cast<const guchar*>("\r\n"), 2);
    gchar* md5 = g_mime_filter_checksum_get_string(GMIME_FILTER_CHECKSUM(checksum));
    std::printf("%zu %s %s\n", GMIME_STREAM_NULL(sink)->written, md5,
                g_checksum_get_string(withLineEnd));
    g_free(md5);
    g_checksum_free(withLineEnd);
    g_object_unref(checksum);
    g_object_unref(filtered);
    g_object_unref(sink);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gmime_dump <message file>\n");
        return 2;
    }
    g_mime_init();
    GError* error = nullptr;
    GMimeStream* stream = g_mime_stream_fs_open(argv[1], O_RDONLY, 0, &error);
    if (!stream) {
        std::fprintf(stderr, "gmime_dump: %s\n", error ? error->message : "cannot open");
        return 1;
    }
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
    int result = 1;
    if (message) {
        g_mime_message_foreach(message, PrintPart, nullptr);
        g_object_unref(message);
        result = 0;
    }
    g_object_unref(parser);
    g_object_unref(stream);
    g_mime_shutdown();
    return result;
}
