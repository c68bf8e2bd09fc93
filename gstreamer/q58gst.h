// Shared declarations of the q58 GStreamer elements.
#pragma once

#include <gst/gst.h>

G_BEGIN_DECLS
GType q58_parse_get_type(void);
GType q58_dec_get_type(void);
GType q58_enc_get_type(void);
G_END_DECLS

// Caps of the compressed stream, as the type finder and every element give them.
#define Q58_GST_CAPS "audio/x-q58"
