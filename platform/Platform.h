// The operations the notifier needs from the operating system, gathered in one
// interface so that the logic builds and runs without any windowing system.
// Backends: fake/ (tests), qt/ (Linux/X11, with posix/ for files and
// processes, canberra/ for the sound and desktop/ for the desktop's
// switches), win32/ (Windows).
//
// Text is UTF-8 throughout. Paths are built by the logic with "\" between
// directory and name; each backend turns them into its own file names.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zb {

// The program's name: of its executable, its folders (~/.config/zettelblick,
// /usr/share/zettelblick) and the start of its lines on standard error.
inline constexpr char kProgramName[] = "zettelblick";
// The title its message boxes and failure reports carry, and its name to the
// sound server.
inline constexpr char kAppTitle[] = "Zettelblick";

// 0x00BBGGRR, lowest byte red.
using Color = std::uint32_t;

enum class Align { Left = 0, Right = 1, Center = 2 };

// A rectangle in device pixels.
struct PixelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

struct PixelPoint {
    int x = 0;
    int y = 0;
};

// Where a notification stands on the screen, or is about to stand: its outer
// frame, and the height of the band at its top (the caption and the
// message's first line) that others leave in sight when they must cover it.
struct NotificationPlace {
    PixelRect frame;
    int header = 0;
};

struct FontSpec {
    std::string name;
    double points = 8;
    // The character height (em) in pixels: the points at the layout's dots
    // per inch.
    int pixels = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
};

// Everything the label needs, applied by the backend in one go.
struct LabelSpec {
    PixelRect rect;
    bool opaque = true;
    bool border = true;
    Color background = 0;
    Align align = Align::Left;
    FontSpec font;
    Color textColor = 0;
    std::string text;
    // The text as a screen reader reads it (the access-key marks taken out).
    std::string spokenText;
};

struct PictureSpec {
    PixelRect rect;
    bool border = false;
    // What a screen reader says for the picture.
    std::string accessibleName;
};

// The window as it is first made, before the settings change it, in pixels:
// its inner area, caption (also what a screen reader says for the window)
// and colour, and the label's and picture box's places and looks.
struct WindowDesign {
    int innerWidth = 0;
    int innerHeight = 0;
    std::string caption;
    Color background = 0;
    LabelSpec label;
    PictureSpec picture;
};

// Where a run keeps and looks for its files, each folder without a trailing
// separator. A portable installation has all of them in the executable's
// directory.
struct AppFolders {
    // The settings file's folder.
    std::string settings;
    // The lock files' folder.
    std::string locks;
    // The folders the picture and the sound are looked for in, in this order;
    // never empty.
    std::vector<std::string> data;
};

// How often a backend tries to take a lock path that keeps naming another
// file (others are creating and deleting it) before it counts as held.
inline constexpr int kLockAttempts = 100;

// How long UserAcceptsNotifications may take in all.
inline constexpr int kAttentionAskMilliseconds = 100;
// UserIdleMilliseconds while the screen is locked: nobody sees it.
inline constexpr std::int64_t kScreenLocked = INT64_MAX;

// What taking an instance lock found at its path.
enum class LockResult {
    Created,    // nothing: the lock file is new, and held by this process
    TakenOver,  // a lock file no running process holds (its owner was killed):
                // now held by this process
    Held,       // a lock that a running process holds, or something that is
                // no lock file of ours (a symbolic link, a folder)
};

// The logic's side of the window: the backend calls these when the user
// clicks the notification or something closes it.
class WindowEvents {
public:
    virtual ~WindowEvents() = default;
    // A click on the inner area, the label or the picture.
    virtual void OnClick() = 0;
    // The close box, or the system asking the window to close.
    virtual void OnCloseRequest() = 0;
    // The window now stands on a monitor with `dpi` dots per inch (moved
    // there, or the monitor's scale changed); `suggested` is the outer frame
    // the system proposes for it.
    virtual void OnDpiChanged(double dpi, const PixelRect& suggested) = 0;
    // The window is gone without a close request (another program destroyed
    // it): the notification ends; where the window stood is not known.
    virtual void OnWindowLost() = 0;
    // A newer notification of the same kind takes this one's place
    // (ReplaceNotifications): it ends without starting its program and
    // without writing its position.
    virtual void OnReplaced() = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // --- process -----------------------------------------------------------
    // The command-line text after the program's own name, as one string.
    virtual std::string CommandLineText() = 0;
    // The executable's directory, without a trailing separator except at a root.
    virtual std::string ExecutableDir() = 0;
    // The folders of this run; by default all of them the executable's
    // directory.
    virtual AppFolders Folders() {
        const std::string dir = ExecutableDir();
        return {dir, dir, {dir}};
    }

    // --- the caller ----------------------------------------------------------
    // Where this run goes on apart from the program that started it (that
    // program waits only for the outcome, not for the notification's end):
    // tells it `status` and lets it go on, while the notification runs on in
    // this process. Only the first call counts; nothing where the caller
    // waits for the whole run. The message boxes and the failure report let
    // the caller go (0, or 1 for a failure) before they wait for the user.
    virtual void ReleaseCaller(int status) = 0;

    // --- files ---------------------------------------------------------------
    // True when a directory search for ordinary files finds `name`.
    virtual bool FileExists(const std::string& name) = 0;
    // Takes the instance lock `path`, an empty file, in one atomic step: the
    // process holds it until it deletes it or ends, however it ends, so a
    // file whose owner was killed is told apart from a live lock. Failures
    // (the file cannot be created) throw Failure.
    virtual LockResult TakeLockFile(const std::string& path) = 0;
    // Deletes a lock file this process holds. Returns false when it is
    // already gone (or was replaced by someone else's file, which is left
    // alone).
    virtual bool DeleteOwnFile(const std::string& path) = 0;

    // --- profile (INI) files -------------------------------------------------
    // Same contracts as the Windows profile functions: the integer read returns
    // the unsigned 32-bit value, the string read the characters copied (at most
    // size - 1), the write its success. A string read of an 8-bit file gives
    // the value's bytes as they are (the logic tells UTF-8 from the ANSI code
    // page); of a Unicode file, its text as UTF-8.
    virtual std::uint32_t ProfileInt(const std::string& section,
                                     const std::string& key,
                                     std::int32_t def,
                                     const std::string& file) = 0;
    virtual std::string ProfileString(const std::string& section,
                                      const std::string& key,
                                      const std::string& def,
                                      int size,
                                      const std::string& file) = 0;
    virtual bool WriteProfileString(const std::string& section,
                                    const std::string& key,
                                    const std::string& value,
                                    const std::string& file) = 0;
    // Writes each (key, value) of `values`, in order, into `section`; a
    // backend that can writes them in one step, so that the file holds all
    // of them or none. By default one WriteProfileString after another.
    // Returns false when a write failed.
    virtual bool WriteProfileStrings(const std::string& section,
                                     const std::vector<std::pair<std::string, std::string>>& values,
                                     const std::string& file) {
        bool written = true;
        for (const auto& [key, value] : values)
            written = WriteProfileString(section, key, value, file) && written;
        return written;
    }
    // Text in the system's 8-bit (ANSI) code page as UTF-8.
    virtual std::string AnsiToUtf8(const std::string& bytes) = 0;

    // --- window --------------------------------------------------------------
    // Creates the one window, hidden, as `design` describes it. `events` must
    // outlive the window.
    virtual void CreateMainWindow(WindowEvents& events, const WindowDesign& design) = 0;
    // The screen's dots per inch: the one fixed resolution that converts
    // window positions.
    virtual double ScreenDpiX() = 0;
    virtual double ScreenDpiY() = 0;
    // The work areas of all monitors (each screen minus panels and task bars), in
    // device pixels; empty when the window system cannot tell.
    virtual std::vector<PixelRect> MonitorWorkAreas() = 0;
    // Dots per inch of the monitor that holds most of `outer` (the nearest
    // one when none does), for the window's sizes and fonts; the screen's
    // where the system has one resolution for all monitors.
    virtual double MonitorDpi(const PixelRect& outer) = 0;
    // true: tool window with caption and close box; false: no frame at all.
    virtual void SetWindowFrame(bool toolWindow) = 0;
    // The outer frame on the screen, caption and border included.
    virtual void SetWindowRect(const PixelRect& outer) = 0;
    virtual void SetWindowBackground(Color color) = 0;
    virtual void SetLabel(const LabelSpec& label) = 0;
    virtual void SetLabelVisible(bool visible) = 0;
    // Loads the picture file into the picture box; throws Failure when the file
    // is missing or is not a picture.
    virtual void LoadPicture(const std::string& path) = 0;
    virtual void SetPicture(const PictureSpec& picture) = 0;
    virtual void SetPictureVisible(bool visible) = 0;
    // Shows the window; returns once it is mapped and painted (not waiting
    // for anything the other notifications need: its claim tells them).
    virtual void ShowWindow() = 0;
    virtual void HideWindow() = 0;
    // Destroys the window; the logic has already run its close-down.
    virtual void DestroyWindow() = 0;
    // Top-left corner of the outer frame, in pixels.
    virtual PixelPoint WindowPosition() = 0;
    // Moves the window into (or out of) the top-most band without moving or
    // resizing it; returns the window system's success value.
    virtual int SetTopMost(bool onTop) = 0;

    // --- several notifications at once ----------------------------------------
    // Takes the short lock, one for every notification of this user, under
    // which a notification chooses its place among the others and claims it;
    // waits at most `milliseconds` while another holds it. False when it was
    // not taken in that time. The system gives it up when the process ends,
    // however it ends.
    virtual bool TakePlacementLock(int milliseconds) = 0;
    // Gives up the lock TakePlacementLock took; nothing when it holds none. A
    // backend that cannot tell the frame the window will get before it is
    // shown keeps the lock until ShowWindow knows it and has claimed it.
    virtual void ReleasePlacementLock() = 0;
    // The places of the other notifications of this program, whatever their
    // settings file: those on the screen (where they stand now) and those
    // that have claimed a place and are not shown yet (where they will
    // stand). Hidden ones are not listed.
    virtual std::vector<NotificationPlace> OtherNotificationPlaces() = 0;
    // Tells the other notifications where this one stands from now until
    // its window is destroyed: `place` (the frame SetWindowRect gave it),
    // `placed`, the place the program gave it (which the user may change
    // later by moving it; a replacement takes it over), and `kind`, which
    // ReplaceNotifications of another notification names. Called before the
    // window is shown, so that a notification starting meanwhile sees the
    // place taken.
    virtual void ClaimPlace(const NotificationPlace& place,
                            PixelPoint placed,
                            const std::string& kind) = 0;
    // Asks every other notification that claimed a place with `kind` to end
    // as replaced (WindowEvents::OnReplaced): shown ones and those about to
    // be. Returns, for each, the frame where it stands now and the place the
    // program gave it (its ClaimPlace). Returns at once: the others close on
    // their own.
    virtual std::vector<std::pair<PixelRect, PixelPoint>> ReplaceNotifications(
        const std::string& kind) = 0;
    // The height of the window's caption bar as its frame is now, in pixels;
    // 0 without a caption.
    virtual int CaptionHeight() = 0;
    // How far below the label's top its first line of text ends, in pixels
    // (its border included), as the label is set now.
    virtual int LabelFirstLineBottom() = 0;
    // Lays the window out and paints it once off the screen, so that showing
    // it costs little more than the map: the fonts are loaded, the picture
    // is scaled. Nothing where showing gains nothing by it.
    virtual void PaintAhead() {}

    // --- the user's attention -------------------------------------------------
    // Whether the user takes notifications now, for a window that would stand
    // at `where`: false while a full-screen window is active on that monitor,
    // the desktop's do-not-disturb is on or the screen is locked. The sources
    // are asked side by side for a bounded time (kAttentionAskMilliseconds);
    // one that is not there, or does not answer in time, counts as accepting.
    // Nothing is started to answer (no service, no message bus).
    virtual bool UserAcceptsNotifications(const PixelRect& where) = 0;
    // Handles the window's events (a close request among them) until the
    // system tells of a change that may turn that answer, or `milliseconds`
    // have passed.
    virtual void WaitForAttentionChange(int milliseconds) = 0;
    // The time since the user's last keyboard or mouse input, in
    // milliseconds; kScreenLocked while the screen is locked; 0 where the
    // system cannot tell.
    virtual std::int64_t UserIdleMilliseconds() = 0;

    // --- event loop ----------------------------------------------------------
    virtual void Sleep(int milliseconds) = 0;
    // Handles every queued event (clicks, close requests) before returning.
    virtual void ProcessPendingEvents() = 0;
    // Runs until the window has been destroyed.
    virtual void RunUntilClosed() = 0;

    // --- sound ---------------------------------------------------------------
    // Returns after the tone; refused values give no tone.
    virtual void Tone(std::int32_t hertz, int milliseconds) = 0;
    // Starts the WAV file and returns at once; an unplayable file gives the
    // desktop's default alert sound.
    virtual void StartWav(const std::string& path) = 0;

    // --- programs and messages -------------------------------------------------
    // Starts `path` as a new process, not waited for; throws Failure when the
    // file cannot be started as a program.
    virtual void StartProgram(const std::string& path) = 0;
    // Modal box captioned kAppTitle with one OK button and no icon; a
    // caller that waits apart goes on (status 0) before it is shown.
    virtual void ShowMessage(const std::string& text) = 0;

    // --- clock -----------------------------------------------------------------
    // The current date in the user's short date format.
    virtual std::string DateText() = 0;
    // The current time in the user's long time format.
    virtual std::string TimeText() = 0;

    // --- unexpected failures ---------------------------------------------------
    // Shows the failure report, captioned kAppTitle; a caller that waits
    // apart is told status 1 once the report has reached it (on Linux, a line
    // on standard error) and before the box waits for the user. The caller
    // of this function ends the process afterwards.
    virtual void ShowFailure(const std::string& text) = 0;
    [[noreturn]] virtual void ExitProcess(int status) = 0;
};

}  // namespace zb
