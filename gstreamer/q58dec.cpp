// q58dec: decodes framed q58 packets to interleaved stereo at 44100 Hz,
// S16LE (the decoder's own samples) or F32LE (the same values / 32768).
//
// The decoder is opened from the header in the caps' streamheader (or, when
// the caps have none, from a header buffer at the start of the stream).
// Each buffer's GST_BUFFER_OFFSET, when set, is its packet index (q58parse
// sets it): a buffer that is not the packet the decoder expects next means
// a jump, and the decoder is reset to it. That first packet only primes the
// overlap and gives no samples; the parser starts a packet early after a
// seek, so the samples from the target on are exactly those of a decode
// from the start.
#include <gst/audio/gstaudiodecoder.h>

#include <cstring>

#include "q58.h"
#include "q58gst.h"

GST_DEBUG_CATEGORY_STATIC(q58_dec_debug);
#define GST_CAT_DEFAULT q58_dec_debug

struct Q58Dec {
    GstAudioDecoder parent;
    q58_packet_decoder* decoder;
    gboolean floats;  // F32LE output
};

struct Q58DecClass {
    GstAudioDecoderClass parent_class;
};

G_DEFINE_TYPE(Q58Dec, q58_dec, GST_TYPE_AUDIO_DECODER)

namespace {

GstStaticPadTemplate sinkTemplate = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
    GST_STATIC_CAPS(Q58_GST_CAPS ", framed = (boolean) true, rate = (int) 44100, channels = (int) 2"));
GstStaticPadTemplate srcTemplate = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("audio/x-raw, format = (string) { S16LE, F32LE }, rate = (int) 44100, channels = (int) 2, "
                    "layout = (string) interleaved, channel-mask = (bitmask) 0x3"));

Q58Dec* self(GstAudioDecoder* decoder)
{
    return reinterpret_cast<Q58Dec*>(decoder);
}

void closeDecoder(Q58Dec& dec)
{
    q58_packet_decoder_close(dec.decoder);
    dec.decoder = nullptr;
}

gboolean start(GstAudioDecoder* decoder)
{
    closeDecoder(*self(decoder));
    return TRUE;
}

gboolean stop(GstAudioDecoder* decoder)
{
    closeDecoder(*self(decoder));
    return TRUE;
}

gboolean openFrom(GstAudioDecoder* decoder, const guint8* header, gsize size)
{
    Q58Dec& dec = *self(decoder);
    closeDecoder(dec);
    int status = Q58_OK;
    dec.decoder = q58_packet_decoder_open(header, size, &status);
    if (dec.decoder == nullptr) {
        GST_ELEMENT_ERROR(decoder, STREAM, DECODE, (nullptr), ("unusable q58 header: %s", q58_status_string(status)));
        return FALSE;
    }
    return TRUE;
}

// The output format: S16LE unless downstream only takes F32LE.
gboolean negotiateOutput(GstAudioDecoder* decoder)
{
    Q58Dec& dec = *self(decoder);
    GstCaps* allowed = gst_pad_get_allowed_caps(GST_AUDIO_DECODER_SRC_PAD(decoder));
    GstAudioFormat format = GST_AUDIO_FORMAT_S16LE;
    if (allowed != nullptr) {
        GstCaps* s16 = gst_caps_from_string("audio/x-raw, format = (string) S16LE");
        if (!gst_caps_can_intersect(allowed, s16)) format = GST_AUDIO_FORMAT_F32LE;
        gst_caps_unref(s16);
        gst_caps_unref(allowed);
    }
    dec.floats = format == GST_AUDIO_FORMAT_F32LE;
    GstAudioInfo info;
    gst_audio_info_init(&info);
    gst_audio_info_set_format(&info, format, Q58_SAMPLE_RATE, Q58_CHANNELS, nullptr);
    return gst_audio_decoder_set_output_format(decoder, &info);
}

gboolean setFormat(GstAudioDecoder* decoder, GstCaps* caps)
{
    const GstStructure* structure = gst_caps_get_structure(caps, 0);
    const GValue* headers = gst_structure_get_value(structure, "streamheader");
    if (headers != nullptr && GST_VALUE_HOLDS_ARRAY(headers) && gst_value_array_get_size(headers) > 0) {
        const GValue* first = gst_value_array_get_value(headers, 0);
        GstBuffer* header = gst_value_get_buffer(first);
        GstMapInfo map;
        if (header == nullptr || !gst_buffer_map(header, &map, GST_MAP_READ)) return FALSE;
        const gboolean ok = openFrom(decoder, map.data, map.size);
        gst_buffer_unmap(header, &map);
        if (!ok) return FALSE;
    }
    return negotiateOutput(decoder);
}

bool isHeader(const guint8* data, gsize size)
{
    return size == Q58_HEADER_BYTES && std::memcmp(data, q58Magic, sizeof q58Magic) == 0;
}

GstFlowReturn decodeMapped(GstAudioDecoder* decoder, GstBuffer* input, const guint8* data, gsize size)
{
    Q58Dec& dec = *self(decoder);
    // A packet can be 76 bytes that start with the magic too, so a header
    // after the first buffer is known by its flag as well.
    const bool header = GST_BUFFER_FLAG_IS_SET(input, GST_BUFFER_FLAG_HEADER) && isHeader(data, size);
    if (dec.decoder == nullptr || header) {
        // A header in the stream (no streamheader in the caps) opens the
        // decoder, or is the one the caps held already.
        if (dec.decoder == nullptr && !openFrom(decoder, data, size)) return GST_FLOW_ERROR;
        return gst_audio_decoder_finish_frame(decoder, nullptr, 1);
    }
    const guint64 packet = GST_BUFFER_OFFSET(input);
    if (packet != GST_BUFFER_OFFSET_NONE && packet != q58_packet_decoder_next_packet(dec.decoder)) {
        GST_DEBUG_OBJECT(decoder, "jump to packet %" G_GUINT64_FORMAT, packet);
        const int status = q58_packet_decoder_reset(dec.decoder, static_cast<uint32_t>(packet));
        if (status != Q58_OK) {
            GST_ELEMENT_ERROR(decoder, STREAM, DECODE, (nullptr), ("q58 reset: %s", q58_status_string(status)));
            return GST_FLOW_ERROR;
        }
    }
    const gsize bytes = Q58_CHANNELS * Q58_FRAMES_PER_PACKET * (dec.floats ? sizeof(float) : sizeof(int16_t));
    GstBuffer* output = gst_audio_decoder_allocate_output_buffer(decoder, bytes);
    GstMapInfo out;
    if (!gst_buffer_map(output, &out, GST_MAP_WRITE)) {
        gst_buffer_unref(output);
        return GST_FLOW_ERROR;
    }
    size_t consumed = 0;
    size_t frames = 0;
    const int status = dec.floats
        ? q58_packet_decoder_decode_float(dec.decoder, data, size, &consumed, reinterpret_cast<float*>(out.data), &frames)
        : q58_packet_decoder_decode_s16(dec.decoder, data, size, &consumed, reinterpret_cast<int16_t*>(out.data), &frames);
    gst_buffer_unmap(output, &out);
    if (status != Q58_OK) {
        gst_buffer_unref(output);
        GstFlowReturn result = GST_FLOW_OK;
        GST_AUDIO_DECODER_ERROR(decoder, 1, STREAM, DECODE, (nullptr), ("q58 packet: %s", q58_status_string(status)),
                                result);
        return result;
    }
    if (frames == 0) {
        // The packet only primed the overlap.
        gst_buffer_unref(output);
        return gst_audio_decoder_finish_frame(decoder, nullptr, 1);
    }
    gst_buffer_set_size(output, frames * (bytes / Q58_FRAMES_PER_PACKET));
    return gst_audio_decoder_finish_frame(decoder, output, 1);
}

GstFlowReturn handleFrame(GstAudioDecoder* decoder, GstBuffer* input)
{
    if (input == nullptr) return GST_FLOW_OK;  // nothing held back to drain
    // Finishing the frame lets the base class drop its reference to input.
    gst_buffer_ref(input);
    GstMapInfo map;
    GstFlowReturn result = GST_FLOW_ERROR;
    if (gst_buffer_map(input, &map, GST_MAP_READ)) {
        result = decodeMapped(decoder, input, map.data, map.size);
        gst_buffer_unmap(input, &map);
    }
    gst_buffer_unref(input);
    return result;
}

void finalize(GObject* object)
{
    closeDecoder(*reinterpret_cast<Q58Dec*>(object));
    G_OBJECT_CLASS(q58_dec_parent_class)->finalize(object);
}

}  // namespace

static void q58_dec_class_init(Q58DecClass* klass)
{
    GST_DEBUG_CATEGORY_INIT(q58_dec_debug, "q58dec", 0, "q58 decoder");
    G_OBJECT_CLASS(klass)->finalize = finalize;
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(element, &sinkTemplate);
    gst_element_class_add_static_pad_template(element, &srcTemplate);
    gst_element_class_set_static_metadata(element, "q58 decoder", "Codec/Decoder/Audio",
                                          "Decodes q58 packets to 16-bit or float stereo", "the q58 authors");
    GstAudioDecoderClass* base = GST_AUDIO_DECODER_CLASS(klass);
    base->start = start;
    base->stop = stop;
    base->set_format = setFormat;
    base->handle_frame = handleFrame;
}

static void q58_dec_init(Q58Dec* dec)
{
    dec->decoder = nullptr;
    dec->floats = FALSE;
    gst_audio_decoder_set_needs_format(GST_AUDIO_DECODER(dec), TRUE);
}
