// Image files and resources: loading images and icons, and saving a bitmap as a BMP file.

#include "controls/MRender.h"

#include "win/Handle.h"

#include <shellapi.h>
#include <wrl/client.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace Tessel {

using Microsoft::WRL::ComPtr;

HICON MRender::LoadIconFromFile(CString path) {
    // The shell wants a writable MAX_PATH buffer; a longer path cannot be passed whole, so it finds nothing.
    if (path.GetLength() >= MAX_PATH) {
        return nullptr;
    }
    wchar_t buffer[MAX_PATH] = {};
    std::memcpy(buffer, path.GetString(), sizeof(wchar_t) * static_cast<size_t>(path.GetLength()));
    WORD index = 0;
    return ::ExtractAssociatedIconW(nullptr, buffer, &index);
}

Gdiplus::Image* MRender::LoadImageFromFile(CString path) {
    auto* image = new Gdiplus::Image(path.GetString());
    if (image && image->GetLastStatus() != Gdiplus::Ok) {
        delete image;
        return nullptr;
    }
    return image;
}

Gdiplus::Image* MRender::LoadImageFromFileEx(CString path, int cx, int cy) {
    Gdiplus::Image* image = LoadImageFromFile(path);
    if (!image) {
        return nullptr;
    }
    if (cx == 0 && cy == 0) {
        cx = static_cast<int>(image->GetWidth());
        cy = static_cast<int>(image->GetHeight());
    }
    Gdiplus::Image* thumbnail = nullptr;
    if (cx > 0 && cy > 0) {
        thumbnail = image->GetThumbnailImage(static_cast<UINT>(cx), static_cast<UINT>(cy), nullptr, nullptr);
    }
    delete image;
    if (thumbnail && thumbnail->GetLastStatus() != Gdiplus::Ok) {
        delete thumbnail;
        return nullptr;
    }
    return thumbnail;
}

Gdiplus::Image* MRender::LoadImageFromIDResource(UINT id, CString type, HINSTANCE module) {
    HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(id), type.GetString());
    if (!resource) {
        return nullptr;
    }
    DWORD size = ::SizeofResource(module, resource);
    HGLOBAL loaded = ::LoadResource(module, resource);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data || size == 0) {
        return nullptr;
    }
    UniqueGlobal block(::GlobalAlloc(GMEM_FIXED, size));
    if (!block) {
        return nullptr;
    }
    std::memcpy(static_cast<void*>(block.get()), data, size);
    // GDI+ keeps a reference to the stream while the image lives and may decode from it late; the stream
    // frees the block with its last reference, so the block lives exactly as long as the image.
    ComPtr<IStream> stream;
    if (FAILED(::CreateStreamOnHGlobal(block.get(), TRUE, stream.GetAddressOf())) || !stream) {
        return nullptr;
    }
    (void)block.release();
    return new Gdiplus::Image(stream.Get());
}

int MRender::SaveBitmapToFile(HBITMAP bitmap, CString path) {
    BITMAP bm{};
    if (!bitmap || ::GetObjectW(bitmap, sizeof(bm), &bm) == 0 || bm.bmWidth <= 0 || bm.bmHeight == 0) {
        return 0;
    }
    WindowDC screen(nullptr);
    if (!screen) {
        return 0;
    }
    const int depth = ::GetDeviceCaps(screen.get(), PLANES) * ::GetDeviceCaps(screen.get(), BITSPIXEL);
    const WORD bpp = depth <= 1 ? 1 : depth <= 4 ? 4 : depth <= 8 ? 8 : 24;
    const uint64_t height = static_cast<uint64_t>(std::abs(static_cast<long long>(bm.bmHeight)));
    const uint64_t stride = (static_cast<uint64_t>(bm.bmWidth) * bpp + 31) / 32 * 4;
    const uint64_t imageSize = stride * height;
    // Low depths need their colour table in the file, or no reader could map the indices.
    const uint32_t colours = bpp <= 8 ? (1u << bpp) : 0;
    const uint64_t offset = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + colours * sizeof(RGBQUAD);
    const uint64_t total = offset + imageSize;
    if (total > 0xFFFFFFFFull) {
        return 0;
    }

    struct {
        BITMAPINFOHEADER header;
        RGBQUAD table[256];
    } info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = bm.bmWidth;
    info.header.biHeight = static_cast<LONG>(height);
    info.header.biPlanes = 1;
    info.header.biBitCount = bpp;
    info.header.biCompression = BI_RGB;
    info.header.biSizeImage = static_cast<DWORD>(imageSize);
    info.header.biClrUsed = colours;

    std::vector<BYTE> pixels(static_cast<size_t>(imageSize));
    UniqueMemoryDC dc(::CreateCompatibleDC(screen.get()));
    if (!dc) {
        return 0;
    }
    HPALETTE oldPalette =
        ::SelectPalette(dc.get(), static_cast<HPALETTE>(::GetStockObject(DEFAULT_PALETTE)), FALSE);
    ::RealizePalette(dc.get());
    int lines = ::GetDIBits(dc.get(), bitmap, 0, static_cast<UINT>(height), pixels.data(),
                            reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    if (oldPalette) {
        ::SelectPalette(dc.get(), oldPalette, FALSE);
    }
    if (lines == 0) {
        return 0;
    }

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfSize = static_cast<DWORD>(total);
    file.bfOffBits = static_cast<DWORD>(offset);

    UniqueFileHandle out(::CreateFileW(path.GetString(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) {
        return 0;
    }
    auto write = [&](const void* data, size_t size) {
        DWORD written = 0;
        return ::WriteFile(out.get(), data, static_cast<DWORD>(size), &written, nullptr) && written == size;
    };
    bool ok = write(&file, sizeof(file)) && write(&info.header, sizeof(info.header)) &&
              write(info.table, colours * sizeof(RGBQUAD)) && write(pixels.data(), pixels.size());
    out.reset();
    if (!ok) {
        // A cut-off file would look like a valid bitmap header with missing rows.
        ::DeleteFileW(path.GetString());
        return 0;
    }
    return 1;
}

}  // namespace Tessel
