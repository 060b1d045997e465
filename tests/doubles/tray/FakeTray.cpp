#include "tests/doubles/tray/FakeTray.h"

#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include "tests/rigs/e2e/Handles.h"
#include "tests/rigs/e2e/Pump.h"

namespace fake_tray {

namespace {

wchar_t const kTrayClass[] = L"Shell_TrayWnd";

// Wine's platform-independent copy of NOTIFYICONDATA, followed by the
// icon's mask bits and colour bits. The window is 32 bits on every
// architecture (checked under Wine 8.0 x86_64: 960 bytes, icon from 944).
struct WineNotifyData {
    LONG hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    WCHAR szTip[128];
    DWORD dwState;
    DWORD dwStateMask;
    WCHAR szInfo[256];
    UINT uTimeout;
    WCHAR szInfoTitle[64];
    DWORD dwInfoFlags;
    GUID guidItem;
    UINT width;
    UINT height;
    UINT planes;
    UINT bpp;
};
static_assert(sizeof(WineNotifyData) == 960, "Wine's notify_data");

constexpr DWORD kStartTimeoutMs = 10000;

// 64-bit FNV-1a: enough to tell a handful of icons apart.
constexpr std::uint64_t kFnvOffsetBasis = 14695981039346656037ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;

std::uint64_t Fnv1a(BYTE const* bytes, size_t size) {
    std::uint64_t hash = kFnvOffsetBasis;
    for (size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= kFnvPrime;
    }
    return hash;
}

// Bytes GetBitmapBits yields for a bitmap, rounded to whole words as Wine does.
LONG BitmapBytes(BITMAP const& bitmap) {
    return (bitmap.bmPlanes * bitmap.bmWidth * bitmap.bmHeight * bitmap.bmBitsPixel + 15) / 16 * 2;
}

}  // namespace

DWORD WindowId(HWND window) {
    return static_cast<DWORD>(reinterpret_cast<UINT_PTR>(window));
}

FakeTray::FakeTray() {
    arrived_.reset(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    thread_ = std::thread(&FakeTray::Run, this);
    std::unique_lock<std::mutex> lock(mutex_);
    bool ready = changed_.wait_for(lock, std::chrono::milliseconds(kStartTimeoutMs),
                                   [this] { return started_; });
    if (!ready || startFailed_) {
        lock.unlock();
        if (threadId_ != 0) ::PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
        thread_.join();
        throw std::runtime_error("the fake tray window could not be created");
    }
}

FakeTray::~FakeTray() {
    if (window_ != nullptr) ::PostMessageW(window_, WM_CLOSE, 0, 0);
    thread_.join();
}

void FakeTray::Run() {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &FakeTray::WindowProcedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kTrayClass;
    // Already registered when another tray of this process still lives.
    bool registered = ::RegisterClassW(&windowClass) != 0;

    HWND window = ::CreateWindowExW(0, kTrayClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                    instance, this);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        window_ = window;
        threadId_ = ::GetCurrentThreadId();
        startFailed_ = window == nullptr;
        started_ = true;
    }
    changed_.notify_all();

    if (window != nullptr) {
        MSG msg;
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    if (registered) ::UnregisterClassW(kTrayClass, instance);
}

LRESULT CALLBACK FakeTray::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* tray = reinterpret_cast<FakeTray*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_COPYDATA:
        if (tray != nullptr && lParam != 0) return tray->OnCopyData(*reinterpret_cast<COPYDATASTRUCT*>(lParam));
        return FALSE;
    case WM_CLOSE:
        ::DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

BOOL FakeTray::OnCopyData(COPYDATASTRUCT const& data) {
    if (data.cbData < sizeof(WineNotifyData) || data.lpData == nullptr) return FALSE;
    WineNotifyData fields;
    std::memcpy(&fields, data.lpData, sizeof fields);

    Notification note;
    note.action = static_cast<DWORD>(data.dwData);
    note.window = static_cast<DWORD>(fields.hWnd);
    note.id = fields.uID;
    note.flags = fields.uFlags;
    note.callbackMessage = fields.uCallbackMessage;
    note.tip.assign(fields.szTip, ::wcsnlen(fields.szTip, sizeof fields.szTip / sizeof(WCHAR)));
    if (fields.width != 0) {
        note.iconWidth = fields.width;
        note.iconHeight = fields.height;
        note.iconBitsPerPixel = fields.bpp;
        note.iconBytes = data.cbData - sizeof fields;
        note.iconHash = Fnv1a(static_cast<BYTE const*>(data.lpData) + sizeof fields, note.iconBytes);
    }

    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (Refusal& refusal : refusals_) {
            if (refusal.action == note.action && refusal.count > 0) {
                --refusal.count;
                note.accepted = false;
                break;
            }
        }
        std::pair<DWORD, UINT> const icon(note.window, note.id);
        bool const held = held_.count(icon) != 0;
        if (note.accepted) {
            switch (note.action) {
            case NIM_ADD:
                note.accepted = !held;
                held_.insert(icon);
                if (note.accepted && addTimeouts_ > 0) {
                    --addTimeouts_;
                    note.accepted = false;  // added all the same
                }
                break;
            case NIM_MODIFY:
                note.accepted = held;
                break;
            case NIM_DELETE:
                note.accepted = held;
                held_.erase(icon);
                break;
            default:
                break;
            }
        }
        ++count_;
        if (keepRecords_) records_.push_back(note);
    }
    changed_.notify_all();
    ::SetEvent(arrived_.get());
    return note.accepted ? TRUE : FALSE;
}

void FakeTray::RefuseNext(DWORD action, unsigned count) {
    std::lock_guard<std::mutex> lock(mutex_);
    refusals_.push_back({action, count});
}

void FakeTray::TimeOutNextAdd(unsigned count) {
    std::lock_guard<std::mutex> lock(mutex_);
    addTimeouts_ += count;
}

void FakeTray::KeepRecords(bool keep) {
    std::lock_guard<std::mutex> lock(mutex_);
    keepRecords_ = keep;
}

size_t FakeTray::Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
}

std::vector<Notification> FakeTray::Notifications() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
}

std::optional<FakeTray::Found> FakeTray::WaitFor(std::function<bool(Notification const&)> const& match,
                                                 size_t from, DWORD timeoutMs) const {
    std::optional<Found> found;
    e2e::PumpUntil(
        [&] {
            std::lock_guard<std::mutex> lock(mutex_);
            for (size_t i = from; i < records_.size(); ++i) {
                if (match(records_[i])) {
                    found = Found{i, records_[i]};
                    return true;
                }
            }
            return false;
        },
        timeoutMs, arrived_.get());
    return found;
}

std::optional<Notification> FakeTray::WaitForIndex(size_t index, DWORD timeoutMs) const {
    auto found = WaitFor([](Notification const&) { return true; }, index, timeoutMs);
    if (!found || found->index != index) return std::nullopt;
    return found->notification;
}

std::uint64_t IconBitsHash(HICON icon) {
    ICONINFO info{};
    if (icon == nullptr || !::GetIconInfo(icon, &info)) return 0;
    e2e::UniqueGdiObject mask(info.hbmMask);
    e2e::UniqueGdiObject colour(info.hbmColor);

    BITMAP maskBitmap{};
    BITMAP colourBitmap{};
    if (!::GetObjectW(mask.get(), sizeof maskBitmap, &maskBitmap)) return 0;
    if (colour && !::GetObjectW(colour.get(), sizeof colourBitmap, &colourBitmap)) return 0;

    std::vector<BYTE> bits(static_cast<size_t>(BitmapBytes(maskBitmap)));
    ::GetBitmapBits(static_cast<HBITMAP>(mask.get()), static_cast<LONG>(bits.size()), bits.data());
    if (colour) {
        size_t const maskBytes = bits.size();
        bits.resize(maskBytes + static_cast<size_t>(BitmapBytes(colourBitmap)));
        ::GetBitmapBits(static_cast<HBITMAP>(colour.get()), static_cast<LONG>(bits.size() - maskBytes),
                        bits.data() + maskBytes);
    }
    return bits.empty() ? 0 : Fnv1a(bits.data(), bits.size());
}

std::uint64_t ModuleIconHash(std::string const& modulePath, UINT iconId) {
    e2e::UniqueModule module(::LoadLibraryExA(
        modulePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!module) return 0;
    // LoadIconA's choice: the default icon size for this display.
    e2e::UniqueIcon icon(static_cast<HICON>(
        ::LoadImageA(module.get(), MAKEINTRESOURCEA(iconId), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE)));
    return IconBitsHash(icon.get());
}

}  // namespace fake_tray
