#include "platform/gst/gst_movie.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <mutex>
#include <string>
#include <string_view>

namespace qv {
namespace {

// How long the end of a file (the encoders emptying, the muxer writing its index) and the
// decoding of a sound may take.
constexpr GstClockTime kFinishTimeout = 120 * GST_SECOND;
constexpr GstClockTime kDecodeTimeout = 120 * GST_SECOND;
// Frames waiting for the encoder at most: beyond them the run waits for the encoder, so
// that a slow encoder never makes the frames pile up in memory.
constexpr guint kFramesAhead = 4;
// Bits per pixel per frame of the video streams: 0.1 gives about 5 Mbit/s at 1920 x 1080
// and 25 frames a second, within the few Mbit/s at which people watch 1080p on the web;
// pictures of a screen saver are mostly still, which the encoder turns into better
// quality. Small frames get at least 1 Mbit/s, so that even a preview stays sharp.
constexpr double kBitsPerPixel = 0.1;
constexpr double kMinBitRate = 1e6;
constexpr double kMaxBitRate = 20e6;
// Seed of GLib's random numbers when the muxer numbers its tracks, so that two recordings
// of the same run give the same bytes.
constexpr guint32 kTrackSeed = 0x51564D56;

// One element of a pipeline: its GStreamer name and the Debian package that has it.
struct Plugin {
    const char* Factory;
    const char* Package;
};

// An element's fixed settings, by property name and value as text.
struct Setting {
    const char* Factory;
    const char* Property;
    const char* Value;
};

// VP8: the real-time deadline with cpu-used 4 is the libvpx mode meant for encoding as
// the pictures come, about as fast as the player draws at 1080p; variable bit rate around
// the target, with a key frame at least every 2 s (set below) so that a player can seek.
// One thread in every encoder: the same input then gives the same output.
constexpr Setting kSettings[] = {
    {"vp8enc", "deadline", "1"},
    {"vp8enc", "cpu-used", "4"},
    {"vp8enc", "end-usage", "vbr"},
    {"vp8enc", "threads", "1"},
    {"vp8enc", "max-quantizer", "48"},
    {"x264enc", "threads", "1"},
    {"x264enc", "speed-preset", "veryfast"},
    {"openh264enc", "multi-thread", "1"},
    {"openh264enc", "rate-control", "bitrate"},
    {"opusenc", "bitrate", "128000"},
    {"avenc_aac", "bitrate", "160000"},
    {"voaacenc", "bitrate", "160000"},
};

// What a kind of file is made with; of each list the first element the machine has is
// taken.
struct FileKind {
    const char* Ending;
    const char* Name;
    const char* VideoCodec;
    std::vector<Plugin> Video;
    const char* AudioCodec;
    std::vector<Plugin> Audio;
    Plugin Mux;
    bool EvenSize; // 4:2:0 H.264 takes only even widths and heights
    // Between the video encoder and the muxer (the muxer takes H.264 only as "avc").
    const char* Parser;
};

const std::vector<FileKind>& FileKinds() {
    static const std::vector<FileKind> kinds = {
        {".webm",
         "WebM",
         "VP8",
         {{"vp8enc", "gstreamer1.0-plugins-good"}},
         "Opus",
         {{"opusenc", "gstreamer1.0-plugins-base"}},
         {"webmmux", "gstreamer1.0-plugins-good"},
         false,
         nullptr},
        {".mp4",
         "MP4",
         "H.264",
         {{"x264enc", "gstreamer1.0-plugins-ugly"}, {"openh264enc", "gstreamer1.0-plugins-bad"}},
         "AAC",
         {{"avenc_aac", "gstreamer1.0-libav"}, {"voaacenc", "gstreamer1.0-plugins-bad"}},
         {"mp4mux", "gstreamer1.0-plugins-good"},
         true,
         "h264parse"},
    };
    return kinds;
}

constexpr Plugin kCommon[] = {
    {"appsrc", "gstreamer1.0-plugins-base"},
    {"videoconvert", "gstreamer1.0-plugins-base"},
    {"audioconvert", "gstreamer1.0-plugins-base"},
    {"capsfilter", "libgstreamer1.0-0"},
    {"queue", "libgstreamer1.0-0"},
    {"filesink", "libgstreamer1.0-0"},
};

bool InitGst(std::string* error) {
    GError* err = nullptr;
    if (!gst_init_check(nullptr, nullptr, &err)) {
        *error = std::string("GStreamer cannot start: ") + (err ? err->message : "unknown error");
        if (err) {
            g_error_free(err);
        }
        return false;
    }
    return true;
}

bool Have(const char* factory) {
    GstElementFactory* f = gst_element_factory_find(factory);
    if (f) {
        gst_object_unref(f);
    }
    return f != nullptr;
}

const FileKind* KindOf(const std::string& file) {
    for (const FileKind& kind : FileKinds()) {
        if (file.ends_with(kind.Ending)) {
            return &kind;
        }
    }
    return nullptr;
}

// The first of the choices the machine has; empty with the reason when it has none.
const char* Choose(const FileKind& kind, const char* codec, const std::vector<Plugin>& choices,
                   std::string* error) {
    for (const Plugin& p : choices) {
        if (Have(p.Factory)) {
            return p.Factory;
        }
    }
    std::string names;
    for (size_t i = 0; i < choices.size(); ++i) {
        names += i == 0 ? "" : " or ";
        names += std::string(choices[i].Factory) + " (Debian package " + choices[i].Package + ")";
    }
    *error = std::string(kind.Name) + " recording needs a " + codec +
             " encoder, and this machine's GStreamer has none: install the element " + names;
    return nullptr;
}

bool CheckKind(const FileKind& kind, std::string* error, const char** video, const char** audio) {
    *video = Choose(kind, kind.VideoCodec, kind.Video, error);
    *audio = *video ? Choose(kind, kind.AudioCodec, kind.Audio, error) : nullptr;
    if (!*video || !*audio) {
        return false;
    }
    std::vector<Plugin> needed(std::begin(kCommon), std::end(kCommon));
    needed.insert(needed.begin(), kind.Mux);
    if (kind.Parser) {
        needed.insert(needed.begin(), {kind.Parser, "gstreamer1.0-plugins-bad"});
    }
    for (const Plugin& p : needed) {
        if (!Have(p.Factory)) {
            *error = std::string(kind.Name) + " recording needs the GStreamer element " +
                     p.Factory + " (Debian package " + p.Package + ")";
            return false;
        }
    }
    return true;
}

void Configure(GstElement* element, const char* factory) {
    for (const Setting& s : kSettings) {
        if (std::strcmp(s.Factory, factory) == 0) {
            gst_util_set_object_arg(G_OBJECT(element), s.Property, s.Value);
        }
    }
}

std::string BusErrorText(GstMessage* msg) {
    GError* err = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(msg, &err, &debug);
    std::string text = err ? err->message : "unknown error";
    if (err) {
        g_error_free(err);
    }
    g_free(debug);
    return text;
}

class GstMovieEncoder : public MovieEncoder {
public:
    ~GstMovieEncoder() override {
        if (m_pipeline) {
            gst_element_set_state(m_pipeline, GST_STATE_NULL);
            gst_object_unref(m_pipeline);
        }
        for (GstBufferPool* pool : {m_videoPool, m_soundPool}) {
            if (pool) {
                gst_buffer_pool_set_active(pool, FALSE);
                gst_object_unref(pool);
            }
        }
        if (!m_finished && !m_file.empty()) {
            std::remove(m_file.c_str()); // a file that was not finished is no video
        }
    }

    bool Open(const std::string& file, const MovieFormat& format, const FileKind& kind,
              const char* videoEncoder, const char* audioEncoder, std::string* error) {
        m_format = format;
        if (kind.EvenSize && (format.Width % 2 != 0 || format.Height % 2 != 0)) {
            *error = std::string(kind.Name) + " recording needs an even width and height, not " +
                     std::to_string(format.Width) + "x" + std::to_string(format.Height);
            return false;
        }
        m_pipeline = gst_pipeline_new(nullptr);
        m_videoSrc = gst_element_factory_make("appsrc", nullptr);
        GstElement* convert = gst_element_factory_make("videoconvert", nullptr);
        GstElement* yuv = gst_element_factory_make("capsfilter", nullptr);
        GstElement* venc = gst_element_factory_make(videoEncoder, nullptr);
        GstElement* vqueue = gst_element_factory_make("queue", nullptr);
        GstElement* parse =
            gst_element_factory_make(kind.Parser ? kind.Parser : "identity", nullptr);
        m_soundSrc = gst_element_factory_make("appsrc", nullptr);
        GstElement* aconvert = gst_element_factory_make("audioconvert", nullptr);
        GstElement* aenc = gst_element_factory_make(audioEncoder, nullptr);
        GstElement* aqueue = gst_element_factory_make("queue", nullptr);
        GstElement* mux = gst_element_factory_make(kind.Mux.Factory, nullptr);
        GstElement* sink = gst_element_factory_make("filesink", nullptr);
        GstElement* all[] = {m_videoSrc, convert,  yuv,  venc,   parse, vqueue,
                             m_soundSrc, aconvert, aenc, aqueue, mux,   sink};
        for (GstElement* e : all) {
            if (!e) {
                for (GstElement* made : all) {
                    if (made) {
                        gst_object_unref(made);
                    }
                }
                *error = "cannot make the GStreamer elements of a recording";
                return false;
            }
        }
        gst_bin_add_many(GST_BIN(m_pipeline), m_videoSrc, convert, yuv, venc, parse, vqueue,
                         m_soundSrc, aconvert, aenc, aqueue, mux, sink, nullptr);

        GstCaps* videoCaps = gst_caps_new_simple(
            "video/x-raw", "format", G_TYPE_STRING, "BGRx", "width", G_TYPE_INT, format.Width,
            "height", G_TYPE_INT, format.Height, "framerate", GST_TYPE_FRACTION, format.Fps, 1,
            "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
        GstCaps* soundCaps =
            gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", "layout",
                                G_TYPE_STRING, "interleaved", "rate", G_TYPE_INT, format.SampleRate,
                                "channels", G_TYPE_INT, format.Channels, nullptr);
        GstCaps* i420 = gst_caps_from_string("video/x-raw,format=I420");
        g_object_set(m_videoSrc, "caps", videoCaps, "format", GST_FORMAT_TIME, nullptr);
        g_object_set(m_soundSrc, "caps", soundCaps, "format", GST_FORMAT_TIME, nullptr);
        g_object_set(yuv, "caps", i420, nullptr);
        gst_caps_unref(i420);
        // Encoded data is small: the queues before the muxer never hold a stream back, so
        // the muxer always gets what it waits for.
        for (GstElement* q : {vqueue, aqueue}) {
            g_object_set(q, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time",
                         guint64{0}, nullptr);
        }
        g_object_set(convert, "n-threads", 1u, nullptr);

        Configure(venc, videoEncoder);
        Configure(aenc, audioEncoder);
        const double pixelRate = static_cast<double>(format.Width) * format.Height * format.Fps;
        const double bitRate =
            std::clamp(pixelRate * kBitsPerPixel, kMinBitRate, kMaxBitRate); // bit/s
        const guint keyframeGap = static_cast<guint>(format.Fps) * 2;
        if (std::strcmp(videoEncoder, "vp8enc") == 0) {
            g_object_set(venc, "target-bitrate", static_cast<gint>(bitRate), "keyframe-max-dist",
                         static_cast<gint>(keyframeGap), nullptr);
        } else if (std::strcmp(videoEncoder, "x264enc") == 0) {
            g_object_set(venc, "bitrate", static_cast<guint>(bitRate / 1000), "key-int-max",
                         keyframeGap, nullptr);
        } else if (std::strcmp(videoEncoder, "openh264enc") == 0) {
            g_object_set(venc, "bitrate", static_cast<guint>(bitRate), "gop-size", keyframeGap,
                         nullptr);
        }

        GDateTime* created = g_date_time_new_utc(
            format.Created.Year, format.Created.Month, format.Created.Day, format.Created.Hour,
            format.Created.Minute, format.Created.Second + format.Created.Milliseconds / 1000.0);
        if (created && g_object_class_find_property(G_OBJECT_GET_CLASS(mux), "creation-time")) {
            g_object_set(mux, "creation-time", created, nullptr);
        }
        if (created && GST_IS_TAG_SETTER(mux)) {
            GstDateTime* when = gst_date_time_new_from_g_date_time(g_date_time_ref(created));
            gst_tag_setter_add_tags(GST_TAG_SETTER(mux), GST_TAG_MERGE_REPLACE, GST_TAG_DATE_TIME,
                                    when, nullptr);
            gst_date_time_unref(when);
        }
        if (created) {
            g_date_time_unref(created);
        }
        if (g_object_class_find_property(G_OBJECT_GET_CLASS(mux), "writing-app")) {
            g_object_set(mux, "writing-app", "Quorvex", nullptr);
        }
        g_object_set(sink, "location", file.c_str(), nullptr);

        // The muxer numbers its tracks with random numbers as their pads are made.
        g_random_set_seed(kTrackSeed);
        const bool linked =
            gst_element_link_many(m_videoSrc, convert, yuv, venc, parse, vqueue, nullptr) &&
            gst_element_link_many(m_soundSrc, aconvert, aenc, aqueue, nullptr) &&
            gst_element_link(vqueue, mux) && gst_element_link(aqueue, mux) &&
            gst_element_link(mux, sink);
        if (!linked) {
            gst_caps_unref(videoCaps);
            gst_caps_unref(soundCaps);
            *error = std::string("cannot join the ") + videoEncoder + ", " + audioEncoder +
                     " and " + kind.Mux.Factory + " elements of a recording";
            return false;
        }

        const guint frameBytes = static_cast<guint>(format.Width) * 4u * format.Height;
        m_soundBlockBytes = 4096u * 2u * static_cast<guint>(format.Channels);
        m_videoPool = MakePool(videoCaps, frameBytes, 2, kFramesAhead);
        m_soundPool = MakePool(soundCaps, m_soundBlockBytes, 4, 0);
        gst_caps_unref(videoCaps);
        gst_caps_unref(soundCaps);
        if (!m_videoPool || !m_soundPool) {
            *error = "cannot make the buffers of a recording";
            return false;
        }
        GstBus* bus = gst_element_get_bus(m_pipeline);
        gst_bus_set_sync_handler(bus, &GstMovieEncoder::OnBusMessage, this, nullptr);
        gst_object_unref(bus);

        m_file = file;
        if (gst_element_set_state(m_pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
            *error = PipelineError("cannot start writing " + file);
            return false;
        }
        return true;
    }

    bool AddFrame(const uint32_t* pixels, int32_t stride) override {
        GstBuffer* buffer = nullptr;
        if (Failed() ||
            gst_buffer_pool_acquire_buffer(m_videoPool, &buffer, nullptr) != GST_FLOW_OK) {
            return Fail("cannot write " + m_file);
        }
        GstMapInfo map;
        if (!gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
            gst_buffer_unref(buffer);
            return Fail("cannot write " + m_file);
        }
        const size_t row = static_cast<size_t>(m_format.Width) * 4;
        for (int32_t y = 0; y < m_format.Height; ++y) {
            std::memcpy(map.data + static_cast<size_t>(y) * row,
                        pixels + static_cast<size_t>(y) * static_cast<size_t>(stride), row);
        }
        gst_buffer_unmap(buffer, &map);
        // Times from the frame's number, never from a clock.
        const GstClockTime at = gst_util_uint64_scale(m_frames, GST_SECOND, m_format.Fps);
        const GstClockTime next = gst_util_uint64_scale(m_frames + 1, GST_SECOND, m_format.Fps);
        GST_BUFFER_PTS(buffer) = at;
        GST_BUFFER_DTS(buffer) = at;
        GST_BUFFER_DURATION(buffer) = next - at;
        ++m_frames;
        if (gst_app_src_push_buffer(GST_APP_SRC(m_videoSrc), buffer) != GST_FLOW_OK) {
            return Fail("cannot write " + m_file);
        }
        return true;
    }

    bool AddSound(std::span<const int16_t> samples) override {
        const size_t channels = static_cast<size_t>(m_format.Channels);
        while (!samples.empty()) {
            GstBuffer* buffer = nullptr;
            if (Failed() ||
                gst_buffer_pool_acquire_buffer(m_soundPool, &buffer, nullptr) != GST_FLOW_OK) {
                return Fail("cannot write " + m_file);
            }
            const size_t count =
                std::min(samples.size(), m_soundBlockBytes / sizeof(int16_t) / channels * channels);
            gst_buffer_fill(buffer, 0, samples.data(), count * sizeof(int16_t));
            gst_buffer_set_size(buffer, static_cast<gssize>(count * sizeof(int16_t)));
            const uint64_t frames = count / channels;
            const GstClockTime at =
                gst_util_uint64_scale(m_soundFrames, GST_SECOND, m_format.SampleRate);
            const GstClockTime next =
                gst_util_uint64_scale(m_soundFrames + frames, GST_SECOND, m_format.SampleRate);
            GST_BUFFER_PTS(buffer) = at;
            GST_BUFFER_DURATION(buffer) = next - at;
            GST_BUFFER_OFFSET(buffer) = m_soundFrames;
            GST_BUFFER_OFFSET_END(buffer) = m_soundFrames + frames;
            m_soundFrames += frames;
            if (gst_app_src_push_buffer(GST_APP_SRC(m_soundSrc), buffer) != GST_FLOW_OK) {
                return Fail("cannot write " + m_file);
            }
            samples = samples.subspan(count);
        }
        return true;
    }

    bool Finish() override {
        if (Failed()) {
            return Fail("cannot write " + m_file);
        }
        gst_app_src_end_of_stream(GST_APP_SRC(m_videoSrc));
        gst_app_src_end_of_stream(GST_APP_SRC(m_soundSrc));
        GstBus* bus = gst_element_get_bus(m_pipeline);
        GstMessage* msg = gst_bus_timed_pop_filtered(
            bus, kFinishTimeout, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        gst_object_unref(bus);
        bool ok = msg && GST_MESSAGE_TYPE(msg) == GST_MESSAGE_EOS;
        if (!ok) {
            Fail("cannot finish " + m_file +
                 (msg ? ": " + BusErrorText(msg) : std::string(": the encoder did not end")));
        }
        if (msg) {
            gst_message_unref(msg);
        }
        gst_element_set_state(m_pipeline, GST_STATE_NULL);
        m_finished = ok;
        return ok;
    }

    const std::string& Error() const override { return m_error; }

private:
    static GstBufferPool* MakePool(GstCaps* caps, guint size, guint min, guint max) {
        GstBufferPool* pool = gst_buffer_pool_new();
        GstStructure* config = gst_buffer_pool_get_config(pool);
        gst_buffer_pool_config_set_params(config, caps, size, min, max);
        if (!gst_buffer_pool_set_config(pool, config) || !gst_buffer_pool_set_active(pool, TRUE)) {
            gst_object_unref(pool);
            return nullptr;
        }
        return pool;
    }

    // Runs on the thread that posts: an error stops the streaming, so the run must not
    // wait for buffers that will never come back.
    static GstBusSyncReply OnBusMessage(GstBus* /*bus*/, GstMessage* msg, gpointer data) {
        auto* self = static_cast<GstMovieEncoder*>(data);
        if (GST_MESSAGE_TYPE(msg) == GST_MESSAGE_ERROR && !self->m_failed.exchange(true)) {
            {
                std::lock_guard lock(self->m_errorLock);
                self->m_streamError = BusErrorText(msg);
            }
            gst_buffer_pool_set_flushing(self->m_videoPool, TRUE);
            gst_buffer_pool_set_flushing(self->m_soundPool, TRUE);
        }
        return GST_BUS_PASS;
    }

    bool Failed() const { return m_failed.load(); }

    bool Fail(const std::string& what) {
        if (m_error.empty()) {
            std::lock_guard lock(m_errorLock);
            m_error = m_streamError.empty() ? what : what + ": " + m_streamError;
        }
        return false;
    }

    std::string PipelineError(const std::string& what) {
        GstBus* bus = gst_element_get_bus(m_pipeline);
        GstMessage* msg = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
        gst_object_unref(bus);
        if (!msg) {
            return what;
        }
        std::string text = what + ": " + BusErrorText(msg);
        gst_message_unref(msg);
        return text;
    }

    MovieFormat m_format;
    std::string m_file;
    std::string m_error;
    GstElement* m_pipeline = nullptr;
    GstElement* m_videoSrc = nullptr;
    GstElement* m_soundSrc = nullptr;
    GstBufferPool* m_videoPool = nullptr;
    GstBufferPool* m_soundPool = nullptr;
    size_t m_soundBlockBytes = 0;
    uint64_t m_frames = 0;
    uint64_t m_soundFrames = 0;
    std::atomic<bool> m_failed{false};
    std::mutex m_errorLock;
    std::string m_streamError;
    bool m_finished = false;
};

// The decoded sound of a file: one branch to the sample collector for its first sound
// stream, every other stream thrown away.
struct SoundDecode {
    GstElement* Pipeline = nullptr;
    GstCaps* Want = nullptr;
    std::vector<int16_t>* Samples = nullptr;
    std::atomic<bool> HasSound{false};
    std::mutex Lock;
};

GstFlowReturn TakeSound(GstAppSink* sink, gpointer data) {
    auto* decode = static_cast<SoundDecode*>(data);
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (!sample) {
        return GST_FLOW_EOS;
    }
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        const auto* begin = reinterpret_cast<const int16_t*>(map.data);
        std::lock_guard lock(decode->Lock);
        decode->Samples->insert(decode->Samples->end(), begin, begin + map.size / 2);
        gst_buffer_unmap(buffer, &map);
    }
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

void DecodePadAdded(GstElement* /*source*/, GstPad* pad, gpointer data) {
    auto* decode = static_cast<SoundDecode*>(data);
    GstCaps* caps = gst_pad_get_current_caps(pad);
    if (!caps) {
        caps = gst_pad_query_caps(pad, nullptr);
    }
    const std::string_view kind = gst_structure_get_name(gst_caps_get_structure(caps, 0));
    gst_caps_unref(caps);
    GstElement* first = nullptr;
    if (kind.starts_with("audio/x-raw") && !decode->HasSound.exchange(true)) {
        GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
        GstElement* resample = gst_element_factory_make("audioresample", nullptr);
        GstElement* sink = gst_element_factory_make("appsink", nullptr);
        g_object_set(sink, "caps", decode->Want, "sync", FALSE, "emit-signals", TRUE, nullptr);
        g_signal_connect(sink, "new-sample", G_CALLBACK(&TakeSound), decode);
        gst_bin_add_many(GST_BIN(decode->Pipeline), convert, resample, sink, nullptr);
        gst_element_link_many(convert, resample, sink, nullptr);
        gst_element_sync_state_with_parent(sink);
        gst_element_sync_state_with_parent(resample);
        gst_element_sync_state_with_parent(convert);
        first = convert;
    } else {
        first = gst_element_factory_make("fakesink", nullptr);
        g_object_set(first, "sync", FALSE, nullptr);
        gst_bin_add(GST_BIN(decode->Pipeline), first);
        gst_element_sync_state_with_parent(first);
    }
    GstPad* sinkPad = gst_element_get_static_pad(first, "sink");
    gst_pad_link(pad, sinkPad);
    gst_object_unref(sinkPad);
}

class GstMovieBackend : public MovieBackend {
public:
    bool CanWrite(const std::string& file, std::string* error) override {
        const FileKind* kind = KindOf(file);
        if (!kind) {
            *error = "no video recording is made to " + file;
            return false;
        }
        const char* video = nullptr;
        const char* audio = nullptr;
        return InitGst(error) && CheckKind(*kind, error, &video, &audio);
    }

    std::unique_ptr<MovieEncoder> CreateEncoder(const std::string& file, const MovieFormat& format,
                                                std::string* error) override {
        const FileKind* kind = KindOf(file);
        const char* video = nullptr;
        const char* audio = nullptr;
        if (!kind || !InitGst(error) || !CheckKind(*kind, error, &video, &audio)) {
            if (!kind) {
                *error = "no video recording is made to " + file;
            }
            return nullptr;
        }
        auto encoder = std::make_unique<GstMovieEncoder>();
        if (!encoder->Open(file, format, *kind, video, audio, error)) {
            return nullptr;
        }
        return encoder;
    }

    bool DecodeSound(const std::filesystem::path& file, const MovieFormat& format,
                     std::vector<int16_t>* samples, std::string* error) override {
        samples->clear();
        if (!InitGst(error)) {
            return false;
        }
        GError* uriError = nullptr;
        gchar* uri = gst_filename_to_uri(file.c_str(), &uriError);
        if (!uri) {
            if (uriError) {
                g_error_free(uriError);
            }
            *error = "not a file name";
            return false;
        }
        SoundDecode decode;
        decode.Samples = samples;
        decode.Pipeline = gst_pipeline_new(nullptr);
        decode.Want =
            gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", "layout",
                                G_TYPE_STRING, "interleaved", "rate", G_TYPE_INT, format.SampleRate,
                                "channels", G_TYPE_INT, format.Channels, nullptr);
        GstElement* source = gst_element_factory_make("uridecodebin", nullptr);
        bool ok = source != nullptr;
        if (ok) {
            g_object_set(source, "uri", uri, nullptr);
            gst_bin_add(GST_BIN(decode.Pipeline), source);
            g_signal_connect(source, "pad-added", G_CALLBACK(&DecodePadAdded), &decode);
            ok = gst_element_set_state(decode.Pipeline, GST_STATE_PLAYING) !=
                 GST_STATE_CHANGE_FAILURE;
        }
        GstBus* bus = gst_element_get_bus(decode.Pipeline);
        GstMessage* msg = ok ? gst_bus_timed_pop_filtered(
                                   bus, kDecodeTimeout,
                                   static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR))
                             : gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
        if (!msg) {
            *error = ok ? "decoding took too long" : "cannot decode";
            ok = false;
        } else if (GST_MESSAGE_TYPE(msg) == GST_MESSAGE_ERROR) {
            *error = BusErrorText(msg);
            ok = false;
        }
        if (msg) {
            gst_message_unref(msg);
        }
        gst_object_unref(bus);
        gst_element_set_state(decode.Pipeline, GST_STATE_NULL);
        gst_object_unref(decode.Pipeline);
        gst_caps_unref(decode.Want);
        g_free(uri);
        if (!ok) {
            samples->clear();
        }
        // Whole sample frames only.
        samples->resize(samples->size() - samples->size() % static_cast<size_t>(format.Channels));
        return ok;
    }
};

} // namespace

std::unique_ptr<MovieBackend> CreateGstMovieBackend() {
    return std::make_unique<GstMovieBackend>();
}

} // namespace qv
