// The plugin's entry point: the type finder for the container magic and the
// three elements.
#include "q58gst.h"

#include <cstring>

#include "q58.h"

GstCaps* q58FramedCaps(GstBuffer* header)
{
    GValue array = G_VALUE_INIT;
    GValue value = G_VALUE_INIT;
    g_value_init(&array, GST_TYPE_ARRAY);
    g_value_init(&value, GST_TYPE_BUFFER);
    gst_value_set_buffer(&value, header);
    gst_value_array_append_value(&array, &value);
    g_value_unset(&value);
    GstCaps* caps = gst_caps_new_simple(Q58_GST_CAPS, "framed", G_TYPE_BOOLEAN, TRUE, "rate", G_TYPE_INT,
                                        Q58_SAMPLE_RATE, "channels", G_TYPE_INT, Q58_CHANNELS, nullptr);
    gst_structure_take_value(gst_caps_get_structure(caps, 0), "streamheader", &array);
    return caps;
}

namespace {

void typeFind(GstTypeFind* find, gpointer)
{
    const guint8* data = gst_type_find_peek(find, 0, 4);
    if (data != nullptr && std::memcmp(data, q58Magic, 4) == 0) {
        GstCaps* caps = gst_caps_new_empty_simple(Q58_GST_CAPS);
        gst_type_find_suggest(find, GST_TYPE_FIND_MAXIMUM, caps);
        gst_caps_unref(caps);
    }
}

gboolean pluginInit(GstPlugin* plugin)
{
    GstCaps* caps = gst_caps_new_empty_simple(Q58_GST_CAPS);
    gboolean ok = gst_type_find_register(plugin, "q58_typefind", GST_RANK_PRIMARY, typeFind, "q58", caps, nullptr, nullptr);
    gst_caps_unref(caps);
    ok = ok && gst_element_register(plugin, "q58parse", GST_RANK_PRIMARY + 1, q58_parse_get_type());
    ok = ok && gst_element_register(plugin, "q58dec", GST_RANK_PRIMARY, q58_dec_get_type());
    ok = ok && gst_element_register(plugin, "q58enc", GST_RANK_SECONDARY, q58_enc_get_type());
    return ok;
}

}  // namespace

#define PACKAGE "q58"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, q58, "q58 audio: type finder, parser, decoder and encoder",
                  pluginInit, "1.1.0", "MIT/X11", "q58", "https://localhost/q58")
