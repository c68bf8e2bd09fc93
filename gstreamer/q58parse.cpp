// q58parse: frames a .q58 byte stream into packets. The 76-byte header goes
// into the source caps (streamheader) and gives the duration; each packet is
// measured with the packet decoder and leaves as one buffer with its
// timestamp (packet index * 20 ms), its duration and, in GST_BUFFER_OFFSET,
// its packet index, which the decoder needs to reset its noise generator
// after a jump.
//
// Packets carry no sync word, so a seek can only land on a byte offset this
// parser has seen a packet start at: every packet parsed is remembered
// (8 bytes each) and every 16th goes into the base class's seek index. Each
// seek is made accurate, so the base class starts at the indexed packet at
// least one packet before the target (the lead-in: the decoder needs the
// packet before the target to prime its overlap), parses on from there and
// drops the packets that end well before the target; the decoder's segment
// clipping then cuts the first block to the exact sample.
#include <gst/base/gstbaseparse.h>

#include <algorithm>
#include <vector>

#include "q58.h"
#include "q58gst.h"

GST_DEBUG_CATEGORY_STATIC(q58_parse_debug);
#define GST_CAT_DEFAULT q58_parse_debug

namespace {

// The packets seen so far: offsets[i] is where packet i starts, end is where
// the last one seen ends.
struct ParseState {
    q58_packet_decoder* decoder = nullptr;
    std::vector<guint64> offsets;
    guint64 end = 0;
    guint32 packetCount = 0;
};

// Packets between two entries of the base class's seek index.
constexpr guint32 indexSpacing = 16;

GstClockTime packetTime(guint64 packet)
{
    return gst_util_uint64_scale(packet, Q58_FRAMES_PER_PACKET * GST_SECOND, Q58_SAMPLE_RATE);
}

}  // namespace

struct Q58Parse {
    GstBaseParse parent;
    ParseState* state;
};

struct Q58ParseClass {
    GstBaseParseClass parent_class;
};

G_DEFINE_TYPE(Q58Parse, q58_parse, GST_TYPE_BASE_PARSE)

namespace {

GstStaticPadTemplate sinkTemplate = GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS,
                                                            GST_STATIC_CAPS(Q58_GST_CAPS));
GstStaticPadTemplate srcTemplate = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS(Q58_GST_CAPS ", framed = (boolean) true, rate = (int) 44100, channels = (int) 2"));

Q58Parse* self(GstBaseParse* parse)
{
    return reinterpret_cast<Q58Parse*>(parse);
}

void forget(ParseState& state)
{
    q58_packet_decoder_close(state.decoder);
    state = ParseState{};
}

gboolean start(GstBaseParse* parse)
{
    forget(*self(parse)->state);
    gst_base_parse_set_min_frame_size(parse, Q58_HEADER_BYTES);
    return TRUE;
}

gboolean stop(GstBaseParse* parse)
{
    forget(*self(parse)->state);
    return TRUE;
}

// The header: opens the decoder that measures packets and sets the caps.
GstFlowReturn takeHeader(GstBaseParse* parse, const guint8* data, gsize size)
{
    ParseState& state = *self(parse)->state;
    int status = Q58_OK;
    state.decoder = q58_packet_decoder_open(data, std::min<gsize>(size, Q58_HEADER_BYTES), &status);
    if (state.decoder == nullptr) {
        GST_ELEMENT_ERROR(parse, STREAM, DECODE, (nullptr), ("unusable q58 header: %s", q58_status_string(status)));
        return GST_FLOW_ERROR;
    }
    state.packetCount = q58_packet_decoder_packet_count(state.decoder);
    state.end = Q58_HEADER_BYTES;

    GstBuffer* header = gst_buffer_new_memdup(data, Q58_HEADER_BYTES);
    GST_BUFFER_FLAG_SET(header, GST_BUFFER_FLAG_HEADER);
    GstCaps* caps = q58FramedCaps(header);
    gst_buffer_unref(header);
    gboolean ok = gst_pad_set_caps(GST_BASE_PARSE_SRC_PAD(parse), caps);
    gst_caps_unref(caps);
    if (!ok) return GST_FLOW_NOT_NEGOTIATED;

    gst_base_parse_set_duration(parse, GST_FORMAT_TIME, packetTime(state.packetCount), 0);
    // A packet is at most Q58_MAX_PACKET_BYTES long: with that much at hand
    // it can always be measured (only the end of the stream gives less).
    gst_base_parse_set_min_frame_size(parse, Q58_MAX_PACKET_BYTES);
    return GST_FLOW_OK;
}

GstFlowReturn handleFrame(GstBaseParse* parse, GstBaseParseFrame* frame, gint* skipsize)
{
    ParseState& state = *self(parse)->state;
    *skipsize = 0;
    GstMapInfo map;
    if (!gst_buffer_map(frame->buffer, &map, GST_MAP_READ)) return GST_FLOW_ERROR;
    GstFlowReturn result = GST_FLOW_OK;
    if (frame->offset == 0) {
        // The start of the stream again (after a seek to its beginning):
        // the header is known already and only skipped.
        const bool whole = map.size >= Q58_HEADER_BYTES;
        if (whole && state.decoder == nullptr) result = takeHeader(parse, map.data, map.size);
        gst_buffer_unmap(frame->buffer, &map);
        if (!whole || result != GST_FLOW_OK) return result;
        frame->flags |= GST_BASE_PARSE_FRAME_FLAG_DROP;
        return gst_base_parse_finish_frame(parse, frame, Q58_HEADER_BYTES);
    }
    if (state.decoder == nullptr) {
        gst_buffer_unmap(frame->buffer, &map);
        GST_ELEMENT_ERROR(parse, STREAM, DEMUX, (nullptr), ("q58 data without its header"));
        return GST_FLOW_ERROR;
    }

    // Which packet starts here: one seen before, or the one after the last.
    guint64 packet;
    if (frame->offset == state.end) {
        packet = state.offsets.size();
    } else {
        auto found = std::lower_bound(state.offsets.begin(), state.offsets.end(), frame->offset);
        if (found == state.offsets.end() || *found != frame->offset) {
            gst_buffer_unmap(frame->buffer, &map);
            GST_ELEMENT_ERROR(parse, STREAM, DEMUX, (nullptr),
                              ("no q58 packet is known to start at byte %" G_GUINT64_FORMAT, frame->offset));
            return GST_FLOW_ERROR;
        }
        packet = found - state.offsets.begin();
    }
    if (packet >= state.packetCount) {
        // Bytes after the packets the header counts are not audio.
        gst_buffer_unmap(frame->buffer, &map);
        return GST_FLOW_EOS;
    }

    size_t bytes = 0;
    const int status = q58_packet_decoder_measure(state.decoder, map.data, map.size, &bytes);
    gst_buffer_unmap(frame->buffer, &map);
    if (status == Q58_NEED_MORE_DATA && !GST_BASE_PARSE_DRAINING(parse)) return GST_FLOW_OK;
    if (status != Q58_OK) {
        GST_ELEMENT_ERROR(parse, STREAM, DECODE, (nullptr),
                          ("q58 packet %" G_GUINT64_FORMAT ": %s", packet, q58_status_string(status)));
        return GST_FLOW_ERROR;
    }
    if (packet == state.offsets.size()) {
        state.offsets.push_back(frame->offset);
        state.end = frame->offset + bytes;
        if (packet % indexSpacing == 0) gst_base_parse_add_index_entry(parse, frame->offset, packetTime(packet), TRUE, TRUE);
    }

    GstBuffer* buffer = frame->buffer;
    GST_BUFFER_PTS(buffer) = packetTime(packet);
    GST_BUFFER_DTS(buffer) = GST_BUFFER_PTS(buffer);
    GST_BUFFER_DURATION(buffer) = packetTime(packet + 1) - packetTime(packet);
    GST_BUFFER_OFFSET(buffer) = packet;
    GST_BUFFER_OFFSET_END(buffer) = packet + 1;
    return gst_base_parse_finish_frame(parse, frame, static_cast<gint>(bytes));
}

// Every seek is made accurate: an inaccurate one would be placed by the
// bitrate estimate, at a byte that is not the start of a packet.
gboolean srcEvent(GstBaseParse* parse, GstEvent* event)
{
    if (GST_EVENT_TYPE(event) == GST_EVENT_SEEK) {
        gdouble rate;
        GstFormat format;
        GstSeekFlags flags;
        GstSeekType startType, stopType;
        gint64 start, stop;
        gst_event_parse_seek(event, &rate, &format, &flags, &startType, &start, &stopType, &stop);
        if (!(flags & GST_SEEK_FLAG_ACCURATE)) {
            GstEvent* accurate = gst_event_new_seek(rate, format, static_cast<GstSeekFlags>(flags | GST_SEEK_FLAG_ACCURATE),
                                                    startType, start, stopType, stop);
            gst_event_set_seqnum(accurate, gst_event_get_seqnum(event));
            gst_event_unref(event);
            event = accurate;
        }
    }
    return GST_BASE_PARSE_CLASS(q58_parse_parent_class)->src_event(parse, event);
}

void finalize(GObject* object)
{
    Q58Parse* parse = reinterpret_cast<Q58Parse*>(object);
    forget(*parse->state);
    delete parse->state;
    G_OBJECT_CLASS(q58_parse_parent_class)->finalize(object);
}

}  // namespace

static void q58_parse_class_init(Q58ParseClass* klass)
{
    GST_DEBUG_CATEGORY_INIT(q58_parse_debug, "q58parse", 0, "q58 parser");
    G_OBJECT_CLASS(klass)->finalize = finalize;
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(element, &sinkTemplate);
    gst_element_class_add_static_pad_template(element, &srcTemplate);
    gst_element_class_set_static_metadata(element, "q58 parser", "Codec/Parser/Audio",
                                          "Frames a .q58 stream into timestamped packets", "the q58 authors");
    GstBaseParseClass* base = GST_BASE_PARSE_CLASS(klass);
    base->start = start;
    base->stop = stop;
    base->handle_frame = handleFrame;
    base->src_event = srcEvent;
}

static void q58_parse_init(Q58Parse* parse)
{
    parse->state = new ParseState;
    GstBaseParse* base = GST_BASE_PARSE(parse);
    // One packet of lead-in: accurate seeks start a packet early.
    gst_base_parse_set_frame_rate(base, Q58_SAMPLE_RATE, Q58_FRAMES_PER_PACKET, 1, 0);
    GST_PAD_SET_ACCEPT_INTERSECT(GST_BASE_PARSE_SINK_PAD(base));
}
