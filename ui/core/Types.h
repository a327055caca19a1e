#pragma once

// Value types of the library's interfaces: geometry in client coordinates of the hosting window, and the
// reference-counted wide string of every text argument.

#include <windows.h>

#include <cstdarg>
#include <cwchar>
#include <memory>
#include <string>
#include <string_view>

struct CPoint : POINT {
    CPoint() noexcept : POINT{0, 0} {}
    CPoint(LONG px, LONG py) noexcept : POINT{px, py} {}
    CPoint(POINT p) noexcept : POINT(p) {}
    bool operator==(const CPoint& o) const noexcept { return x == o.x && y == o.y; }
};

struct CSize : SIZE {
    CSize() noexcept : SIZE{0, 0} {}
    CSize(LONG w, LONG h) noexcept : SIZE{w, h} {}
    CSize(SIZE s) noexcept : SIZE(s) {}
    bool operator==(const CSize& o) const noexcept { return cx == o.cx && cy == o.cy; }
};

// Right and bottom are exclusive.
struct CRect : RECT {
    CRect() noexcept : RECT{0, 0, 0, 0} {}
    CRect(LONG l, LONG t, LONG r, LONG b) noexcept : RECT{l, t, r, b} {}
    CRect(const RECT& r) noexcept : RECT(r) {}
    CRect(CPoint pt, CSize sz) noexcept : RECT{pt.x, pt.y, pt.x + sz.cx, pt.y + sz.cy} {}

    [[nodiscard]] LONG Width() const noexcept { return right - left; }
    [[nodiscard]] LONG Height() const noexcept { return bottom - top; }
    [[nodiscard]] CSize Size() const noexcept { return {Width(), Height()}; }
    [[nodiscard]] CPoint TopLeft() const noexcept { return {left, top}; }
    [[nodiscard]] CPoint BottomRight() const noexcept { return {right, bottom}; }
    [[nodiscard]] CPoint CenterPoint() const noexcept { return {(left + right) / 2, (top + bottom) / 2}; }
    [[nodiscard]] BOOL IsRectEmpty() const noexcept { return ::IsRectEmpty(this); }
    [[nodiscard]] BOOL IsRectNull() const noexcept {
        return left == 0 && top == 0 && right == 0 && bottom == 0;
    }
    [[nodiscard]] BOOL PtInRect(POINT pt) const noexcept { return ::PtInRect(this, pt); }

    void SetRect(LONG l, LONG t, LONG r, LONG b) noexcept { *this = CRect(l, t, r, b); }
    void SetRectEmpty() noexcept { *this = CRect(); }
    void OffsetRect(LONG dx, LONG dy) noexcept { ::OffsetRect(this, dx, dy); }
    void InflateRect(LONG dx, LONG dy) noexcept { ::InflateRect(this, dx, dy); }
    void DeflateRect(LONG dx, LONG dy) noexcept { ::InflateRect(this, -dx, -dy); }
    BOOL IntersectRect(const RECT& a, const RECT& b) noexcept { return ::IntersectRect(this, &a, &b); }
    BOOL UnionRect(const RECT& a, const RECT& b) noexcept { return ::UnionRect(this, &a, &b); }
    void NormalizeRect() noexcept {
        if (left > right)
            std::swap(left, right);
        if (top > bottom)
            std::swap(top, bottom);
    }

    bool operator==(const CRect& o) const noexcept { return ::EqualRect(this, &o) != FALSE; }
    operator LPRECT() noexcept { return this; }
    operator LPCRECT() const noexcept { return this; }
};

static_assert(sizeof(CPoint) == sizeof(POINT) && offsetof(POINT, y) == 4, "CPoint must match POINT");
static_assert(sizeof(CSize) == sizeof(SIZE), "CSize must match SIZE");
static_assert(sizeof(CRect) == sizeof(RECT) && alignof(CRect) == alignof(RECT), "CRect must match RECT");

// Reference-counted, copy-on-write wide string. Copies share the text until one of them changes it.
class CString {
  public:
    CString() noexcept = default;
    CString(const wchar_t* s) { Assign(s ? std::wstring_view(s) : std::wstring_view()); }
    CString(const wchar_t* s, int length) {
        Assign(s && length > 0 ? std::wstring_view(s, length) : std::wstring_view());
    }
    CString(std::wstring_view s) { Assign(s); }
    CString(const std::wstring& s) { Assign(s); }

    [[nodiscard]] int GetLength() const noexcept { return data_ ? static_cast<int>(data_->size()) : 0; }
    [[nodiscard]] bool IsEmpty() const noexcept { return GetLength() == 0; }
    [[nodiscard]] const wchar_t* GetString() const noexcept { return data_ ? data_->c_str() : L""; }
    operator const wchar_t*() const noexcept { return GetString(); }
    [[nodiscard]] std::wstring_view View() const noexcept {
        return {GetString(), static_cast<size_t>(GetLength())};
    }
    [[nodiscard]] wchar_t GetAt(int i) const noexcept {
        return (i >= 0 && i < GetLength()) ? (*data_)[i] : L'\0';
    }

    void Empty() noexcept { data_.reset(); }
    CString& operator=(const wchar_t* s) {
        Assign(s ? std::wstring_view(s) : std::wstring_view());
        return *this;
    }
    CString& operator+=(std::wstring_view s) {
        std::wstring next(View());
        next.append(s);
        Assign(next);
        return *this;
    }
    CString& operator+=(const wchar_t* s) { return *this += std::wstring_view(s ? s : L""); }
    CString& operator+=(const CString& s) { return *this += s.View(); }
    CString& operator+=(wchar_t c) { return *this += std::wstring_view(&c, 1); }
    friend CString operator+(const CString& a, const CString& b) {
        CString r(a);
        r += b;
        return r;
    }
    friend CString operator+(const CString& a, const wchar_t* b) {
        CString r(a);
        r += b;
        return r;
    }
    friend CString operator+(const wchar_t* a, const CString& b) {
        CString r(a);
        r += b;
        return r;
    }
    bool operator==(const CString& o) const noexcept { return View() == o.View(); }
    bool operator==(const wchar_t* o) const noexcept { return View() == std::wstring_view(o ? o : L""); }
    [[nodiscard]] int Compare(const wchar_t* o) const noexcept {
        return std::wcscmp(GetString(), o ? o : L"");
    }
    [[nodiscard]] int CompareNoCase(const wchar_t* o) const noexcept {
        return ::_wcsicmp(GetString(), o ? o : L"");
    }

    [[nodiscard]] int Find(std::wstring_view s, int start = 0) const noexcept {
        if (start < 0 || start > GetLength())
            return -1;
        size_t at = View().find(s, static_cast<size_t>(start));
        return at == std::wstring_view::npos ? -1 : static_cast<int>(at);
    }
    [[nodiscard]] CString Mid(int first, int count = -1) const {
        int len = GetLength();
        if (first < 0)
            first = 0;
        if (first > len)
            first = len;
        if (count < 0 || count > len - first)
            count = len - first;
        return CString(View().substr(first, count));
    }
    [[nodiscard]] CString Left(int count) const { return Mid(0, count); }
    [[nodiscard]] CString Right(int count) const {
        int len = GetLength();
        if (count < 0)
            count = 0;
        if (count > len)
            count = len;
        return Mid(len - count, count);
    }
    void MakeUpper() {
        std::wstring s(View());
        if (!s.empty())
            ::CharUpperBuffW(s.data(), static_cast<DWORD>(s.size()));
        Assign(s);
    }

    // printf-style formatting with wide format strings; output of any length.
    void Format(const wchar_t* fmt, ...) {
        va_list args;
        va_start(args, fmt);
        FormatV(fmt, args);
        va_end(args);
    }
    void FormatV(const wchar_t* fmt, va_list args) {
        va_list probe;
        va_copy(probe, args);
        int n = std::vswprintf(nullptr, 0, fmt, probe);
        va_end(probe);
        std::wstring out;
        if (n < 0) {
            // vswprintf cannot size its output here; grow until it fits.
            for (size_t cap = 256; cap <= (1u << 24); cap *= 2) {
                out.assign(cap, L'\0');
                va_copy(probe, args);
                n = std::vswprintf(out.data(), cap, fmt, probe);
                va_end(probe);
                if (n >= 0)
                    break;
            }
            out.resize(n < 0 ? 0 : static_cast<size_t>(n));
        } else {
            out.assign(static_cast<size_t>(n) + 1, L'\0');
            std::vswprintf(out.data(), out.size(), fmt, args);
            out.resize(static_cast<size_t>(n));
        }
        Assign(out);
    }

  private:
    void Assign(std::wstring_view s) {
        if (s.empty()) {
            data_.reset();
        } else {
            data_ = std::make_shared<const std::wstring>(s);
        }
    }
    std::shared_ptr<const std::wstring> data_;
};
