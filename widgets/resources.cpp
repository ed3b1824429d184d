#include "widgets/resources.h"

#include <QColor>
#include <cmath>
#include <map>

namespace widgets {

namespace {

std::string Key(const std::string& name) {
    std::string key = name;
    for (char& c : key)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return key;
}

// An 11 x 11 ball on white: ring colour, body colour and a centre colour
// for the inner three pixels' radius.
QImage Ball(QColor ring, QColor body, QColor centre) {
    QImage image(11, 11, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 11; ++x) {
            const double d = std::hypot(x - 5.0, y - 5.0);
            if (d <= 1.6)
                image.setPixelColor(x, y, centre);
            else if (d <= 3.6)
                image.setPixelColor(x, y, body);
            else if (d <= 5.2)
                image.setPixelColor(x, y, ring);
        }
    return image;
}

struct Store {
    std::map<std::string, QImage> bitmaps;
    std::map<std::string, QIcon> icons;
    std::map<std::string, HICON> sharedIcons;
    std::map<HICON, QIcon> handles;
    HICON next = 1;

    Store() {
        const QColor navy(0, 0, 128), teal(0, 128, 128), cyan(0, 255, 255);
        bitmaps["OFF"] = Ball(navy, teal, teal);
        bitmaps["ON"] = Ball(teal, teal, cyan);
        bitmaps["DOWN"] = Ball(teal, cyan, cyan);
    }
};

Store& TheStore() {
    static Store store;
    return store;
}

} // namespace

void RegisterBitmapResource(const std::string& name, const QImage& image) {
    TheStore().bitmaps[Key(name)] = image;
}

QImage LoadBitmapResource(const std::string& name) {
    const auto& bitmaps = TheStore().bitmaps;
    const auto it = bitmaps.find(Key(name));
    return it == bitmaps.end() ? QImage() : it->second;
}

void RegisterIconResource(const std::string& name, const QIcon& icon) {
    Store& store = TheStore();
    const std::string key = Key(name);
    store.icons[key] = icon;
    // A handle already handed out keeps showing the image it was given for.
    store.sharedIcons.erase(key);
}

HICON LoadIcon(const std::string& name) {
    Store& store = TheStore();
    const std::string key = Key(name);
    if (const auto it = store.sharedIcons.find(key); it != store.sharedIcons.end())
        return it->second;
    const auto icon = store.icons.find(key);
    if (icon == store.icons.end() || icon->second.isNull())
        return 0;
    const HICON handle = CreateIconHandle(icon->second);
    store.sharedIcons[key] = handle;
    return handle;
}

HICON CreateIconHandle(const QIcon& icon) {
    if (icon.isNull())
        return 0;
    Store& store = TheStore();
    const HICON handle = store.next++;
    store.handles[handle] = icon;
    return handle;
}

void DestroyIconHandle(HICON handle) {
    TheStore().handles.erase(handle);
}

QIcon IconFromHandle(HICON handle) {
    const auto& handles = TheStore().handles;
    const auto it = handles.find(handle);
    return it == handles.end() ? QIcon() : it->second;
}

} // namespace widgets
