// An assistive program in miniature, for the tests: it reads a window's controls through MSAA from its own
// process, as a screen reader does, and acts on them. It prints UTF-8 lines on its standard output.
//
//   AccessibleProbe.exe tree TITLE            the client object and its children, one line each:
//                                             id TAB role TAB state TAB left,top,width,height TAB name TAB
//                                             value TAB default action (id 0 is the client object; role and
//                                             state in hex)
//   AccessibleProbe.exe hit TITLE X Y         the child at a screen point: its id, 0, or "none"
//   AccessibleProbe.exe navigate TITLE ID DIR where NAVDIR_* DIR leads from child ID: an id or "none"
//   AccessibleProbe.exe focus TITLE           the focused child: its id, 0, or "none"
//   AccessibleProbe.exe select TITLE NAME     gives the child named NAME the keyboard focus
//   AccessibleProbe.exe act TITLE NAME        carries out the default action of the child named NAME
//
// TITLE is the window's title. The exit code is 0 when every call succeeded, 1 when one failed (the failing
// HRESULT is printed), 2 for a wrong command line or a window that was not found.

#include "win/Handle.h"
#include "win/ScopeGuards.h"

#include <windows.h>
#include <ole2.h>
#include <oleacc.h>
#include <wrl/client.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr ULONG kMaxChildren = 256;

void Print(const std::wstring& line) {
    const std::wstring text = line + L"\n";
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr,
                                           0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), size, nullptr,
                          nullptr);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fflush(stdout);
}

int Fail(const wchar_t* what, HRESULT hr) {
    wchar_t line[96];
    std::swprintf(line, 96, L"%ls failed: 0x%08lX", what, static_cast<unsigned long>(hr));
    Print(line);
    return kFailed;
}

VARIANT Child(LONG id) {
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

std::wstring Text(HRESULT hr, const UniqueBstr& text) {
    return SUCCEEDED(hr) && text ? std::wstring(text.get()) : std::wstring();
}

std::wstring Describe(IAccessible* object, LONG id) {
    const VARIANT child = Child(id);
    VARIANT role, state;
    ::VariantInit(&role);
    ::VariantInit(&state);
    object->get_accRole(child, &role);
    object->get_accState(child, &state);
    LONG left = 0, top = 0, width = 0, height = 0;
    object->accLocation(&left, &top, &width, &height, child);
    UniqueBstr name, value, action;
    const HRESULT nameHr = object->get_accName(child, name.put());
    const HRESULT valueHr = object->get_accValue(child, value.put());
    const HRESULT actionHr = object->get_accDefaultAction(child, action.put());
    wchar_t head[128];
    std::swprintf(head, 128, L"%ld\t%lx\t%lx\t%ld,%ld,%ld,%ld\t", id, role.vt == VT_I4 ? role.lVal : -1L,
                  state.vt == VT_I4 ? state.lVal : -1L, left, top, width, height);
    return head + Text(nameHr, name) + L"\t" + Text(valueHr, value) + L"\t" + Text(actionHr, action);
}

// The visible children's ids, as AccessibleChildren gives them.
std::vector<LONG> Children(IAccessible* object) {
    std::vector<VARIANT> children(kMaxChildren);
    LONG got = 0;
    std::vector<LONG> ids;
    if (FAILED(::AccessibleChildren(object, 0, kMaxChildren, children.data(), &got)))
        return ids;
    for (LONG i = 0; i < got; ++i) {
        if (children[static_cast<size_t>(i)].vt == VT_I4)
            ids.push_back(children[static_cast<size_t>(i)].lVal);
        ::VariantClear(&children[static_cast<size_t>(i)]);
    }
    return ids;
}

LONG ChildNamed(IAccessible* object, const wchar_t* wanted) {
    for (LONG id : Children(object)) {
        UniqueBstr name;
        if (SUCCEEDED(object->get_accName(Child(id), name.put())) && name &&
            std::wcscmp(name.get(), wanted) == 0)
            return id;
    }
    return -1;
}

// A child id as the probe prints it; "none" when the answer named nothing.
int PrintChild(HRESULT hr, const VARIANT& v, const wchar_t* what) {
    if (FAILED(hr))
        return Fail(what, hr);
    Print(v.vt == VT_I4 ? std::to_wstring(v.lVal) : L"none");
    return 0;
}

int Run(int argc, wchar_t** argv) {
    if (argc < 3)
        return kUsage;
    const std::wstring command = argv[1];
    HWND window = ::FindWindowW(nullptr, argv[2]);
    if (window == nullptr) {
        Print(L"no window");
        return kUsage;
    }
    ComPtr<IAccessible> object;
    const HRESULT found = ::AccessibleObjectFromWindow(window, OBJID_CLIENT, __uuidof(IAccessible), &object);
    if (FAILED(found) || !object)
        return Fail(L"AccessibleObjectFromWindow", found);

    VARIANT answer;
    ::VariantInit(&answer);
    if (command == L"tree") {
        Print(Describe(object.Get(), CHILDID_SELF));
        for (LONG id : Children(object.Get()))
            Print(Describe(object.Get(), id));
        return 0;
    }
    if (command == L"hit" && argc == 5)
        return PrintChild(object->accHitTest(_wtol(argv[3]), _wtol(argv[4]), &answer), answer, L"accHitTest");
    if (command == L"navigate" && argc == 5)
        return PrintChild(object->accNavigate(_wtol(argv[4]), Child(_wtol(argv[3])), &answer), answer,
                          L"accNavigate");
    if (command == L"focus")
        return PrintChild(object->get_accFocus(&answer), answer, L"get_accFocus");
    if ((command == L"select" || command == L"act") && argc == 4) {
        const LONG id = ChildNamed(object.Get(), argv[3]);
        if (id < 0) {
            Print(L"no such child");
            return kUsage;
        }
        const HRESULT hr = command == L"act" ? object->accDoDefaultAction(Child(id))
                                             : object->accSelect(SELFLAG_TAKEFOCUS, Child(id));
        return hr == S_OK ? 0 : Fail(command.c_str(), hr);
    }
    return kUsage;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Lines end in "\n" alone, as the tests read them.
    _setmode(_fileno(stdout), _O_BINARY);
    const ComApartment com;
    return Run(argc, argv);
}
