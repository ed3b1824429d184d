#pragma once
// The program's own resources: named bitmaps and icons (names without
// regard to case, as resource names are), and icon handles that stand for
// an icon image while a component or the notification area holds it.
#include <QIcon>
#include <QImage>
#include <cstdint>
#include <string>

namespace widgets {

using HICON = std::uint64_t;

// The office button's indicator bitmaps "OFF", "ON" and "DOWN" are built in;
// a program may add or replace any name. A missing name gives a null image.
void RegisterBitmapResource(const std::string& name, const QImage& image);
[[nodiscard]] QImage LoadBitmapResource(const std::string& name);

// LoadIcon hands out one shared handle per name that lives as long as the
// program; 0 when the name is not registered.
void RegisterIconResource(const std::string& name, const QIcon& icon);
[[nodiscard]] HICON LoadIcon(const std::string& name);

// A handle of one's own for an icon image; 0 for a null icon.
[[nodiscard]] HICON CreateIconHandle(const QIcon& icon);
void DestroyIconHandle(HICON handle);
// The image behind a live handle, else a null icon.
[[nodiscard]] QIcon IconFromHandle(HICON handle);

} // namespace widgets
