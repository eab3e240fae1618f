#include "platform/win32/icons_win32.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/native.h"
#include "platform/win32/dpi_win32.h"
#include "platform/win32/owned.h"
#include "platform/win32/trace.h"

namespace ui::native {

HICON LoadIconSized(int resourceId, int size) {
  // The icon holds 16, 20, 24, 32 and 48 px images; others are scaled.
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId),
                                       IMAGE_ICON, size, size, 0));
}

// The icon in greys at reduced contrast: still the same picture, but plainly
// not the active one, on light and dark taskbars alike. Its shape (alpha)
// stays, so the outline holds on a light taskbar and the body on a dark one.
// Null when the icon cannot be read.
HICON GreyedIcon(HICON icon) {
  ICONINFO info{};
  if (icon == nullptr || !GetIconInfo(icon, &info)) return nullptr;
  const win32::Bitmap color(info.hbmColor);
  const win32::Bitmap mask(info.hbmMask);
  BITMAP size{};
  if (!color || GetObjectW(color.get(), sizeof(size), &size) == 0) return nullptr;
  const int width = size.bmWidth;
  const int height = size.bmHeight;
  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof(format.bmiHeader);
  format.bmiHeader.biWidth = width;
  format.bmiHeader.biHeight = -height;  // top-down, as CreateBitmap takes them
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  format.bmiHeader.biCompression = BI_RGB;
  const auto count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  std::vector<std::uint32_t> pixels(count), maskPixels(count);
  const win32::WindowDC screen(nullptr);
  const auto read = [&](HBITMAP bitmap, std::vector<std::uint32_t>& into) {
    return GetDIBits(screen.get(), bitmap, 0, static_cast<UINT>(height), into.data(), &format,
                     DIB_RGB_COLORS) != 0;
  };
  if (!read(color.get(), pixels) || !read(mask.get(), maskPixels)) return nullptr;
  // Icons of fewer colours carry their shape in the mask only.
  const bool alpha =
      std::any_of(pixels.begin(), pixels.end(), [](std::uint32_t p) { return (p >> 24) != 0; });
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t p = pixels[i];
    const std::uint32_t a = alpha ? p >> 24 : ((maskPixels[i] & 0xFFFFFFU) != 0 ? 0 : 255);
    const std::uint32_t luma =
        (((p >> 16) & 0xFFU) * 299 + ((p >> 8) & 0xFFU) * 587 + (p & 0xFFU) * 114) / 1000;
    // Black stays dark and white light, but both drift towards the middle.
    const std::uint32_t grey = 64 + luma * 128 / 255;
    pixels[i] = (a << 24) | (grey << 16) | (grey << 8) | grey;
  }
  const win32::Bitmap greyed(CreateBitmap(width, height, 1, 32, pixels.data()));
  ICONINFO made{TRUE, 0, 0, mask.get(), greyed.get()};
  return greyed ? CreateIconIndirect(&made) : nullptr;
}

// A picture that destroys its icon with it.
struct IconPicture final : Picture {
  IconPicture(HICON icon, std::uint32_t dpi)
      : Picture{reinterpret_cast<IconHandle>(icon), dpi}, owner(icon) {}
  win32::Icon owner;
};

std::shared_ptr<const Picture> LoadIconPicture(int resourceId) {
  const std::uint32_t dpi = TaskbarDpi();
  return std::make_shared<const IconPicture>(
      LoadIconSized(resourceId, MetricForDpi(SM_CXSMICON, dpi)), dpi);
}

std::shared_ptr<const Picture> GreyedPicture(const Picture& picture) {
  HICON greyed = GreyedIcon(reinterpret_cast<HICON>(picture.handle));
  if (greyed == nullptr) win32::TraceFailure("greyed icon");
  return std::make_shared<const IconPicture>(greyed, picture.dpi);
}

}  // namespace ui::native
