// The test's own look at a StatusNotifierItem tray, on a session bus connection of its own: it
// asks the watcher which items are registered, and reads an item's pictures and clicks
// it the way a host does, by calling the item's methods. An item of this process answers from
// the GUI thread, so every call to an item waits for its reply while the event loop runs.
#pragma once

#include <QDBusConnection>
#include <QImage>
#include <QString>

#include <memory>
#include <vector>

class SignalCounter;

class StatusNotifierClient {
public:
    StatusNotifierClient();  // counts registrations from here on
    ~StatusNotifierClient();
    StatusNotifierClient(const StatusNotifierClient&) = delete;
    StatusNotifierClient& operator=(const StatusNotifierClient&) = delete;

    // How often the watcher has announced a newly registered item.
    int Registrations() const;
    // The watcher's RegisteredStatusNotifierItems: a bus name, optionally with an object path.
    std::vector<QString> RegisteredItems() const;
    // The process id behind the item's bus name; 0 when nobody owns it.
    unsigned ItemProcess(const QString& item) const;
    // The picture of `size` x `size` pixels among the item's IconPixmap, as ARGB32; a null
    // image when the call fails or the item publishes no picture of that size.
    QImage ItemPicture(const QString& item, int size) const;
    // Calls a method a host calls on a click (Activate, SecondaryActivate, ContextMenu) at the
    // screen's origin; true once the item has answered without an error.
    bool Click(const QString& item, const char* method) const;

private:
    QDBusConnection connection_;
    std::unique_ptr<SignalCounter> items_;
};
