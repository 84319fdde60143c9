#include "platform/win32/Accessibility.h"

#include <unknwn.h>
#include <wtypes.h>

#include "platform/win32/SystemDll.h"

namespace zb::win32 {
namespace {

// The values of UI Automation's NotificationKind_Other and
// NotificationProcessing_ImportantAll: a notification of its own kind, every
// one of them read at once.
constexpr int kNotificationKindOther = 4;
constexpr int kNotificationProcessingImportantAll = 0;
constexpr wchar_t kActivityId[] = L"Zettelblick.Notification";

// The provider arguments are IRawElementProviderSimple pointers; only
// IUnknown's Release is used on them.
using HostProviderFromHwndFunction = HRESULT(WINAPI*)(HWND, IUnknown**);
using RaiseNotificationEventFunction = HRESULT(WINAPI*)(IUnknown*, int, int, BSTR, BSTR);
using SysAllocStringFunction = BSTR(WINAPI*)(const OLECHAR*);
using SysFreeStringFunction = void(WINAPI*)(BSTR);

bool RaiseUiaNotification(HWND source, const std::wstring& text) {
    constexpr wchar_t kUia[] = L"uiautomationcore.dll";
    static const auto raise =
        SystemFunction<RaiseNotificationEventFunction>(kUia, "UiaRaiseNotificationEvent");
    if (!raise)
        return false;
    // Present wherever UI Automation is; looked up here all the same, so that
    // the program imports nothing for it.
    static const auto hostProvider =
        SystemFunction<HostProviderFromHwndFunction>(kUia, "UiaHostProviderFromHwnd");
    static const auto allocString =
        SystemFunction<SysAllocStringFunction>(L"oleaut32.dll", "SysAllocString");
    static const auto freeString =
        SystemFunction<SysFreeStringFunction>(L"oleaut32.dll", "SysFreeString");
    if (!hostProvider || !allocString || !freeString)
        return false;

    IUnknown* provider = nullptr;
    if (FAILED(hostProvider(source, &provider)) || !provider)
        return false;
    BSTR display = allocString(text.c_str());
    BSTR activity = allocString(kActivityId);
    const HRESULT result = display && activity
                               ? raise(provider, kNotificationKindOther,
                                       kNotificationProcessingImportantAll, display, activity)
                               : E_OUTOFMEMORY;
    freeString(display);
    freeString(activity);
    provider->Release();
    return SUCCEEDED(result);
}

}  // namespace

void RaiseAnnouncement(HWND source, const std::wstring& text) {
    if (!RaiseUiaNotification(source, text))
        ::NotifyWinEvent(EVENT_SYSTEM_ALERT, source, OBJID_CLIENT, CHILDID_SELF);
}

}  // namespace zb::win32
