#include "platform/fake/FakePlatform.h"

#include <cstdio>

#include "platform/Failure.h"
#include "platform/Profile.h"
#include "platform/Text.h"
#include "platform/Wildcard.h"

namespace zb::fake {
namespace {

std::string Hex(Color color) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%06X", color);
    return buffer;
}

std::string Rect(const PixelRect& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.width) +
           "x" + std::to_string(r.height);
}

std::string::size_type LastSeparator(const std::string& path) {
    return path.find_last_of("\\/");
}

}  // namespace

std::vector<std::string> FakePlatform::CallsStartingWith(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const auto& call : calls) {
        if (call.rfind(prefix, 0) == 0)
            found.push_back(call);
    }
    return found;
}

std::string FakePlatform::CommandLineText() {
    return commandLine;
}

std::string FakePlatform::ExecutableDir() {
    return exeDir;
}

AppFolders FakePlatform::Folders() {
    return folders ? *folders : Platform::Folders();
}

bool FakePlatform::FileExists(const std::string& name) {
    Record("FileExists " + name);
    const auto cut = LastSeparator(name);
    const std::string dir = cut == std::string::npos ? "" : name.substr(0, cut);
    const std::string pattern = cut == std::string::npos ? name : name.substr(cut + 1);
    for (const auto& [path, content] : files) {
        const auto pathCut = LastSeparator(path);
        const std::string pathDir = pathCut == std::string::npos ? "" : path.substr(0, pathCut);
        const std::string file = pathCut == std::string::npos ? path : path.substr(pathCut + 1);
        if (pathDir == dir && WildcardMatch(pattern, file, /*ignoreCase=*/true))
            return true;
    }
    return false;
}

LockResult FakePlatform::TakeLockFile(const std::string& path) {
    Record("TakeLockFile " + path);
    if (unwritable.count(path))
        throw MakeFailure(kErrPathNotFound, path);
    if (files.count(path))
        return leftoverLocks.erase(path) > 0 ? LockResult::TakenOver : LockResult::Held;
    if (directories.count(path))
        return LockResult::Held;
    files[path] = "";
    return LockResult::Created;
}

bool FakePlatform::DeleteOwnFile(const std::string& path) {
    Record("DeleteOwnFile " + path);
    return files.erase(path) > 0;
}

std::uint32_t FakePlatform::ProfileInt(const std::string& section,
                                       const std::string& key,
                                       std::int32_t def,
                                       const std::string& file) {
    auto it = files.find(file);
    std::optional<std::string> content;
    if (it != files.end())
        content = it->second;
    return profile::GetInt(content, section, key, def);
}

std::string FakePlatform::ProfileString(const std::string& section,
                                        const std::string& key,
                                        const std::string& def,
                                        int size,
                                        const std::string& file) {
    auto it = files.find(file);
    std::optional<std::string> content;
    if (it != files.end())
        content = it->second;
    return profile::GetString(content, section, key, def, size);
}

bool FakePlatform::WriteProfileString(const std::string& section,
                                      const std::string& key,
                                      const std::string& value,
                                      const std::string& file) {
    Record("WriteProfileString " + section + " " + key + "=" + value);
    if (unwritable.count(file) || directories.count(file))
        return false;
    auto it = files.find(file);
    std::optional<std::string> content;
    if (it != files.end())
        content = it->second;
    files[file] = profile::WriteString(content, section, key, value);
    return true;
}

std::string FakePlatform::AnsiToUtf8(const std::string& bytes) {
    return Windows1252ToUtf8(bytes);
}

void FakePlatform::CreateMainWindow(WindowEvents& events, const WindowDesign& value) {
    Record("CreateMainWindow");
    events_ = &events;
    design = value;
    windowExists = true;
}

double FakePlatform::MonitorDpi(const PixelRect& outer) {
    for (const DpiMonitor& monitor : dpiMonitors) {
        const PixelRect& m = monitor.area;
        if (outer.left >= m.left && outer.left < m.left + m.width && outer.top >= m.top &&
            outer.top < m.top + m.height)
            return monitor.dpi;
    }
    return dpiY;
}

void FakePlatform::SetWindowFrame(bool toolWindow) {
    Record(std::string("SetWindowFrame ") + (toolWindow ? "tool" : "none"));
}

void FakePlatform::SetWindowRect(const PixelRect& outer) {
    Record("SetWindowRect " + Rect(outer));
}

void FakePlatform::SetWindowBackground(Color color) {
    Record("SetWindowBackground " + Hex(color));
}

void FakePlatform::SetLabel(const LabelSpec& value) {
    Record("SetLabel " + Rect(value.rect));
    label = value;
}

void FakePlatform::SetLabelVisible(bool visible) {
    Record(std::string("SetLabelVisible ") + (visible ? "1" : "0"));
}

void FakePlatform::LoadPicture(const std::string& path) {
    Record("LoadPicture " + path);
    if (badPictures.count(path))
        throw MakeFailure(kErrInvalidPicture, path);
    if (!files.count(path))
        throw MakeFailure(kErrFileNotFound, path);
}

void FakePlatform::SetPicture(const PictureSpec& value) {
    Record("SetPicture " + Rect(value.rect) + (value.border ? " border" : ""));
    picture = value;
}

void FakePlatform::SetPictureVisible(bool visible) {
    Record(std::string("SetPictureVisible ") + (visible ? "1" : "0"));
}

void FakePlatform::ShowWindow() {
    Record("ShowWindow");
    windowVisible = true;
}

void FakePlatform::HideWindow() {
    Record("HideWindow");
    windowVisible = false;
}

void FakePlatform::DestroyWindow() {
    Record("DestroyWindow");
    windowExists = false;
    windowVisible = false;
}

PixelPoint FakePlatform::WindowPosition() {
    return position;
}

int FakePlatform::SetTopMost(bool onTop) {
    Record(std::string("SetTopMost ") + (onTop ? "1" : "0"));
    return 1;
}

bool FakePlatform::TakePlacementLock(int milliseconds) {
    Record("TakePlacementLock " + std::to_string(milliseconds) +
           (placementLockFree ? "" : " timed out"));
    return placementLockFree;
}

void FakePlatform::ReleasePlacementLock() {
    Record("ReleasePlacementLock");
}

void FakePlatform::ClaimPlace(const NotificationPlace& place,
                              PixelPoint placed,
                              const std::string& kind) {
    Record("ClaimPlace " + Rect(place.frame) + " header " + std::to_string(place.header) +
           " placed " + std::to_string(placed.x) + "," + std::to_string(placed.y) + " " + kind);
}

std::vector<std::pair<PixelRect, PixelPoint>> FakePlatform::ReplaceNotifications(
    const std::string& kind) {
    Record("ReplaceNotifications " + kind);
    return replaceable;
}

void FakePlatform::PaintAhead() {
    Record("PaintAhead");
}

bool FakePlatform::UserAcceptsNotifications(const PixelRect& where) {
    const bool accepted = accepts.empty() || accepts.front();
    if (!accepts.empty())
        accepts.pop_front();
    Record("UserAcceptsNotifications " + Rect(where) + (accepted ? " yes" : " no"));
    return accepted;
}

void FakePlatform::WaitForAttentionChange(int milliseconds) {
    Record("WaitForAttentionChange " + std::to_string(milliseconds));
    ++passes;
    RunEvents(passes);
}

std::int64_t FakePlatform::UserIdleMilliseconds() {
    return idle ? idle(passes) : 0;
}

void FakePlatform::Sleep(int milliseconds) {
    ++sleeps;
    if (milliseconds != 20)
        Record("Sleep " + std::to_string(milliseconds));
}

void FakePlatform::RunEvents(int pass) {
    // An event may schedule further events; take the due ones out first.
    std::vector<ScheduledEvent> due;
    for (auto it = events.begin(); it != events.end();) {
        if (it->pass == pass) {
            due.push_back(std::move(*it));
            it = events.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& event : due) {
        if (events_)
            event.action(*events_);
    }
}

void FakePlatform::ProcessPendingEvents() {
    ++passes;
    RunEvents(passes);
}

void FakePlatform::RunUntilClosed() {
    Record("RunUntilClosed");
    RunEvents(0);
}

void FakePlatform::Tone(std::int32_t hertz, int milliseconds) {
    Record("Tone " + std::to_string(hertz) + " " + std::to_string(milliseconds));
}

void FakePlatform::StartWav(const std::string& path) {
    Record("StartWav " + path);
}

void FakePlatform::StartProgram(const std::string& path) {
    Record("StartProgram " + path);
    if (unstartable.count(path))
        throw MakeFailure(kErrPermissionDenied, path);
}

void FakePlatform::ReleaseCaller(int status) {
    Record("ReleaseCaller " + std::to_string(status));
}

void FakePlatform::ShowMessage(const std::string& text) {
    Record("ShowMessage " + text);
    messages.push_back(text);
}

std::string FakePlatform::DateText() {
    Record("DateText");
    return date;
}

std::string FakePlatform::TimeText() {
    Record("TimeText");
    return time;
}

void FakePlatform::ShowFailure(const std::string& text) {
    Record("ShowFailure " + text);
}

void FakePlatform::ExitProcess(int status) {
    Record("ExitProcess " + std::to_string(status));
    throw ProcessExit{status};
}

}  // namespace zb::fake
