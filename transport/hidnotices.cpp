#include "hidnotices.h"

#ifdef _WIN32

#include <QObject>

#include <windows.h>

#include <dbt.h>

namespace rfid {

namespace {

// The HID device interface class (hidclass.h), named here to spare the header.
constexpr GUID kHidInterface = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
const wchar_t kWindowClass[] = L"RfidHidNotices";
const char kWatcherName[] = "rfidHidNotices";

// A message-only window, which the thread's event loop serves like any other,
// registered for the arrival and removal of HID interfaces.
class Watcher : public QObject {
public:
    Watcher(QObject* owner, std::function<void()> changed) : QObject(owner), m_changed(std::move(changed)) {
        const HINSTANCE module = ::GetModuleHandleW(nullptr);
        WNDCLASSW wc{};
        wc.lpfnWndProc = &Watcher::procedure;
        wc.hInstance = module;
        wc.lpszClassName = kWindowClass;
        ::RegisterClassW(&wc); // fails harmlessly when registered before
        m_window =
            ::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module, nullptr);
        if (!m_window)
            return;
        ::SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = kHidInterface;
        m_registration = ::RegisterDeviceNotificationW(m_window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    }
    ~Watcher() override {
        if (m_registration)
            ::UnregisterDeviceNotification(m_registration);
        if (m_window)
            ::DestroyWindow(m_window);
    }
    bool watching() const { return m_registration != nullptr; }

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_DEVICECHANGE &&
            (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)) {
            auto* self = reinterpret_cast<Watcher*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
            if (self && self->m_changed)
                self->m_changed();
            return TRUE;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    std::function<void()> m_changed;
    HWND m_window = nullptr;
    HDEVNOTIFY m_registration = nullptr;
};

} // namespace

bool watchHidDevices(QObject* owner, std::function<void()> changed) {
    // A second call for the same owner replaces the first.
    delete owner->findChild<QObject*>(QString::fromLatin1(kWatcherName), Qt::FindDirectChildrenOnly);
    if (!changed)
        return false;
    auto* watcher = new Watcher(owner, std::move(changed));
    watcher->setObjectName(QString::fromLatin1(kWatcherName));
    if (watcher->watching())
        return true;
    delete watcher;
    return false;
}

} // namespace rfid

#else

namespace rfid {

bool watchHidDevices(QObject*, std::function<void()>) {
    return false;
}

} // namespace rfid

#endif
