// The GStreamer elements in process, between appsrc and appsink, against the
// library's own encoder and decoder: q58parse frames any chunking of a file
// into its packets, q58dec follows jumps in the packet index, q58enc makes
// the encoder's packets from any chunking of the samples.
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <glib/gstdio.h>
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "q58.h"

namespace {

using Bytes = std::vector<guint8>;

constexpr int packetCount = 40;
constexpr size_t frameCount = static_cast<size_t>(packetCount) * Q58_FRAMES_PER_PACKET;
constexpr GstClockTime packetNs = 20 * GST_MSECOND;

// A file made by the library: two tones and a little noise.
struct Material {
    std::vector<int16_t> samples;
    std::vector<Bytes> packets;
    Bytes header;
    Bytes file;
    std::vector<int16_t> decoded;  // q58_decoder_read_s16 of the whole file
};

int keep(void* user, const void* packet, size_t size, uint32_t)
{
    const guint8* bytes = static_cast<const guint8*>(packet);
    static_cast<std::vector<Bytes>*>(user)->emplace_back(bytes, bytes + size);
    return 0;
}

Material makeMaterial()
{
    Material m;
    uint32_t noise = 12345;
    for (size_t i = 0; i < frameCount; ++i) {
        noise = noise * 1664525u + 1013904223u;
        const double t = static_cast<double>(i) / Q58_SAMPLE_RATE;
        const double dither = static_cast<double>(noise >> 20) - 2048.0;
        m.samples.push_back(static_cast<int16_t>(9000.0 * std::sin(2 * M_PI * 440 * t) + dither));
        m.samples.push_back(static_cast<int16_t>(7000.0 * std::sin(2 * M_PI * 660 * t) - dither));
    }
    q58_packet_encoder* encoder = q58_packet_encoder_open(keep, &m.packets, nullptr);
    q58_packet_encoder_write_s16(encoder, m.samples.data(), frameCount);
    m.header.resize(Q58_HEADER_BYTES);
    q58_packet_encoder_header(encoder, m.header.data());
    q58_packet_encoder_close(encoder);
    m.file = m.header;
    for (const Bytes& packet : m.packets) m.file.insert(m.file.end(), packet.begin(), packet.end());
    q58_decoder* decoder = q58_decoder_open_memory(m.file.data(), m.file.size(), nullptr);
    m.decoded.resize(2 * frameCount);
    m.decoded.resize(2 * q58_decoder_read_s16(decoder, m.decoded.data(), frameCount));
    q58_decoder_close(decoder);
    return m;
}

const Material& material()
{
    static const Material m = makeMaterial();
    return m;
}

class Plugin : public ::testing::Test {
protected:
    // The plugin of this build and no other (appsrc and appsink come from
    // the linked libgstapp), in a registry of this process's own.
    static void SetUpTestSuite()
    {
        gchar* folder = g_path_get_dirname(Q58_GST_PLUGIN_FILE);
        g_setenv("GST_PLUGIN_PATH", folder, TRUE);
        g_setenv("GST_PLUGIN_SYSTEM_PATH_1_0", "", TRUE);
        g_free(folder);
        registry = g_strdup_printf("%s/q58-plugin-test-%d.registry", g_get_tmp_dir(), static_cast<int>(getpid()));
        g_setenv("GST_REGISTRY", registry, TRUE);
        // Plugins are scanned in this process, not by gst-plugin-scanner: a
        // plugin built with the sanitizers loads only into a program that
        // has their runtime.
        g_setenv("GST_REGISTRY_FORK", "no", TRUE);
        gst_init(nullptr, nullptr);
        GstElementFactory* factory = gst_element_factory_find("q58parse");
        ASSERT_NE(factory, nullptr);
        GstPlugin* plugin = gst_plugin_feature_get_plugin(GST_PLUGIN_FEATURE(factory));
        ASSERT_STREQ(gst_plugin_get_filename(plugin), Q58_GST_PLUGIN_FILE);
        gst_object_unref(plugin);
        gst_object_unref(factory);
    }
    static void TearDownTestSuite()
    {
        gst_deinit();
        g_unlink(registry);
        g_free(registry);
    }
    static gchar* registry;
};

gchar* Plugin::registry = nullptr;

// Runs "appsrc ! ELEMENT ! appsink", pushes the buffers, and returns what
// the sink got by the end of the stream (the samples, with their buffers).
std::vector<GstSample*> run(const char* element, GstCaps* caps, const std::vector<GstBuffer*>& buffers,
                            const char* sinkCaps = nullptr)
{
    GstElement* pipeline = gst_pipeline_new(nullptr);
    GstElement* src = GST_ELEMENT(g_object_new(GST_TYPE_APP_SRC, nullptr));
    GstElement* middle = gst_element_factory_make(element, nullptr);
    GstElement* sink = GST_ELEMENT(g_object_new(GST_TYPE_APP_SINK, "sync", FALSE, nullptr));
    // Compressed bytes come in a byte segment (as from a file), the rest in time.
    const bool bytes = std::strcmp(element, "q58parse") == 0;
    g_object_set(src, "format", bytes ? GST_FORMAT_BYTES : GST_FORMAT_TIME, nullptr);
    gst_bin_add_many(GST_BIN(pipeline), src, middle, sink, nullptr);
    gst_element_link_many(src, middle, sink, nullptr);
    gst_object_ref(src);
    gst_object_ref(sink);
    gst_app_src_set_caps(GST_APP_SRC(src), caps);
    gst_caps_unref(caps);
    if (sinkCaps) {
        GstCaps* wanted = gst_caps_from_string(sinkCaps);
        gst_app_sink_set_caps(GST_APP_SINK(sink), wanted);
        gst_caps_unref(wanted);
    }
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    for (GstBuffer* buffer : buffers) gst_app_src_push_buffer(GST_APP_SRC(src), buffer);
    gst_app_src_end_of_stream(GST_APP_SRC(src));
    std::vector<GstSample*> samples;
    while (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 10 * GST_SECOND)) samples.push_back(sample);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(src);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return samples;
}

Bytes bytesOf(GstSample* sample)
{
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    Bytes bytes(gst_buffer_get_size(buffer));
    gst_buffer_extract(buffer, 0, bytes.data(), bytes.size());
    return bytes;
}

void release(std::vector<GstSample*>& samples)
{
    for (GstSample* sample : samples) gst_sample_unref(sample);
    samples.clear();
}

// The parser's output for the file cut into chunks of `chunk` bytes.
TEST_F(Plugin, ParserFramesEveryChunking)
{
    const Material& m = material();
    for (size_t chunk : {size_t{1}, size_t{7}, size_t{76}, size_t{77}, size_t{1000}, size_t{4096}, m.file.size()}) {
        SCOPED_TRACE("chunk " + std::to_string(chunk));
        std::vector<GstBuffer*> buffers;
        for (size_t at = 0; at < m.file.size(); at += chunk)
            buffers.push_back(gst_buffer_new_memdup(m.file.data() + at, std::min(chunk, m.file.size() - at)));
        std::vector<GstSample*> out = run("q58parse", gst_caps_from_string("audio/x-q58"), buffers);
        ASSERT_EQ(out.size(), m.packets.size());
        const GstStructure* caps = gst_caps_get_structure(gst_sample_get_caps(out[0]), 0);
        const GValue* headers = gst_structure_get_value(caps, "streamheader");
        ASSERT_NE(headers, nullptr);
        GstBuffer* header = gst_value_get_buffer(gst_value_array_get_value(headers, 0));
        EXPECT_EQ(gst_buffer_memcmp(header, 0, m.header.data(), m.header.size()), 0);
        for (size_t i = 0; i < out.size(); ++i) {
            GstBuffer* buffer = gst_sample_get_buffer(out[i]);
            EXPECT_EQ(bytesOf(out[i]), m.packets[i]) << "packet " << i;
            EXPECT_EQ(GST_BUFFER_OFFSET(buffer), i);
            EXPECT_EQ(GST_BUFFER_PTS(buffer), i * packetNs);
            EXPECT_EQ(GST_BUFFER_DURATION(buffer), packetNs);
        }
        release(out);
    }
}

GstCaps* framedCaps(const Bytes& header)
{
    GstCaps* caps = gst_caps_from_string("audio/x-q58, framed=(boolean)true, rate=(int)44100, channels=(int)2");
    GValue array = G_VALUE_INIT;
    GValue value = G_VALUE_INIT;
    g_value_init(&array, GST_TYPE_ARRAY);
    g_value_init(&value, GST_TYPE_BUFFER);
    GstBuffer* buffer = gst_buffer_new_memdup(header.data(), header.size());
    gst_value_set_buffer(&value, buffer);
    gst_buffer_unref(buffer);
    gst_value_array_append_value(&array, &value);
    g_value_unset(&value);
    gst_structure_take_value(gst_caps_get_structure(caps, 0), "streamheader", &array);
    return caps;
}

// The decoder fed packets in an order with jumps: after a jump to packet k
// (above 0), k only primes and every later packet gives the file's samples.
TEST_F(Plugin, DecoderFollowsJumps)
{
    const Material& m = material();
    const std::vector<std::vector<int>> orders = {
        {0, 1, 2, 3, 4, 5},
        {0, 1, 2, 20, 21, 22, 23},
        {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 3, 4, 5},
        {30, 31, 32, 1, 2, 3, 0, 1},
        {1, 2, 39},
        {17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35},
    };
    for (const char* format : {"S16LE", "F32LE"}) {
        for (const std::vector<int>& order : orders) {
            SCOPED_TRACE(std::string(format) + " order starting " + std::to_string(order[0]) + ", " +
                         std::to_string(order.size()) + " packets");
            std::vector<GstBuffer*> buffers;
            std::vector<int16_t> want;
            int previous = -1;
            for (int packet : order) {
                GstBuffer* buffer = gst_buffer_new_memdup(m.packets[packet].data(), m.packets[packet].size());
                GST_BUFFER_OFFSET(buffer) = packet;
                GST_BUFFER_PTS(buffer) = packet * packetNs;
                GST_BUFFER_DURATION(buffer) = packetNs;
                if (packet != previous + 1) GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
                buffers.push_back(buffer);
                if (packet == previous + 1 || packet == 0) {
                    const int16_t* block = m.decoded.data() + 2 * static_cast<size_t>(packet) * Q58_FRAMES_PER_PACKET;
                    want.insert(want.end(), block, block + 2 * Q58_FRAMES_PER_PACKET);
                }
                previous = packet;
            }
            const std::string sinkCaps = std::string("audio/x-raw, format=") + format;
            std::vector<GstSample*> out = run("q58dec", framedCaps(m.header), buffers, sinkCaps.c_str());
            std::vector<int16_t> got;
            for (GstSample* sample : out) {
                const Bytes bytes = bytesOf(sample);
                if (std::strcmp(format, "S16LE") == 0) {
                    const int16_t* values = reinterpret_cast<const int16_t*>(bytes.data());
                    got.insert(got.end(), values, values + bytes.size() / 2);
                } else {
                    const float* values = reinterpret_cast<const float*>(bytes.data());
                    for (size_t i = 0; i < bytes.size() / 4; ++i) {
                        const float x = values[i] * 32768.0f;
                        ASSERT_EQ(x, std::floor(x)) << "a float that is not an int16 value / 32768";
                        got.push_back(static_cast<int16_t>(x));
                    }
                }
            }
            EXPECT_TRUE(got == want) << got.size() << " values, want " << want.size();
            release(out);
        }
    }
}

// The encoder fed the samples in chunks of `chunk` sample frames: the
// header (count 0) then exactly the library encoder's packets; the
// remainder past the last whole packet makes none.
TEST_F(Plugin, EncoderPacketsForEveryChunking)
{
    const Material& m = material();
    for (size_t chunk : {size_t{1}, size_t{100}, size_t{881}, size_t{882}, size_t{1000}, frameCount}) {
        for (size_t extra : {size_t{0}, size_t{500}}) {
            SCOPED_TRACE("chunk " + std::to_string(chunk) + ", " + std::to_string(extra) + " frames past the packets");
            std::vector<int16_t> samples = m.samples;
            samples.resize(samples.size() + 2 * extra, 1000);
            const size_t frames = samples.size() / 2;
            std::vector<GstBuffer*> buffers;
            for (size_t at = 0; at < frames; at += chunk) {
                const size_t n = std::min(chunk, frames - at);
                GstBuffer* buffer = gst_buffer_new_memdup(samples.data() + 2 * at, 4 * n);
                GST_BUFFER_PTS(buffer) = gst_util_uint64_scale(at, GST_SECOND, Q58_SAMPLE_RATE);
                buffers.push_back(buffer);
            }
            GstCaps* caps = gst_caps_from_string(
                "audio/x-raw, format=S16LE, rate=44100, channels=2, layout=interleaved, channel-mask=(bitmask)0x3");
            std::vector<GstSample*> out = run("q58enc", caps, buffers);
            ASSERT_EQ(out.size(), m.packets.size() + 1);
            Bytes emptyHeader = m.header;
            std::memset(emptyHeader.data() + 72, 0, 4);  // the count the stream starts with
            EXPECT_EQ(bytesOf(out[0]), emptyHeader);
            for (size_t i = 0; i < m.packets.size(); ++i) EXPECT_EQ(bytesOf(out[i + 1]), m.packets[i]) << "packet " << i;
            release(out);
        }
    }
}

}  // namespace
