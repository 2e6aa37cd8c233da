#include "platform/gst/gst_media.h"

#include <algorithm>
#include <atomic>
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <limits>
#include <mutex>
#include <string>

namespace qv {
namespace {

// How long opening and an exact seek may take before the device counts as not ready.
constexpr GstClockTime kPrerollTimeout = 10 * GST_SECOND;
// How long a frame without a time span of its own is shown before the next seek.
constexpr GstClockTime kShortFrameSpan = 10 * GST_MSECOND;

bool EnsureGstInit() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] {
        GError* error = nullptr;
        ok = gst_init_check(nullptr, nullptr, &error);
        if (error) {
            g_error_free(error);
        }
    });
    return ok;
}

// The MCI error for the first error message on the bus.
MCIERROR BusError(GstElement* pipeline) {
    GstBus* bus = gst_element_get_bus(pipeline);
    MCIERROR result = MCIERR_INVALID_FILE;
    while (GstMessage* msg = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
        GError* error = nullptr;
        gst_message_parse_error(msg, &error, nullptr);
        if (error) {
            // A missing plugin or a stream nothing can decode: no device plays this file.
            const bool noDevice =
                (error->domain == GST_CORE_ERROR && error->code == GST_CORE_ERROR_MISSING_PLUGIN) ||
                (error->domain == GST_STREAM_ERROR &&
                 (error->code == GST_STREAM_ERROR_CODEC_NOT_FOUND ||
                  error->code == GST_STREAM_ERROR_TYPE_NOT_FOUND ||
                  error->code == GST_STREAM_ERROR_WRONG_TYPE));
            if (noDevice) {
                result = MCIERR_EXTENSION_NOT_FOUND;
            } else if (error->domain == GST_RESOURCE_ERROR) {
                result = MCIERR_HARDWARE;
            }
            g_error_free(error);
        }
        gst_message_unref(msg);
        break;
    }
    gst_object_unref(bus);
    return result;
}

// A sink that takes sound and throws it away, in step with the pipeline clock or not.
GstElement* NullSink(bool sync) {
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "sync", sync ? TRUE : FALSE, nullptr);
    return sink;
}

// The machine's sound output, or a clocked null sink when there is none.
GstElement* AudioOutput() {
    GstElement* sink = gst_element_factory_make("autoaudiosink", nullptr);
    if (sink && gst_element_set_state(sink, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE) {
        gst_element_set_state(sink, GST_STATE_NULL);
        return sink;
    }
    if (sink) {
        gst_element_set_state(sink, GST_STATE_NULL);
        gst_object_unref(sink);
    }
    return NullSink(true);
}

void LinkToNullSink(GstElement* /*source*/, GstPad* pad, gpointer pipeline) {
    GstElement* sink = NullSink(false);
    gst_bin_add(GST_BIN(pipeline), sink);
    gst_element_sync_state_with_parent(sink);
    GstPad* sinkPad = gst_element_get_static_pad(sink, "sink");
    gst_pad_link(pad, sinkPad);
    gst_object_unref(sinkPad);
}

// The length of a file whose container does not tell it (a raw MP3 stream, say): the
// position where a decoding pass as fast as it can go ends. 0 when it cannot be had.
gint64 MeasureLength(const gchar* uri) {
    GstElement* pipeline = gst_pipeline_new(nullptr);
    GstElement* source = gst_element_factory_make("uridecodebin", nullptr);
    g_object_set(source, "uri", uri, nullptr);
    gst_bin_add(GST_BIN(pipeline), source);
    g_signal_connect(source, "pad-added", G_CALLBACK(&LinkToNullSink), pipeline);
    gint64 length = 0;
    if (gst_element_set_state(pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE) {
        GstBus* bus = gst_element_get_bus(pipeline);
        GstMessage* msg = gst_bus_timed_pop_filtered(
            bus, 30 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        if (msg && GST_MESSAGE_TYPE(msg) == GST_MESSAGE_EOS) {
            gst_element_query_position(pipeline, GST_FORMAT_TIME, &length);
        }
        if (msg) {
            gst_message_unref(msg);
        }
        gst_object_unref(bus);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return length;
}

class GstElementMedia : public MediaElement {
public:
    explicit GstElementMedia(GstMediaOutput output) : m_output(output) {}

    ~GstElementMedia() override {
        ReleaseFrame();
        if (m_pipeline) {
            gst_element_set_state(m_pipeline, GST_STATE_NULL);
            gst_object_unref(m_pipeline);
        }
    }

    MCIERROR Open(const std::filesystem::path& file) {
        if (!EnsureGstInit()) {
            return MCIERR_CANNOT_LOAD_DRIVER;
        }
        GError* uriError = nullptr;
        gchar* uri = gst_filename_to_uri(file.c_str(), &uriError);
        if (!uri) {
            if (uriError) {
                g_error_free(uriError);
            }
            return MCIERR_FILE_NOT_FOUND;
        }
        m_pipeline = gst_pipeline_new(nullptr);
        GstElement* source = gst_element_factory_make("uridecodebin", nullptr);
        if (!m_pipeline || !source) {
            g_free(uri);
            return MCIERR_CANNOT_LOAD_DRIVER;
        }
        g_object_set(source, "uri", uri, nullptr);
        m_uri = uri;
        g_free(uri);
        gst_bin_add(GST_BIN(m_pipeline), source);
        g_signal_connect(source, "pad-added", G_CALLBACK(&GstElementMedia::PadAdded), this);

        const GstStateChangeReturn change = gst_element_set_state(m_pipeline, GST_STATE_PAUSED);
        GstState state = GST_STATE_NULL;
        const GstStateChangeReturn settled =
            change == GST_STATE_CHANGE_FAILURE
                ? change
                : gst_element_get_state(m_pipeline, &state, nullptr, kPrerollTimeout);
        if (settled == GST_STATE_CHANGE_FAILURE) {
            return BusError(m_pipeline);
        }
        if (settled != GST_STATE_CHANGE_SUCCESS || state != GST_STATE_PAUSED) {
            return MCIERR_HARDWARE;
        }
        if (!m_linked.load()) {
            return MCIERR_EXTENSION_NOT_FOUND;
        }
        gint64 duration = 0;
        if (!gst_element_query_duration(m_pipeline, GST_FORMAT_TIME, &duration) || duration <= 0) {
            duration = MeasureLength(m_uri.c_str());
        }
        if (duration <= 0) {
            return MCIERR_INVALID_FILE;
        }
        m_lengthMs = static_cast<uint32_t>(
            std::min<gint64>(duration / GST_MSECOND, std::numeric_limits<int32_t>::max()));
        if (m_sink.load()) {
            GstPad* pad = gst_element_get_static_pad(m_sink.load(), "sink");
            GstCaps* caps = gst_pad_get_current_caps(pad);
            if (caps) {
                const GstStructure* s = gst_caps_get_structure(caps, 0);
                gst_structure_get_int(s, "width", &m_size.Width);
                gst_structure_get_int(s, "height", &m_size.Height);
                gst_caps_unref(caps);
            }
            gst_object_unref(pad);
            if (m_size.Width <= 0 || m_size.Height <= 0) {
                return MCIERR_INVALID_FILE;
            }
        }
        // Nothing reads the pipeline's messages from here on (errors show in what the
        // seeks and state changes return), and every seek posts a few: unread, they would
        // pile up for as long as the video plays, a replay of a looping clip at a time.
        GstBus* bus = gst_element_get_bus(m_pipeline);
        gst_bus_set_flushing(bus, TRUE);
        gst_object_unref(bus);
        return 0;
    }

    bool HasVideo() const override { return m_sink.load() != nullptr; }
    Size NaturalSize() const override { return m_size; }
    uint32_t LengthMs() const override { return m_lengthMs; }

    void Started(uint32_t positionMs) override {
        if (m_output != GstMediaOutput::Speakers) {
            return;
        }
        gst_element_seek_simple(
            m_pipeline, GST_FORMAT_TIME,
            static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
            static_cast<gint64>(positionMs) * GST_MSECOND);
        gst_element_set_state(m_pipeline, GST_STATE_PLAYING);
    }

    void Stopped(uint32_t /*positionMs*/) override {
        if (m_output == GstMediaOutput::Speakers) {
            gst_element_set_state(m_pipeline, GST_STATE_PAUSED);
        }
    }

    const MediaFrame* FrameAt(uint32_t positionMs) override {
        GstElement* sink = m_sink.load();
        if (!sink) {
            return nullptr;
        }
        if (m_output == GstMediaOutput::Speakers) {
            return LatestFrame(GST_APP_SINK(sink));
        }
        const GstClockTime at = static_cast<GstClockTime>(positionMs) * GST_MSECOND;
        if (m_sample && at >= m_frameStart && at < m_frameEnd) {
            return &m_frame;
        }
        // A pipeline that stopped answering, or a position where the video has already
        // ended (its sound may run longer): the last frame stays, without seeking again.
        if (m_broken || at >= m_videoEnd) {
            return m_sample ? &m_frame : nullptr;
        }
        // The pipeline stays paused: an exact seek prerolls the frame shown at that time.
        if (!gst_element_seek_simple(
                m_pipeline, GST_FORMAT_TIME,
                static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                static_cast<gint64>(at)) ||
            gst_element_get_state(m_pipeline, nullptr, nullptr, kPrerollTimeout) !=
                GST_STATE_CHANGE_SUCCESS) {
            m_broken = true;
            return m_sample ? &m_frame : nullptr;
        }
        GstSample* sample = gst_app_sink_try_pull_preroll(GST_APP_SINK(sink), kPrerollTimeout);
        if (!sample) {
            m_videoEnd = at;
            return m_sample ? &m_frame : nullptr;
        }
        TakeSample(sample);
        if (!(at >= m_frameStart && at < m_frameEnd)) {
            // A frame without a usable time span stands for a short while from here.
            m_frameStart = at;
            m_frameEnd = at + kShortFrameSpan;
        }
        return m_frame.Pixels ? &m_frame : nullptr;
    }

private:
    static void PadAdded(GstElement* /*source*/, GstPad* pad, gpointer data) {
        static_cast<GstElementMedia*>(data)->Link(pad);
    }

    // Runs on a streaming thread: gives each decoded stream its branch.
    void Link(GstPad* pad) {
        GstCaps* caps = gst_pad_get_current_caps(pad);
        if (!caps) {
            caps = gst_pad_query_caps(pad, nullptr);
        }
        const std::string kind = gst_structure_get_name(gst_caps_get_structure(caps, 0));
        gst_caps_unref(caps);
        GstElement* first = nullptr;
        if (kind.rfind("video/", 0) == 0 && m_sink.load() == nullptr) {
            GstElement* convert = gst_element_factory_make("videoconvert", nullptr);
            GstElement* sink = gst_element_factory_make("appsink", nullptr);
            GstCaps* want = gst_caps_from_string("video/x-raw,format=BGRx");
            g_object_set(sink, "caps", want, "max-buffers", 1u, nullptr);
            gst_caps_unref(want);
            if (m_output == GstMediaOutput::Speakers) {
                g_object_set(sink, "sync", TRUE, "drop", TRUE, nullptr);
            }
            gst_bin_add_many(GST_BIN(m_pipeline), convert, sink, nullptr);
            gst_element_link(convert, sink);
            gst_element_sync_state_with_parent(sink);
            gst_element_sync_state_with_parent(convert);
            first = convert;
            m_sink.store(sink);
        } else if (kind.rfind("audio/", 0) == 0 && m_output == GstMediaOutput::Speakers &&
                   !m_audio.exchange(true)) {
            GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
            GstElement* resample = gst_element_factory_make("audioresample", nullptr);
            GstElement* sink = AudioOutput();
            gst_bin_add_many(GST_BIN(m_pipeline), convert, resample, sink, nullptr);
            gst_element_link_many(convert, resample, sink, nullptr);
            gst_element_sync_state_with_parent(sink);
            gst_element_sync_state_with_parent(resample);
            gst_element_sync_state_with_parent(convert);
            first = convert;
        } else {
            // Sound that nobody hears, and streams the devices do not show.
            first = NullSink(false);
            gst_bin_add(GST_BIN(m_pipeline), first);
            gst_element_sync_state_with_parent(first);
        }
        GstPad* sinkPad = gst_element_get_static_pad(first, "sink");
        if (gst_pad_link(pad, sinkPad) == GST_PAD_LINK_OK &&
            (kind.rfind("video/", 0) == 0 || kind.rfind("audio/", 0) == 0)) {
            m_linked.store(true);
        }
        gst_object_unref(sinkPad);
    }

    const MediaFrame* LatestFrame(GstAppSink* sink) {
        GstSample* latest = nullptr;
        while (GstSample* sample = gst_app_sink_try_pull_sample(sink, 0)) {
            if (latest) {
                gst_sample_unref(latest);
            }
            latest = sample;
        }
        if (!latest && !m_sample) {
            latest = gst_app_sink_try_pull_preroll(sink, 0);
        }
        if (latest) {
            TakeSample(latest);
        }
        return m_frame.Pixels ? &m_frame : nullptr;
    }

    void TakeSample(GstSample* sample) {
        ReleaseFrame();
        m_sample = sample;
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        if (!buffer || !gst_buffer_map(buffer, &m_map, GST_MAP_READ)) {
            return;
        }
        m_mapped = buffer;
        const size_t needed = static_cast<size_t>(m_size.Width) * 4 * m_size.Height;
        if (m_map.size < needed) {
            return;
        }
        m_frameStart = GST_BUFFER_PTS_IS_VALID(buffer) ? GST_BUFFER_PTS(buffer) : 0;
        m_frameEnd = GST_BUFFER_DURATION_IS_VALID(buffer)
                         ? m_frameStart + GST_BUFFER_DURATION(buffer)
                         : m_frameStart + 1;
        m_frame.Pixels = m_map.data;
        m_frame.Width = m_size.Width;
        m_frame.Height = m_size.Height;
        m_frame.Stride = m_size.Width * 4;
        m_frame.Serial = static_cast<int64_t>(m_frameStart);
    }

    void ReleaseFrame() {
        if (m_mapped) {
            gst_buffer_unmap(m_mapped, &m_map);
            m_mapped = nullptr;
        }
        if (m_sample) {
            gst_sample_unref(m_sample);
            m_sample = nullptr;
        }
        m_frame.Pixels = nullptr;
        m_frameStart = 0;
        m_frameEnd = 0;
    }

    GstMediaOutput m_output;
    std::string m_uri;
    GstElement* m_pipeline = nullptr;
    std::atomic<GstElement*> m_sink{nullptr};
    std::atomic<bool> m_audio{false};
    std::atomic<bool> m_linked{false};
    Size m_size;
    uint32_t m_lengthMs = 0;
    GstSample* m_sample = nullptr;
    GstBuffer* m_mapped = nullptr;
    GstMapInfo m_map{};
    GstClockTime m_frameStart = 0;
    GstClockTime m_frameEnd = 0;
    // Where the video stream ends (no frame comes after it), once seen.
    GstClockTime m_videoEnd = GST_CLOCK_TIME_NONE;
    bool m_broken = false;
    MediaFrame m_frame;
};

class GstMediaBackend : public MediaBackend {
public:
    explicit GstMediaBackend(GstMediaOutput output) : m_output(output) {}

    std::string_view Name() const override { return "gstreamer"; }

    std::unique_ptr<MediaElement> Open(const std::filesystem::path& file,
                                       MCIERROR* error) override {
        auto element = std::make_unique<GstElementMedia>(m_output);
        *error = element->Open(file);
        if (*error != 0) {
            return nullptr;
        }
        return element;
    }

private:
    GstMediaOutput m_output;
};

} // namespace

// GCC says it builds with AddressSanitizer by __SANITIZE_ADDRESS__, clang by __has_feature.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QV_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(QV_ADDRESS_SANITIZER)
// GStreamer and GLib keep allocations for the life of the process (type system, thread
// pools), and so does libdbus for the session-bus connection that Qt opens on the window
// host; the leak checker of sanitizer builds is told not to report them. A program has one
// such list, and every program with a window host links this file.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libglib-2.0.so\nleak:libgobject-2.0.so\nleak:libgstreamer-1.0.so\n"
           "leak:libdbus-1.so\n";
}
// Those suppressions are expected on every run, so their use is not listed on standard
// error: a run that ends well writes nothing there.
extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0";
}
#endif

std::unique_ptr<MediaBackend> CreateGstMediaBackend(GstMediaOutput output) {
    return std::make_unique<GstMediaBackend>(output);
}

} // namespace qv
