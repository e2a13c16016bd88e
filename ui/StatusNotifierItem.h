// The notification-area icon as a StatusNotifierItem on the session bus
// (libayatana-appindicator), for the panels that show no XEmbed icons:
// KDE Plasma, GNOME with its AppIndicator extension, XFCE, Cinnamon, MATE,
// LXQt, sway's bar. Its menu and activation reach the wx event loop as menu
// events queued to a handler; no window is touched in a GTK or D-Bus callback.
#ifndef VORN_UI_STATUSNOTIFIERITEM_H
#define VORN_UI_STATUSNOTIFIERITEM_H

#include <wx/string.h>

#include <atomic>

class wxEvtHandler;

typedef struct _AppIndicator AppIndicator;
typedef struct _GCancellable GCancellable;
typedef struct _GDBusConnection GDBusConnection;
typedef struct _GObject GObject;
typedef struct _GAsyncResult GAsyncResult;
typedef struct _GVariant GVariant;
typedef struct _GtkMenuItem GtkMenuItem;

class StatusNotifierItem
{
public:
    // The menu's items send wxEVT_MENU events with `showId` and `exitId` to
    // `target`, which must outlive this item; activating the item itself
    // (its secondary activation) sends `showId`.
    StatusNotifierItem(wxEvtHandler* target, int showId, int exitId, const wxString& title);
    ~StatusNotifierItem();
    StatusNotifierItem(const StatusNotifierItem&) = delete;
    StatusNotifierItem& operator=(const StatusNotifierItem&) = delete;

    // Whether a watcher with a registered host is on the session bus now,
    // that is, whether a panel would show the item.
    bool HostPresent() const { return m_host; }
    void Show();
    void Hide();

private:
    void Create();
    void QueryHost();
    static void OnWatcherAppeared(GDBusConnection*, const char*, const char*, void* self);
    static void OnWatcherVanished(GDBusConnection*, const char*, void* self);
    static void OnWatcherSignal(GDBusConnection*, const char*, const char*, const char*,
                                const char*, GVariant*, void* self);
    static void OnHostQueried(GObject* source, GAsyncResult* result, void* self);
    static void OnPicked(GtkMenuItem* item, void* self);

    wxEvtHandler* m_target;
    int m_showId;
    int m_exitId;
    wxString m_title;
    GDBusConnection* m_bus = nullptr;
    GCancellable* m_cancel = nullptr;
    unsigned m_watch = 0;
    unsigned m_subscription = 0;
    AppIndicator* m_indicator = nullptr; // made when first shown
    GtkMenuItem* m_items[2] = {nullptr, nullptr};
    std::atomic<bool> m_host{false};
};

#endif // VORN_UI_STATUSNOTIFIERITEM_H
