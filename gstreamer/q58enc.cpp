// q58enc: encodes interleaved S16LE stereo at 44100 Hz into q58 packets.
//
// The base class hands over exactly 882 sample frames at a time, and each
// such frame makes one packet. The stream starts with the 76-byte header
// (packet count 0, also in the caps' streamheader); at the end of the
// stream, when downstream can seek in bytes (a file), a byte segment at
// offset 0 and the header with the final packet count overwrite it, so that
// `q58enc ! filesink` writes the file the converter writes for the same
// samples. The fewer than 882 sample frames left at the end are not stored,
// as the converter does not store them.
#include <gst/audio/gstaudioencoder.h>

#include "q58.h"
#include "q58gst.h"

GST_DEBUG_CATEGORY_STATIC(q58_enc_debug);
#define GST_CAT_DEFAULT q58_enc_debug

struct Q58Enc {
    GstAudioEncoder parent;
    q58_packet_encoder* encoder;
    GstBuffer* packet;  // the packet the last write made, if any
};

struct Q58EncClass {
    GstAudioEncoderClass parent_class;
};

G_DEFINE_TYPE(Q58Enc, q58_enc, GST_TYPE_AUDIO_ENCODER)

namespace {

GstStaticPadTemplate sinkTemplate = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("audio/x-raw, format = (string) S16LE, rate = (int) 44100, channels = (int) 2, "
                    "layout = (string) interleaved"));
GstStaticPadTemplate srcTemplate = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS(Q58_GST_CAPS ", framed = (boolean) true, rate = (int) 44100, channels = (int) 2"));

Q58Enc* self(GstAudioEncoder* encoder)
{
    return reinterpret_cast<Q58Enc*>(encoder);
}

int keepPacket(void* user, const void* data, size_t size, uint32_t)
{
    Q58Enc& enc = *static_cast<Q58Enc*>(user);
    if (enc.packet != nullptr) return 1;  // one packet per 882 sample frames, never two
    enc.packet = gst_buffer_new_memdup(data, size);
    return 0;
}

void closeEncoder(Q58Enc& enc)
{
    q58_packet_encoder_close(enc.encoder);
    enc.encoder = nullptr;
    gst_clear_buffer(&enc.packet);
}

GstBuffer* headerBuffer(const Q58Enc& enc)
{
    guint8 header[Q58_HEADER_BYTES];
    q58_packet_encoder_header(enc.encoder, header);
    GstBuffer* buffer = gst_buffer_new_memdup(header, sizeof header);
    GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_HEADER);
    return buffer;
}

gboolean start(GstAudioEncoder* encoder)
{
    Q58Enc& enc = *self(encoder);
    closeEncoder(enc);
    int status = Q58_OK;
    enc.encoder = q58_packet_encoder_open(keepPacket, &enc, &status);
    if (enc.encoder == nullptr) {
        GST_ELEMENT_ERROR(encoder, LIBRARY, INIT, (nullptr), ("q58 encoder: %s", q58_status_string(status)));
        return FALSE;
    }
    return TRUE;
}

gboolean stop(GstAudioEncoder* encoder)
{
    closeEncoder(*self(encoder));
    return TRUE;
}

gboolean setFormat(GstAudioEncoder* encoder, GstAudioInfo*)
{
    Q58Enc& enc = *self(encoder);
    GstBuffer* header = headerBuffer(enc);
    GstCaps* caps = q58FramedCaps(header);
    const gboolean ok = gst_audio_encoder_set_output_format(encoder, caps);
    gst_caps_unref(caps);
    // One packet per 882 sample frames (the base class forgets these when
    // it starts, so they are set with each format).
    gst_audio_encoder_set_frame_samples_min(encoder, Q58_FRAMES_PER_PACKET);
    gst_audio_encoder_set_frame_samples_max(encoder, Q58_FRAMES_PER_PACKET);
    gst_audio_encoder_set_frame_max(encoder, 1);
    // The base class sends the header before the first packet.
    gst_audio_encoder_set_headers(encoder, g_list_append(nullptr, header));
    return ok;
}

GstFlowReturn handleFrame(GstAudioEncoder* encoder, GstBuffer* input)
{
    Q58Enc& enc = *self(encoder);
    if (input == nullptr) return GST_FLOW_OK;  // nothing held back to drain
    GstMapInfo map;
    if (!gst_buffer_map(input, &map, GST_MAP_READ)) return GST_FLOW_ERROR;
    const gsize frames = map.size / (Q58_CHANNELS * sizeof(int16_t));
    const int status =
        q58_packet_encoder_write_s16(enc.encoder, reinterpret_cast<const int16_t*>(map.data), frames);
    gst_buffer_unmap(input, &map);
    if (status != Q58_OK) {
        GST_ELEMENT_ERROR(encoder, STREAM, ENCODE, (nullptr), ("q58 encoder: %s", q58_status_string(status)));
        return GST_FLOW_ERROR;
    }
    GstBuffer* packet = enc.packet;
    enc.packet = nullptr;
    // A short remainder at the end makes no packet: its samples are dropped.
    return gst_audio_encoder_finish_frame(encoder, packet, static_cast<gint>(frames));
}

// Overwrites the header at the start of the output with the final packet
// count, when downstream can seek in bytes.
void rewriteHeader(GstAudioEncoder* encoder)
{
    Q58Enc& enc = *self(encoder);
    if (enc.encoder == nullptr || q58_packet_encoder_packet_count(enc.encoder) == 0) return;
    GstPad* src = GST_AUDIO_ENCODER_SRC_PAD(encoder);
    GstQuery* query = gst_query_new_seeking(GST_FORMAT_BYTES);
    gboolean seekable = FALSE;
    if (gst_pad_peer_query(src, query)) gst_query_parse_seeking(query, nullptr, &seekable, nullptr, nullptr);
    gst_query_unref(query);
    if (!seekable) {
        // The packets are all out, but a reader will count none of them:
        // say so where gst-launch and applications show it.
        GST_ELEMENT_WARNING(encoder, STREAM, MUX, (nullptr),
                            ("downstream cannot seek: the header keeps packet count 0, so readers see no packets"));
        return;
    }
    GstSegment segment;
    gst_segment_init(&segment, GST_FORMAT_BYTES);
    gst_pad_push_event(src, gst_event_new_segment(&segment));
    const GstFlowReturn result = gst_pad_push(src, headerBuffer(enc));
    if (result != GST_FLOW_OK)
        GST_ELEMENT_WARNING(encoder, STREAM, MUX, (nullptr), ("header not rewritten: %s", gst_flow_get_name(result)));
}

gboolean sinkEvent(GstAudioEncoder* encoder, GstEvent* event)
{
    if (GST_EVENT_TYPE(event) == GST_EVENT_EOS) rewriteHeader(encoder);
    return GST_AUDIO_ENCODER_CLASS(q58_enc_parent_class)->sink_event(encoder, event);
}

void finalize(GObject* object)
{
    closeEncoder(*reinterpret_cast<Q58Enc*>(object));
    G_OBJECT_CLASS(q58_enc_parent_class)->finalize(object);
}

}  // namespace

static void q58_enc_class_init(Q58EncClass* klass)
{
    GST_DEBUG_CATEGORY_INIT(q58_enc_debug, "q58enc", 0, "q58 encoder");
    G_OBJECT_CLASS(klass)->finalize = finalize;
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(element, &sinkTemplate);
    gst_element_class_add_static_pad_template(element, &srcTemplate);
    gst_element_class_set_static_metadata(element, "q58 encoder", "Codec/Encoder/Audio",
                                          "Encodes 16-bit stereo at 44100 Hz into q58 packets", "the q58 authors");
    GstAudioEncoderClass* base = GST_AUDIO_ENCODER_CLASS(klass);
    base->start = start;
    base->stop = stop;
    base->set_format = setFormat;
    base->handle_frame = handleFrame;
    base->sink_event = sinkEvent;
}

static void q58_enc_init(Q58Enc* enc)
{
    enc->encoder = nullptr;
    enc->packet = nullptr;
}
