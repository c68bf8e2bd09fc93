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

// The first four bytes of every .q58 file.
inline constexpr guint8 q58Magic[4] = {0x71, 0x35, 0x38, 0x00};

// The caps of framed packets: audio/x-q58, framed, 44100 Hz, 2 channels,
// with the 76-byte header as the streamheader (a reference is taken).
GstCaps* q58FramedCaps(GstBuffer* header);
