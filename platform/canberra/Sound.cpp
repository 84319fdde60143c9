// Tone and WAV playback through libcanberra. libcanberra plays files, not
// sample buffers, so the tone is synthesised into a temporary WAV file first.
// Every failure is silent: a missing sound server or device means no sound,
// never a message (set ZB_DEBUG to see canberra's reasons on stderr).
//
// libcanberra is not linked: it is loaded (with the sound server's client
// libraries it pulls in) on the sound thread when the first sound is to
// play, so the window never waits for it and a notification without sound
// never loads it.
//
// All canberra calls run on one sound thread of their own. Reaching a sound
// server that accepts the connection but never answers takes libcanberra
// half a minute; on the window's thread that would freeze the notification
// for as long. The WAV file is handed to the sound thread and Tone waits for
// its tone only a bounded time.
#include "platform/canberra/Sound.h"

#include <canberra.h>
#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <numbers>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/Platform.h"
#include "platform/posix/FileIo.h"
#include "platform/posix/Process.h"

namespace zb::canberra {

namespace {

// The frequencies the classic speaker tone accepts.
constexpr std::int32_t kMinHertz = 37;
constexpr std::int32_t kMaxHertz = 32767;

constexpr int kToneRate = 48000;
constexpr double kToneAmplitude = 0.5 * 32767;
// Raised-cosine fade at both ends, so the tone starts and stops without a click.
constexpr int kFadeMilliseconds = 5;
// libcanberra refuses WAV files of 64 MiB or more; ten minutes (55 MiB) fit.
constexpr int kMaxToneMilliseconds = 10 * 60 * 1000;
// How long after its stream has started Tone waits beyond the tone's own
// length for the report of its end. A sound server reports the end only when
// its whole buffer has been played out, which may be two seconds later; the
// tone is not stopped then, it plays out while the notification goes on.
constexpr auto kToneTail = std::chrono::milliseconds(40);
// How much longer than the tone the caller of Tone waits for the sound
// thread, which may first have to reach the sound server (kToneTail included).
constexpr auto kToneCallerGrace = std::chrono::seconds(5);
// How long the end of the program waits for the sound thread to stop.
constexpr auto kStopWait = std::chrono::seconds(1);

// Ids of our own playbacks; the tones count up from kFirstToneId.
constexpr std::uint32_t kWavId = 1;
constexpr std::uint32_t kFirstToneId = 2;

// Alert events tried in turn when a WAV file cannot be played, for sound
// themes that lack the first.
constexpr const char* kAlertEvents[] = {"bell", "dialog-warning", "message"};

// libcanberra's driver for the sound server; the others (ALSA among them)
// are tried only when it cannot play.
constexpr const char* kServerDriver = "pulse";

bool DebugEnabled() {
    static const bool enabled = std::getenv("ZB_DEBUG") != nullptr;
    return enabled;
}

void Debug(const std::string& what, const std::string& subject, const char* reason) {
    if (DebugEnabled())
        posix::PrintErrorLine("sound: " + what + " " + subject + ": " + reason);
}

// Looks up the function `name` of a loaded library; false when it is missing.
template <typename Function>
bool Find(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(::dlsym(library, name));
    return function != nullptr;
}

// The libcanberra functions the sound uses, from the library loaded at run
// time. The library stays loaded for the rest of the process: its driver
// threads may outlive a context.
struct Canberra {
    decltype(&::ca_context_create) context_create = nullptr;
    decltype(&::ca_context_set_driver) context_set_driver = nullptr;
    decltype(&::ca_context_change_props) context_change_props = nullptr;
    decltype(&::ca_context_open) context_open = nullptr;
    decltype(&::ca_context_destroy) context_destroy = nullptr;
    decltype(&::ca_context_play_full) context_play_full = nullptr;
    decltype(&::ca_proplist_create) proplist_create = nullptr;
    decltype(&::ca_proplist_destroy) proplist_destroy = nullptr;
    decltype(&::ca_proplist_sets) proplist_sets = nullptr;
    decltype(&::ca_strerror) strerror = nullptr;

    // Loads libcanberra; false when it or one of its functions is missing.
    bool Load() {
        void* library = ::dlopen("libcanberra.so.0", RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            Debug("load", "libcanberra.so.0", ::dlerror());
            return false;
        }
        return Find(library, "ca_context_create", context_create) &&
               Find(library, "ca_context_set_driver", context_set_driver) &&
               Find(library, "ca_context_change_props", context_change_props) &&
               Find(library, "ca_context_open", context_open) &&
               Find(library, "ca_context_destroy", context_destroy) &&
               Find(library, "ca_context_play_full", context_play_full) &&
               Find(library, "ca_proplist_create", proplist_create) &&
               Find(library, "ca_proplist_destroy", proplist_destroy) &&
               Find(library, "ca_proplist_sets", proplist_sets) &&
               Find(library, "ca_strerror", strerror);
    }
};

void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

// ALSA prints its own complaints to stderr whenever no device can be opened,
// which is the normal case without a sound server. libcanberra's ALSA driver
// uses the process's one copy of libasound, so a quiet handler set here
// silences it too. The library stays loaded for that driver.
void QuietAlsa() {
    if (DebugEnabled()) {
        return;
    }
    void* alsa = ::dlopen("libasound.so.2", RTLD_LAZY | RTLD_LOCAL);
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    int (*setHandler)(Handler) = nullptr;
    if (alsa != nullptr && Find(alsa, "snd_lib_error_set_handler", setHandler)) {
        setHandler(&IgnoreAlsaError);
    }
}

void PutLe16(std::string& out, std::uint16_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

void PutLe32(std::string& out, std::uint32_t value) {
    PutLe16(out, static_cast<std::uint16_t>(value & 0xFFFF));
    PutLe16(out, static_cast<std::uint16_t>(value >> 16));
}

// The 44-byte header of a mono 16-bit PCM WAV file with `dataBytes` of samples.
std::string WavHeader(std::uint32_t rate, std::uint32_t dataBytes) {
    std::string header;
    header.append("RIFF");
    PutLe32(header, 36 + dataBytes);
    header.append("WAVEfmt ");
    PutLe32(header, 16);        // fmt chunk size
    PutLe16(header, 1);         // PCM
    PutLe16(header, 1);         // mono
    PutLe32(header, rate);      // frames per second
    PutLe32(header, rate * 2);  // bytes per second
    PutLe16(header, 2);         // bytes per frame
    PutLe16(header, 16);        // bits per sample
    header.append("data");
    PutLe32(header, dataBytes);
    return header;
}

// Writes the complete WAV file of a sine tone to `fd`. A frequency at or above
// half the sample rate cannot be represented and becomes silence of the same
// length, as inaudible as the tone would be.
bool WriteToneWav(int fd, std::int32_t hertz, int milliseconds) {
    const std::int64_t frames = std::int64_t{kToneRate} * milliseconds / 1000;
    const std::int64_t fade =
        std::min<std::int64_t>(kToneRate * kFadeMilliseconds / 1000, frames / 2);
    const bool audible = hertz < kToneRate / 2;
    const double step = 2 * std::numbers::pi * hertz / kToneRate;

    std::string header = WavHeader(kToneRate, static_cast<std::uint32_t>(frames * 2));
    if (!posix::WriteAll(fd, header)) {
        return false;
    }
    std::vector<char> chunk;
    chunk.reserve(8192);
    for (std::int64_t i = 0; i < frames; ++i) {
        double value = 0;
        if (audible) {
            value = kToneAmplitude * std::sin(step * static_cast<double>(i));
            std::int64_t edge = std::min(i, frames - 1 - i);
            if (edge < fade) {
                value *= 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(edge) /
                                              static_cast<double>(fade));
            }
        }
        auto sample = static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(value)));
        chunk.push_back(static_cast<char>(sample & 0xFF));
        chunk.push_back(static_cast<char>(sample >> 8));
        if (chunk.size() >= 8192 || i + 1 == frames) {
            if (!posix::WriteAll(fd, std::string_view(chunk.data(), chunk.size()))) {
                return false;
            }
            chunk.clear();
        }
    }
    return true;
}

// Creates the tone's temporary file in the user's runtime directory, else in
// the temporary directory; its path stays empty when no folder takes it.
void CreateToneFile(posix::TempFile& file) {
    for (const char* variable : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        const char* dir = std::getenv(variable);
        if (dir != nullptr && *dir != '\0' &&
            file.Create(std::string(dir) + "/zettelblick-tone-XXXXXX")) {
            return;
        }
    }
    file.Create("/tmp/zettelblick-tone-XXXXXX");
}

// Holds a canberra property list for one play call.
class Props {
public:
    explicit Props(const Canberra& ca) : ca_(ca) { ca_.proplist_create(&list_); }
    ~Props() {
        if (list_ != nullptr) {
            ca_.proplist_destroy(list_);
        }
    }
    Props(const Props&) = delete;
    Props& operator=(const Props&) = delete;

    Props& Set(const char* key, const std::string& value) {
        if (list_ != nullptr) {
            ca_.proplist_sets(list_, key, value.c_str());
        }
        return *this;
    }
    ca_proplist* get() const { return list_; }

private:
    const Canberra& ca_;
    ca_proplist* list_ = nullptr;
};

}  // namespace

struct Sound::Impl {
    // Loaded with the first sound; `loaded` tells whether that succeeded.
    Canberra ca;
    std::optional<bool> loaded;
    // Created on first use; a context that could not be opened is dropped, so
    // the next sound tries again (the sound server may have started since).
    ca_context* context = nullptr;

    // The tone being waited for, and whether canberra has reported its end
    // (from canberra's thread).
    std::mutex mutex;
    std::condition_variable ended;
    std::uint32_t waitingFor = 0;
    bool toneEnded = false;
    std::uint32_t nextToneId = kFirstToneId;

    // The sound thread's queue. `stopping` ends the thread; `stopped` is set
    // by the thread when it has let go of canberra.
    std::mutex jobMutex;
    std::condition_variable jobChanged;
    std::deque<std::function<void()>> jobs;
    bool stopping = false;
    bool stopped = false;

    ~Impl() { CloseContext(); }

    // Stops what is still playing; canberra reports the end of any tone to
    // OnFinished before this returns, while the Impl still exists.
    void CloseContext() {
        if (context != nullptr) {
            ca.context_destroy(context);
            context = nullptr;
        }
    }

    // The sound thread: runs the jobs in order until told to stop.
    void RunJobs() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock<std::mutex> lock(jobMutex);
                jobChanged.wait(lock, [&] { return stopping || !jobs.empty(); });
                if (stopping) {
                    break;
                }
                job = std::move(jobs.front());
                jobs.pop_front();
            }
            job();
        }
        CloseContext();
        {
            std::lock_guard<std::mutex> lock(jobMutex);
            stopped = true;
        }
        jobChanged.notify_all();
    }

    void Post(std::function<void()> job) {
        {
            std::lock_guard<std::mutex> lock(jobMutex);
            jobs.push_back(std::move(job));
        }
        jobChanged.notify_all();
    }

    void ToneNow(std::int32_t hertz, int milliseconds, const bool& abandoned) {
        ca_context* c = Context();
        {
            // The caller stopped waiting while the server was being reached:
            // a tone now would come too late and out of order.
            std::lock_guard<std::mutex> lock(jobMutex);
            if (c == nullptr || abandoned) {
                return;
            }
        }
        posix::TempFile file;
        CreateToneFile(file);
        if (file.path().empty()) {
            Debug("create", "temporary tone file", std::strerror(errno));
            return;
        }
        bool written = WriteToneWav(file.fd(), hertz, milliseconds);
        if (!file.Close() || !written) {
            Debug("write", file.path(), std::strerror(errno));
            return;
        }
        // canberra holds the file open while it plays, so it may be removed
        // once the wait is over, even if the tone is still playing.
        PlayAndWait(c, file.path(), milliseconds);
    }

    void StartWavNow(const std::string& path) {
        ca_context* c = Context();
        if (c == nullptr) {
            return;
        }
        // Only a regular file is handed to canberra: opening a FIFO would block,
        // and a directory or a wildcard pattern is no sound anyway.
        if (posix::IsRegularFile(path)) {
            int error = PlayFile(c, path);
            if (error == CA_SUCCESS) {
                return;
            }
            Debug("play", path, ca.strerror(error));
        }
        for (const char* event : kAlertEvents) {
            int error = PlayEvent(c, event);
            if (error != CA_ERROR_NOTFOUND) {
                if (error != CA_SUCCESS) {
                    Debug("play event", event, ca.strerror(error));
                }
                return;
            }
        }
    }

    ca_context* Context() {
        if (context != nullptr) {
            return context;
        }
        if (!loaded) {
            loaded = ca.Load();
        }
        if (!*loaded) {
            return nullptr;
        }
        // The sound server first; ALSA's own complaints are silenced only
        // when libcanberra has to turn to its other drivers.
        context = OpenContext(kServerDriver);
        if (context == nullptr) {
            static std::once_flag quiet;
            std::call_once(quiet, QuietAlsa);
            context = OpenContext(nullptr);
        }
        return context;
    }

    // A context on libcanberra's `driver`, or on the first of its drivers
    // that opens when `driver` is null; null when none does.
    ca_context* OpenContext(const char* driver) {
        ca_context* created = nullptr;
        int error = ca.context_create(&created);
        if (error != CA_SUCCESS) {
            Debug("create", "context", ca.strerror(error));
            return nullptr;
        }
        ca.context_change_props(created, CA_PROP_APPLICATION_NAME, kAppTitle,
                                CA_PROP_APPLICATION_ID, kProgramName, nullptr);
        if (driver != nullptr) {
            error = ca.context_set_driver(created, driver);
        }
        if (error == CA_SUCCESS) {
            error = ca.context_open(created);
        }
        if (error != CA_SUCCESS) {
            Debug("open", driver != nullptr ? driver : "context", ca.strerror(error));
            ca.context_destroy(created);
            return nullptr;
        }
        return created;
    }

    // Called on canberra's own thread (or inside cancel/destroy) when a tone
    // has ended, for whatever reason.
    static void OnFinished(ca_context*, std::uint32_t id, int, void* userdata) {
        auto* impl = static_cast<Impl*>(userdata);
        {
            std::lock_guard<std::mutex> lock(impl->mutex);
            if (id != impl->waitingFor) {
                return;
            }
            impl->toneEnded = true;
        }
        impl->ended.notify_all();
    }

    // Plays the tone file and waits for its end, or for the tone's length and
    // kToneTail after its stream has started when the end is reported later.
    void PlayAndWait(ca_context* c, const std::string& file, int milliseconds) {
        std::uint32_t id;
        {
            std::lock_guard<std::mutex> lock(mutex);
            id = nextToneId++;
            waitingFor = id;
            toneEnded = false;
        }
        Props props(ca);
        props.Set(CA_PROP_MEDIA_FILENAME, file)
            .Set(CA_PROP_MEDIA_ROLE, "event")
            .Set(CA_PROP_EVENT_DESCRIPTION, "Tone")
            .Set(CA_PROP_CANBERRA_CACHE_CONTROL, "never");
        // Returns once the stream is set up on the server, which then plays
        // the file from its start.
        int error = ca.context_play_full(c, id, props.get(), &Impl::OnFinished, this);
        std::unique_lock<std::mutex> lock(mutex);
        if (error != CA_SUCCESS) {
            Debug("play", file, ca.strerror(error));
        } else {
            ended.wait_for(lock, std::chrono::milliseconds(milliseconds) + kToneTail,
                           [&] { return toneEnded; });
        }
        waitingFor = 0;
    }

    int PlayFile(ca_context* c, const std::string& path) {
        Props props(ca);
        props.Set(CA_PROP_MEDIA_FILENAME, path)
            .Set(CA_PROP_MEDIA_ROLE, "event")
            .Set(CA_PROP_EVENT_DESCRIPTION, "Notification sound")
            .Set(CA_PROP_CANBERRA_CACHE_CONTROL, "never");
        return ca.context_play_full(c, kWavId, props.get(), nullptr, nullptr);
    }

    int PlayEvent(ca_context* c, const char* event) {
        Props props(ca);
        props.Set(CA_PROP_EVENT_ID, event)
            .Set(CA_PROP_MEDIA_ROLE, "event")
            .Set(CA_PROP_EVENT_DESCRIPTION, "Alert");
        return ca.context_play_full(c, kWavId, props.get(), nullptr, nullptr);
    }
};

Sound::Sound() : impl_(std::make_shared<Impl>()) {
    // The sound thread, and the threads canberra starts from it, inherit a
    // mask that blocks the asynchronous signals: termination requests and
    // ended child programs are handled on the window's thread alone.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    for (int synchronous : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT}) {
        sigdelset(&all, synchronous);
    }
    ::pthread_sigmask(SIG_BLOCK, &all, &previous);
    try {
        // The thread shares the Impl: if it is still stuck in canberra when
        // the program ends, what it uses stays valid.
        thread_ = std::thread([impl = impl_] { impl->RunJobs(); });
    } catch (const std::system_error& e) {
        if (DebugEnabled()) {
            posix::PrintErrorLine(std::string("sound: no sound thread: ") + e.what());
        }
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

Sound::~Sound() {
    if (!thread_.joinable()) {
        return;
    }
    bool stopped;
    {
        std::unique_lock<std::mutex> lock(impl_->jobMutex);
        impl_->stopping = true;
        impl_->jobs.clear();
        impl_->jobChanged.notify_all();
        stopped = impl_->jobChanged.wait_for(lock, kStopWait, [&] { return impl_->stopped; });
    }
    if (stopped) {
        thread_.join();
    } else {
        // Still waiting for a sound server that does not answer: the
        // program ends without it.
        thread_.detach();
    }
}

void Sound::Tone(std::int32_t hertz, int milliseconds) {
    if (hertz < kMinHertz || hertz > kMaxHertz || milliseconds <= 0 || !thread_.joinable()) {
        return;
    }
    milliseconds = std::min(milliseconds, kMaxToneMilliseconds);
    // Shared with the job, which may outlive this call.
    struct Progress {
        bool done = false;
        bool abandoned = false;
    };
    auto progress = std::make_shared<Progress>();
    Impl* impl = impl_.get();
    impl->Post([impl, progress, hertz, milliseconds] {
        impl->ToneNow(hertz, milliseconds, progress->abandoned);
        {
            std::lock_guard<std::mutex> lock(impl->jobMutex);
            progress->done = true;
        }
        impl->jobChanged.notify_all();
    });
    std::unique_lock<std::mutex> lock(impl->jobMutex);
    const auto limit = std::chrono::milliseconds(milliseconds) + kToneCallerGrace;
    if (!impl->jobChanged.wait_for(lock, limit, [&] { return progress->done; })) {
        progress->abandoned = true;
    }
}

void Sound::StartWav(const std::string& path) {
    if (!thread_.joinable()) {
        return;
    }
    Impl* impl = impl_.get();
    impl->Post([impl, path] { impl->StartWavNow(path); });
}

}  // namespace zb::canberra
