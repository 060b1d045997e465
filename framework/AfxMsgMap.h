// Static message maps: each class that handles messages owns a constant
// table of entries and a pointer to its base class's table, so a lookup
// walks from the most derived class towards CCmdTarget and the first
// matching entry wins. The macros only build entries; the static_casts in
// them make the compiler check each handler's signature.
#pragma once

#include <windows.h>

class CCmdTarget;
class CCmdUI;
class CMenu;

using AFX_PMSG = void (CCmdTarget::*)();

// Handler signatures a map entry can carry.
enum AfxSig : UINT_PTR {
    AfxSig_end = 0,
    AfxSig_vv,     // void Handler()
    AfxSig_is,     // int Handler(LPCREATESTRUCT)
    AfxSig_cmdui,  // void Handler(CCmdUI*)
    AfxSig_lwl,    // LRESULT Handler(WPARAM, LPARAM)
    AfxSig_vmub,   // void Handler(CMenu*, UINT, BOOL)
};

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;    // window message, WM_COMMAND for commands
    UINT nCode;       // notification code, CN_COMMAND or CN_UPDATE_COMMAND_UI for commands
    UINT nID;         // first control or command id
    UINT nLastID;     // last id of the range
    UINT_PTR nSig;    // AfxSig of pfn
    AFX_PMSG pfn;
};

struct AFX_MSGMAP {
    AFX_MSGMAP const* (*pfnGetBaseMap)();
    AFX_MSGMAP_ENTRY const* lpEntries;
};

// Notification codes used in WM_COMMAND entries.
constexpr UINT CN_COMMAND = 0;
constexpr UINT CN_UPDATE_COMMAND_UI = static_cast<UINT>(-1);

#define afx_msg

#define DECLARE_MESSAGE_MAP()                                  \
protected:                                                     \
    static AFX_MSGMAP const* GetThisMessageMap();              \
    AFX_MSGMAP const* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                  \
    AFX_MSGMAP const* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    AFX_MSGMAP const* theClass::GetThisMessageMap() {                           \
        using ThisClass [[maybe_unused]] = theClass;                                           \
        using TheBaseClass = baseClass;                                         \
        static AFX_MSGMAP_ENTRY const entries[] = {

#define END_MESSAGE_MAP()                                                       \
            {0, 0, 0, 0, AfxSig_end, nullptr}                                   \
        };                                                                      \
        static AFX_MSGMAP const map = {&TheBaseClass::GetThisMessageMap, &entries[0]}; \
        return &map;                                                            \
    }

// Handlers of every signature are kept in one member-pointer type and
// turned back into their own type, by their AfxSig, before they are called.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wcast-function-type"
template <typename Handler>
Handler AfxHandlerCast(AFX_PMSG pfn) {
    return reinterpret_cast<Handler>(pfn);
}

// The type of a handler of the class being mapped with the signature
// R(Args...). Named through a template so that nothing is deduced from the
// member given: a handler the class inherits converts to it like its own.
template <typename Class, typename R, typename... Args>
struct AfxHandlerType {
    using type = R (Class::*)(Args...);
};

// Takes a handler with exactly the signature R(Args...) (the explicit
// template arguments make the compiler check it), the class's own or one it
// inherits.
template <typename Class, typename R, typename... Args>
AFX_PMSG AfxMapHandler(typename AfxHandlerType<Class, R, Args...>::type pfn) {
    return reinterpret_cast<AFX_PMSG>(static_cast<R (CCmdTarget::*)(Args...)>(pfn));
}
#pragma GCC diagnostic pop

#define AFX_MAP_HANDLER(memberFxn, ...) AfxMapHandler<ThisClass, __VA_ARGS__>(&ThisClass::memberFxn)

#define ON_WM_CREATE() \
    {WM_CREATE, 0, 0, 0, AfxSig_is, AFX_MAP_HANDLER(OnCreate, int, LPCREATESTRUCTA)},

#define ON_WM_CLOSE() \
    {WM_CLOSE, 0, 0, 0, AfxSig_vv, AFX_MAP_HANDLER(OnClose, void)},

#define ON_WM_INITMENUPOPUP() \
    {WM_INITMENUPOPUP, 0, 0, 0, AfxSig_vmub, AFX_MAP_HANDLER(OnInitMenuPopup, void, CMenu*, UINT, BOOL)},

#define ON_MESSAGE(message, memberFxn) \
    {message, 0, 0, 0, AfxSig_lwl, AFX_MAP_HANDLER(memberFxn, LRESULT, WPARAM, LPARAM)},

#define ON_COMMAND(id, memberFxn) \
    {WM_COMMAND, CN_COMMAND, (id), (id), AfxSig_vv, AFX_MAP_HANDLER(memberFxn, void)},

#define ON_COMMAND_RANGE(firstId, lastId, memberFxn) \
    {WM_COMMAND, CN_COMMAND, (firstId), (lastId), AfxSig_vv, AFX_MAP_HANDLER(memberFxn, void)},

#define ON_UPDATE_COMMAND_UI(id, memberFxn) \
    {WM_COMMAND, CN_UPDATE_COMMAND_UI, (id), (id), AfxSig_cmdui, AFX_MAP_HANDLER(memberFxn, void, CCmdUI*)},

#define ON_CONTROL(notifyCode, id, memberFxn) \
    {WM_COMMAND, static_cast<UINT>(notifyCode), (id), (id), AfxSig_vv, AFX_MAP_HANDLER(memberFxn, void)},

#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
